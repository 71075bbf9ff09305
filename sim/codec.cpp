#include "sim/codec.h"

#include <csignal>

#include <algorithm>
#include <cstring>

#include "platform/error_codes.h"
#include "platform/vendor.h"
#include "sim/timing_model.h"

namespace sim {

namespace {

constexpr std::uint8_t kSignature[8] = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
constexpr std::uint8_t kTypeStandard = 0, kTypeClass = 1, kTypeVendor = 2;

}  // namespace

Codec::Codec(CodecConfig config, const ChipFacts& chip)
    : config_(std::move(config)), chip_(&chip), memory_(config_.memory), ownData_(0x10000, 0), xdata_(ownData_) {
  ResetDataMemory();
}

void Codec::UseDataStorage(std::span<std::uint8_t> storage) {
  if (storage.size() != xdata_.size()) return;
  xdata_ = storage;
  ownData_ = {};
}

std::uint8_t Codec::ModeByte() const {
  const bool otp = memory_.Kind() == MemoryKind::kOtp;
  if (mode_ == CodecMode::kRunning) return otp ? kModeSpiOtp : kModeSpi;
  return otp ? kModeRomOtp : kModeRom;
}

void Codec::SetInstances(std::uint32_t device, std::uint32_t function) {
  deviceInstance_ = device;
  functionInstance_ = function;
}

void Codec::ResetDataMemory() {
  std::fill(xdata_.begin(), xdata_.end(), 0);
  xdata_[kRegChipId] = chip_->idLow;
  xdata_[kRegChipId + 1] = chip_->idHigh;
  xdata_[kRegModeByte] = ModeByte();
  imem_.fill(0);
  dataControlSize_ = 8;
  pendingActive_ = false;
  status_ = kStsCmd;
  otpFailures_.clear();
}

void Codec::EnterMode(CodecMode mode, const FirmwareVersion& version) {
  mode_ = mode;
  version_ = mode == CodecMode::kRunning ? version : BootRomVersion(memory_.Kind());
  ResetDataMemory();
}

void Codec::Boot() {
  const BootDecision boot = DecideBoot(*chip_, memory_);
  EnterMode(boot.starts ? CodecMode::kRunning : CodecMode::kBootRom, boot.version);
}

void Codec::PowerOn() {
  plugged_ = true;
  absentUntilUs_ = 0;
  SetInstances(0, 0);
  Boot();
}

void Codec::PowerOff() {
  plugged_ = false;
  SetInstances(0, 0);
}

void Codec::RestoreState(bool plugged, CodecMode mode, std::uint64_t absentUntilUs) {
  plugged_ = plugged;
  mode_ = mode;
  absentUntilUs_ = absentUntilUs;
  version_ = mode == CodecMode::kRunning ? DecideBoot(*chip_, memory_).version : BootRomVersion(memory_.Kind());
  xdata_[kRegModeByte] = ModeByte();
}

void Codec::LeaveBus() {
  const std::uint64_t lateUs = std::uint64_t(faults_.leaveLateMs) * 1000;
  absentUntilUs_ = clock_->NowUs() + lateUs + ReenumerateUs();
  if (lateUs == 0) SetInstances(0, 0);  // else the bus sees it go when it does
}

std::array<std::uint8_t, kStatusWordCount * 8> Codec::StatusWords() const {
  std::array<std::uint8_t, kStatusWordCount * 8> s{};
  const FirmwareVersion& v = version_;
  s[0x04] = chip_->idLow;
  s[0x05] = chip_->idHigh;
  std::memcpy(&s[24], kSignature, sizeof kSignature);
  // Status format 3 (version words); sub-type 1 while code runs from memory.
  s[0x40] = mode_ == CodecMode::kRunning ? 0x31 : 0x30;
  s[0x43] = chip_->family;
  s[0x46] = static_cast<std::uint8_t>(config_.identity.pid);
  s[0x47] = static_cast<std::uint8_t>(config_.identity.pid >> 8);
  s[0x48] = 0x00;
  // The running version, low bytes first: component 4, 3, 1/2, 6, 5.
  s[0x4C] = v[3] & 0xFF;
  s[0x4D] = v[3] >> 8;
  s[0x4E] = v[2] & 0xFF;
  s[0x4F] = static_cast<std::uint8_t>((v[0] << 4) | (v[1] & 0x0F));
  s[0x50] = v[5] & 0xFF;
  s[0x51] = v[5] >> 8;
  s[0x52] = v[4] & 0xFF;
  s[0x53] = v[4] >> 8;
  // The same version in the record form, at status offset 0x8C.
  s[0x8C] = s[0x4F];
  s[0x8D] = s[0x4E];
  s[0x8E] = s[0x4D];
  s[0x8F] = s[0x4C];
  s[0x90] = s[0x53];
  s[0x91] = s[0x52];
  s[0x92] = s[0x51];
  s[0x93] = s[0x50];
  return s;
}

ControlOutcome Codec::Control(const ControlSetup& setup, std::uint8_t* data, std::uint32_t timeoutMs,
                              platform::VirtualClock& clock) {
  clock_ = &clock;
  chargedUs_ = 0;
  ++counters_.transfers;
  if (faults_.disconnectAfter == 0) {  // power loss
    faults_.disconnectAfter = -1;
    PowerOff();
    ++counters_.failed;
    return {platform::kErrorDeviceNotConnected, 0};
  }
  if (faults_.disconnectAfter > 0) --faults_.disconnectAfter;
  if (faults_.interruptAfter == 0) {  // the operator's Ctrl-C, once
    faults_.interruptAfter = -1;
    std::raise(SIGINT);
  }
  if (faults_.interruptAfter > 0) --faults_.interruptAfter;

  ControlOutcome outcome = Answer(setup, data, timeoutMs);
  const std::uint64_t busUs = TimingModel::ControlTransferUs(config_.identity.highSpeed, outcome.transferred);
  counters_.busTimeUs += busUs;
  clock.AdvanceUs(busUs);
  if (outcome.error == platform::kErrorSuccess && chargedUs_ > std::uint64_t(timeoutMs) * 1000) {
    outcome = {platform::kErrorTimeout, 0};  // the chip took longer than the host waited
  }
  if (outcome.error != platform::kErrorSuccess) {
    ++counters_.failed;
  } else if (setup.requestType & 0x80) {
    counters_.bytesIn += outcome.transferred;
  } else {
    counters_.bytesOut += outcome.transferred;
  }
  clock_ = nullptr;
  return outcome;
}

ControlOutcome Codec::Answer(const ControlSetup& setup, std::uint8_t* data, std::uint32_t timeoutMs) {
  const std::uint8_t type = (setup.requestType >> 5) & 3;
  RequestKey key{RequestChannel::kStandard, setup.request, 0};
  if (type == kTypeVendor) key.channel = RequestChannel::kVendor;
  if (type == kTypeClass) {
    // Faults on the extension unit name the command carried by SET_CUR.
    if (setup.requestType != 0x21 || setup.value >> 8 != 10 || setup.length < 2) {
      key.channel = RequestChannel::kStandard;
    } else {
      key = {RequestChannel::kExtensionUnit, data[0], data[1]};
    }
  }
  if (type != kTypeClass || key.channel == RequestChannel::kExtensionUnit) {
    if (auto fault = faults_.Hit(key)) {
      if (fault->timeout) {
        clock_->AdvanceUs(std::uint64_t(timeoutMs) * 1000);
        return {platform::kErrorTimeout, 0};
      }
      return {platform::kErrorGenFailure, 0};
    }
  }
  switch (type) {
    case kTypeStandard:
      ++counters_.standard;
      return Standard(setup, data);
    case kTypeClass:
      ++counters_.extensionUnit;
      if (!config_.extensionUnitChannel) return {platform::kErrorGenFailure, 0};
      return ExtensionUnit(setup, data);
    case kTypeVendor:
      ++counters_.vendor;
      if (!config_.vendorChannel) return {platform::kErrorGenFailure, 0};
      return Vendor(setup, data);
    default:
      return {platform::kErrorGenFailure, 0};
  }
}

ControlOutcome Codec::Standard(const ControlSetup& setup, std::uint8_t* data) {
  const std::uint8_t recipientDirection = setup.requestType;
  if (recipientDirection == 0x80 && setup.request == 6) {  // GET_DESCRIPTOR
    std::vector<std::uint8_t> descriptor;
    switch (setup.value >> 8) {
      case 1: descriptor = DeviceDescriptor(config_.identity); break;
      case 2: descriptor = ConfigurationDescriptor(config_.identity, platform::kVendorId); break;
      case 3: descriptor = StringDescriptor(config_.identity, setup.value & 0xFF); break;
      default: break;
    }
    if (descriptor.empty()) return {platform::kErrorGenFailure, 0};
    const std::uint32_t n = std::min<std::uint32_t>(setup.length, descriptor.size());
    std::memcpy(data, descriptor.data(), n);
    return {platform::kErrorSuccess, n};
  }
  if ((recipientDirection & 0x80) && (setup.request == 0 || setup.request == 8)) {  // GET_STATUS, GET_CONFIGURATION
    const std::uint32_t n = std::min<std::uint32_t>(setup.length, setup.request == 0 ? 2 : 1);
    std::memset(data, 0, n);
    if (setup.request == 8 && n) data[0] = 1;
    return {platform::kErrorSuccess, n};
  }
  // SET_CONFIGURATION, SET_INTERFACE, CLEAR_FEATURE, SET_FEATURE.
  if (!(recipientDirection & 0x80) && (setup.request == 9 || setup.request == 11 || setup.request == 1 ||
                                       setup.request == 3)) {
    return {platform::kErrorSuccess, 0};
  }
  return {platform::kErrorGenFailure, 0};
}

std::uint32_t Codec::Reset(Op kind, std::uint16_t value) {
  if (faults_.notReadyResets > 0) {
    --faults_.notReadyResets;
    return platform::kErrorNotReady;
  }
  ++counters_.resets;
  if (kind == Op::kResetRom) {
    Boot();
    LeaveBus();
    return platform::kErrorSuccess;
  }
  // Into the boot ROM's update mode. Values 2 and 5 switch without leaving
  // the bus; any other value makes the codec re-enumerate.
  EnterMode(CodecMode::kBootRom, {});
  if (value != 2 && value != 5) LeaveBus();
  return platform::kErrorSuccess;
}

}  // namespace sim
