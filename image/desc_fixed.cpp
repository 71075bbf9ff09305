#include "image/desc_fixed.h"

#include <algorithm>
#include <bit>

#include "image/byte_order.h"
#include "platform/vendor.h"

namespace {

constexpr std::uint8_t kVendorHi = std::uint8_t(platform::kVendorId >> 8);
constexpr std::uint8_t kVendorLo = std::uint8_t(platform::kVendorId & 0xFF);

// --- leading records ---
constexpr std::uint8_t kHwApDefaults[4] = {};
constexpr FieldDef kHwApFields[] = {{"HWVersion", 0, 2, false}, {"APVersion", 2, 2, false}};
constexpr RecordLayout kHwAp{kHwApDefaults, kHwApFields};

constexpr std::uint8_t kOneByteDefaults[1] = {};
constexpr FieldDef kEepFields[] = {{"EEPSetting", 0, 1, false}};
constexpr FieldDef kBankCopyFields[] = {{"BankCopy", 0, 1, false}};
constexpr FieldDef kForceUpdateFields[] = {
    {"ForceUpdate", 0, 1, false}, {"BankSwitch", 0, 1, false, 0x10}, {"SignatureCheck", 0, 1, false, 0x40}};
constexpr RecordLayout kEep{kOneByteDefaults, kEepFields};
constexpr RecordLayout kBankCopy{kOneByteDefaults, kBankCopyFields};
constexpr RecordLayout kForceUpdate{kOneByteDefaults, kForceUpdateFields};

// --- every family ---
constexpr std::uint8_t kVidPidDefaults[6] = {};
constexpr FieldDef kVidPidFields[] = {{"wVID", 0, 2, false}, {"wPID", 2, 2, false}, {"wRevID", 4, 2, false}};
constexpr RecordLayout kVidPid{kVidPidDefaults, kVidPidFields};

// --- family 17 ---
constexpr std::uint8_t kI2S0Defaults[27] = {0xBB, 0x80, 0x04, 0x08, 0x00, 0x04, 0x01, 0x05, 0x02,
                                            0x06, 0x03, 0x07, 0x00, 0x02, 0x04, 0x06, 0x01, 0x03,
                                            0x05, 0x07, 0x01, 0x00, 0x00, 0x01, 0x00, 0x04, 0x1E};
constexpr std::uint8_t kI2S1Defaults[15] = {0x3E, 0x80, 0x02, 0x07, 0x00, 0x01, 0x00, 0x01,
                                            0x01, 0x00, 0x00, 0x01, 0x00, 0x04, 0x1E};
constexpr FieldDef kSampleRateFields[] = {{"wSampleRate", 0, 2, true}};
constexpr RecordLayout kI2S0{kI2S0Defaults, kSampleRateFields};
constexpr RecordLayout kI2S1{kI2S1Defaults, kSampleRateFields};
constexpr std::uint8_t kI2S0ChannelDefaults[8] = {0x11, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x08};
constexpr std::uint8_t kI2S1ChannelDefaults[4] = {0x00, 0x02, 0x02, 0x02};
constexpr RecordLayout kI2S0Channel{kI2S0ChannelDefaults, {}};
constexpr RecordLayout kI2S1Channel{kI2S1ChannelDefaults, {}};

constexpr std::uint8_t kCodec0Defaults[48] = {0x38, 0x04, 0x00, 0x00};
constexpr std::uint8_t kCodec1Defaults[24] = {0x34, 0x03, 0x00, 0x00};
constexpr RecordLayout kCodec0{kCodec0Defaults, {}};
constexpr RecordLayout kCodec1{kCodec1Defaults, {}};

constexpr std::uint8_t kEndPointTypeDefaults[16] = {2, 1, 2, 1, 2, 1, 2, 1, 3, 2, 3, 2, 3, 2, 3, 2};
constexpr FieldDef kEndPointTypeFields[] = {
    {"wTerminalType0", 0, 2, true},  {"wTerminalType1", 2, 2, true},  {"wTerminalType2", 4, 2, true},
    {"wTerminalType3", 6, 2, true},  {"wTerminalType4", 8, 2, true},  {"wTerminalType5", 10, 2, true},
    {"wTerminalType6", 12, 2, true}, {"wTerminalType7", 14, 2, true}};
constexpr RecordLayout kEndPointType{kEndPointTypeDefaults, kEndPointTypeFields};

// Volume settings: register words, then maximum 0x7F00, minimum 0x8100,
// resolution 0x0100.
constexpr std::uint8_t kVolume2Defaults[54] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0, 0x81, 0, 0x01, 0};
constexpr std::uint8_t kVolume1Defaults[30] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0, 0x81, 0, 0x01, 0};
constexpr FieldDef kVolume2Fields[] = {
    {"L0RegRd", 0, 4, true},  {"L0RegWr", 4, 4, true},  {"L0RegMask", 8, 4, true},
    {"R0RegRd", 12, 4, true}, {"R0RegWr", 16, 4, true}, {"R0RegMask", 20, 4, true},
    {"L1RegRd", 24, 4, true}, {"L1RegWr", 28, 4, true}, {"L1RegMask", 32, 4, true},
    {"R1RegRd", 36, 4, true}, {"R1RegWr", 40, 4, true}, {"R1RegMask", 44, 4, true},
    {"wVolumeMax", 48, 2, true}, {"wVolumeMin", 50, 2, true}, {"wVolumeRes", 52, 2, true}};
constexpr FieldDef kVolume1Fields[] = {
    {"L0RegRd", 0, 4, true},   {"L0RegWr", 4, 4, true},   {"L0RegMask", 8, 4, true},
    {"R0RegRd", 12, 4, true},  {"R0RegWr", 16, 4, true},  {"R0RegMask", 20, 4, true},
    {"wVolumeMax", 24, 2, true}, {"wVolumeMin", 26, 2, true}, {"wVolumeRes", 28, 2, true}};
constexpr RecordLayout kVolume2{kVolume2Defaults, kVolume2Fields};
constexpr RecordLayout kVolume1{kVolume1Defaults, kVolume1Fields};

constexpr std::uint8_t kMute3Defaults[36] = {};
constexpr std::uint8_t kMute2Defaults[24] = {};
constexpr FieldDef kMuteInFields[] = {
    {"EPAMuteRegRd", 0, 4, true},
    {"EPAMuteRegWr", 4, 4, true},
    {"EPAMuteRegMask", 8, 4, true},
    {"EPBMuteRegRd", 12, 4, true},
    {"EPBMuteRegWr", 16, 4, true},
    {"EPBMuteRegMask", 20, 4, true},
    {"EPCMuteRegRd", 24, 4, true},
    {"EPCMuteRegWr", 28, 4, true},
    {"EPCMuteRegMask", 32, 4, true}};
constexpr FieldDef kMuteOutFields[] = {
    {"EPGMuteRegRd", 0, 4, true},
    {"EPGMuteRegWr", 4, 4, true},
    {"EPGMuteRegMask", 8, 4, true},
    {"EPHMuteRegRd", 12, 4, true},
    {"EPHMuteRegWr", 16, 4, true},
    {"EPHMuteRegMask", 20, 4, true},
    {"EPIMuteRegRd", 24, 4, true},
    {"EPIMuteRegWr", 28, 4, true},
    {"EPIMuteRegMask", 32, 4, true}};
constexpr FieldDef kMute1Fields[] = {
    {"EPDMuteRegRd", 0, 4, true},
    {"EPDMuteRegWr", 4, 4, true},
    {"EPDMuteRegMask", 8, 4, true},
    {"EPJMuteRegRd", 12, 4, true},
    {"EPJMuteRegWr", 16, 4, true},
    {"EPJMuteRegMask", 20, 4, true}};
constexpr RecordLayout kMuteIn{kMute3Defaults, kMuteInFields};
constexpr RecordLayout kMuteOut{kMute3Defaults, kMuteOutFields};
constexpr RecordLayout kMute1{kMute2Defaults, kMute1Fields};

// --- families 21 and 24 ---
constexpr std::uint8_t kSlbDefaults[13] = {0x01, 3, 0x00, 0x02, 0x00, 0x00, 5, 0, 0xFF, 1, 1, 1, 0};
constexpr FieldDef kSlbFields[] = {
    {"HS SLB test", 0, 1, false, 0x01}, {"FS SLB test", 0, 1, false, 0x02}, {"bFSTstCnt", 1, 1, false},
    {"dwHSTstCnt", 2, 4, false},        {"wHSFailTh", 6, 2, false},         {"bFixPattern", 8, 1, false},
    {"bSeed", 9, 1, false},             {"bFSFailTh", 10, 1, false},        {"wHSDlyTime", 11, 2, false}};
constexpr RecordLayout kSlb{kSlbDefaults, kSlbFields};

constexpr std::uint8_t kUacTopDefaults[16] = {0x01, 0x00, 1, 1, 4, 4, 8, 0x1F,
                                              0x00, 0x11, kVendorHi, kVendorLo, 0x22, 0x30, 0x00, 0x01};
constexpr std::size_t kU2PhySensitivity = 6;
constexpr FieldDef kUacTopFields[] = {
    {"wUAVVersion", 0, 2, true},          {"byUSBSpeedMode", 2, 1, false},
    {"byHIDEnable", 3, 1, false},         {"byUAC2INInterval", 4, 1, false},
    {"byUAC2OUTInterval", 5, 1, false},   {"byU2PhySensitivity", kU2PhySensitivity, 1, false},
    {"JD1_PlugIn", 7, 1, false, 0x01},    {"JD1_PlugOut", 7, 1, false, 0x02},
    {"JD2_PlugIn", 7, 1, false, 0x04},    {"JD2_PlugOut", 7, 1, false, 0x08},
    {"JD3_BTN_PRESS", 7, 1, false, 0x10}, {"GPIO_AL0_JD", 7, 1, false, 0x20},
    {"JD2_REMOTE_WAKEUP", 8, 1, false, 0x02}, {"JD3_REMOTE_WAKEUP", 8, 1, false, 0x04},
    {"AL0_REMOTE_WAKEUP", 8, 1, false, 0x08}, {"EPA", 9, 1, false, 0x01},
    {"EPB", 9, 1, false, 0x02},           {"EPC", 9, 1, false, 0x04},
    {"EPG", 9, 1, false, 0x10},           {"EPH", 9, 1, false, 0x20},
    {"EPI", 9, 1, false, 0x40},           {"wVID", 10, 2, true},
    {"wPID", 12, 2, true},                {"wRevID", 14, 2, true}};
constexpr RecordLayout kUacTop{kUacTopDefaults, kUacTopFields};

constexpr std::uint8_t kEpInDefaults[15] = {1, 0x00, 0x80, 4, 0x00, 0x03, 0x02, 0x01,
                                            0x81, 0x00, 0x7F, 0x00, 0x00, 0x00, 0};
constexpr std::uint8_t kEpOutDefaults[14] = {1, 0x00, 0x80, 4, 0x00, 0x03, 0x03,
                                             0x01, 0x81, 0x00, 0x7F, 0x00, 0x00, 0x00};
constexpr FieldDef kEpFields[] = {
    {"byConnectType", 0, 1, false}, {"wSampleRate", 1, 2, true},  {"byBitResolution", 3, 1, false},
    {"wChLocation", 4, 2, true},    {"wTerminalType", 6, 2, true}, {"wVolumeMin", 8, 2, true},
    {"wVolumeMax", 10, 2, true},    {"wVolumeRes", 12, 2, true},   {"bySupportLoudness", 14, 1, false}};
constexpr RecordLayout kEpIn{kEpInDefaults, kEpFields};
constexpr RecordLayout kEpOut{kEpOutDefaults, std::span(kEpFields).first(8)};

constexpr std::uint8_t kInterCodecDefaults[12] = {0x01, 0x01, 0x10, 0x02, 0x04, 0x04,
                                                  0x49, 0x08, 0x08, 0x7F, 0x30, 0x01};
constexpr std::size_t kGBtnDetectWinCtl = 6;
constexpr FieldDef kInterCodecFields[] = {
    {"bySSCSelect", 0, 1, false},          {"byJD1ConnectEP", 1, 1, false},
    {"byJD2ConnectEP", 2, 1, false},       {"byADStereoConType", 3, 1, false},
    {"byADMonoConType", 4, 1, false},      {"GBTN0_INT_EN", 5, 1, false, 0x01},
    {"GBTN1_INT_EN", 5, 1, false, 0x02},   {"GBTN2_INT_EN", 5, 1, false, 0x04},
    {"GBTN3_INT_EN", 5, 1, false, 0x08},   {"byGBtnDetectWinCtl", kGBtnDetectWinCtl, 1, false},
    {"byGBtnClkDiv", 7, 1, false},         {"byGBtnDeglitchClkDiv", 8, 1, false},
    {"byJD3Ttime(unit:0.64ms)", 9, 1, false}, {"byJD3Duty(unit:0.64ms)", 10, 1, false},
    {"byJD3DetectCnt", 11, 1, false, 0x07}};
constexpr RecordLayout kInterCodec{kInterCodecDefaults, kInterCodecFields};

constexpr std::uint8_t kSpdifDefaults[6] = {0x02, 0x00, 0x40, 0x08, 0x00, 0x00};
constexpr FieldDef kSpdifFields[] = {
    {"bySSCSelect", 0, 1, false},       {"byDataFmt", 1, 1, false},
    {"byEmphasisofPro", 2, 1, false},   {"byCopyPermitofConsumer", 3, 1, false},
    {"byLevelofConsumer", 4, 1, false}, {"byCategoryCodeofConsumer", 5, 1, false}};
constexpr RecordLayout kSpdif{kSpdifDefaults, kSpdifFields};

constexpr std::uint8_t kUartDefaults[8] = {0x02, 0x00, 0x01, 0x00, 0x00, 0x30, 0x57, 0x00};
constexpr FieldDef kUartFields[] = {
    {"bySSCSelect", 0, 1, false},      {"byStopBitNum", 1, 1, false},
    {"byDataLen", 2, 1, false},        {"byParityEn", 3, 1, false, 0x08},
    {"ParityCheck", 3, 1, false, 0x10}, {"dwBaudRate", 4, 4, true}};
constexpr RecordLayout kUart{kUartDefaults, kUartFields};

constexpr std::uint8_t kGpioDefaults[10] = {};
constexpr FieldDef kGpioFields[] = {
    {"byGPIO0Driving", 0, 1, false}, {"byGPIO1Driving", 1, 1, false}, {"byGPIO2Driving", 2, 1, false},
    {"byGPIO3Driving", 3, 1, false}, {"byGPIO4Driving", 4, 1, false}, {"byGPIO5Driving", 5, 1, false},
    {"byGPIO6Driving", 6, 1, false}, {"byGPIO7Driving", 7, 1, false}, {"byGPIO8Driving", 8, 1, false},
    {"byGPIO9Driving", 9, 1, false}};
constexpr RecordLayout kGpio{kGpioDefaults, kGpioFields};

std::uint8_t Clamp(std::uint8_t value, std::uint8_t low, std::uint8_t high) {
  return std::clamp(value, low, high);
}

}  // namespace

CDescFixed::CDescFixed(std::uint8_t type, const RecordLayout& layout)
    : CDescriptor(type),
      layout_(layout),
      payload_(layout.defaults.begin(), layout.defaults.end()),
      recordPayload_(payload_.size()) {
  m_wPayloadLength = std::uint16_t(payload_.size());
  m_wLength = std::uint16_t(payload_.size() + 2);
}

int CDescFixed::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  payload_.assign(layout_.defaults.begin(), layout_.defaults.end());
  const std::size_t held = record.size() > 2 ? record.size() - 2 : 0;
  if (held > payload_.size()) payload_.resize(held);
  std::copy_n(record.begin() + std::ptrdiff_t(record.size() - held), held, payload_.begin());
  recordPayload_ = held;
  return 1;
}

int CDescFixed::Serialize(std::vector<std::uint8_t>& out) const {
  std::vector<std::uint8_t> payload = payload_;
  AdjustForWrite(payload);
  payload.resize(recordPayload_);
  PutPlainHeader(out, payload.size() + 2);
  out.insert(out.end(), payload.begin(), payload.end());
  return 1;
}

const FieldDef* CDescFixed::Find(std::string_view name) const {
  for (const FieldDef& f : layout_.fields)
    if (f.name == name) return &f;
  return nullptr;
}

std::optional<std::uint32_t> CDescFixed::Field(std::string_view name) const {
  const FieldDef* f = Find(name);
  if (!f) return std::nullopt;
  const std::uint32_t raw = bytes::Read(payload_, f->offset, f->width, f->bigEndian);
  return f->mask ? (raw & f->mask) >> std::countr_zero(f->mask) : raw;
}

bool CDescFixed::SetField(std::string_view name, std::uint32_t value) {
  const FieldDef* f = Find(name);
  if (!f) return false;
  if (f->mask) {
    const unsigned shift = unsigned(std::countr_zero(f->mask));
    payload_[f->offset] = std::uint8_t((payload_[f->offset] & ~f->mask) | ((value << shift) & f->mask));
  } else {
    bytes::Write(payload_, f->offset, f->width, f->bigEndian, value);
  }
  return true;
}

CDescHWAPVersion::CDescHWAPVersion() : CDescFixed(rectype::kHwApVersion, kHwAp) {}
CDescEEPInfo::CDescEEPInfo() : CDescFixed(rectype::kEepInfo, kEep) {}
CDescBankCopyInfo::CDescBankCopyInfo() : CDescFixed(rectype::kBankCopy, kBankCopy) {}
CDescForceUpdateInfo::CDescForceUpdateInfo() : CDescFixed(rectype::kForceUpdate, kForceUpdate) {}
CDescVIDPID::CDescVIDPID() : CDescFixed(rectype::kVidPid, kVidPid) {}

CDescI2S0_2210::CDescI2S0_2210() : CDescFixed(8, kI2S0) {}
CDescI2S0Channel::CDescI2S0Channel() : CDescFixed(9, kI2S0Channel) {}
CDescI2S1_2210::CDescI2S1_2210() : CDescFixed(10, kI2S1) {}
CDescI2S1Channel::CDescI2S1Channel() : CDescFixed(11, kI2S1Channel) {}
CDescI2SCodec0Setting::CDescI2SCodec0Setting() : CDescFixed(12, kCodec0) {}
CDescI2SCodec1Setting::CDescI2SCodec1Setting() : CDescFixed(16, kCodec1) {}
CDescEndPointType::CDescEndPointType() : CDescFixed(47, kEndPointType) {}
CDescI2SEPAVolumeSetting::CDescI2SEPAVolumeSetting() : CDescFixed(48, kVolume2) {}
CDescI2SEPBVolumeSetting::CDescI2SEPBVolumeSetting() : CDescFixed(49, kVolume1) {}
CDescI2SEPCVolumeSetting::CDescI2SEPCVolumeSetting() : CDescFixed(50, kVolume1) {}
CDescI2SEPDVolumeSetting::CDescI2SEPDVolumeSetting() : CDescFixed(51, kVolume1) {}
CDescI2SEPGVolumeSetting::CDescI2SEPGVolumeSetting() : CDescFixed(52, kVolume2) {}
CDescI2SEPHVolumeSetting::CDescI2SEPHVolumeSetting() : CDescFixed(53, kVolume1) {}
CDescI2SEPIVolumeSetting::CDescI2SEPIVolumeSetting() : CDescFixed(54, kVolume1) {}
CDescI2SEPJVolumeSetting::CDescI2SEPJVolumeSetting() : CDescFixed(55, kVolume1) {}
CDescI2SCodec0InMuteSetting::CDescI2SCodec0InMuteSetting() : CDescFixed(56, kMuteIn) {}
CDescI2SCodec0OutMuteSetting::CDescI2SCodec0OutMuteSetting() : CDescFixed(57, kMuteOut) {}
CDescI2SCodec1MuteSetting::CDescI2SCodec1MuteSetting() : CDescFixed(58, kMute1) {}

CDescSLB::CDescSLB() : CDescFixed(0x0E, kSlb) {}
CDescUACTop::CDescUACTop() : CDescFixed(64, kUacTop) {}
void CDescUACTop::AdjustForWrite(std::span<std::uint8_t> payload) const {
  payload[kU2PhySensitivity] = Clamp(payload[kU2PhySensitivity], 1, 15);
}
CDescEPAInfo::CDescEPAInfo() : CDescFixed(65, kEpIn) {}
CDescEPBInfo::CDescEPBInfo() : CDescFixed(66, kEpIn) {}
CDescEPCInfo::CDescEPCInfo() : CDescFixed(67, kEpIn) {}
CDescEPGInfo::CDescEPGInfo() : CDescFixed(68, kEpOut) {}
CDescEPHInfo::CDescEPHInfo() : CDescFixed(69, kEpOut) {}
CDescEPIInfo::CDescEPIInfo() : CDescFixed(70, kEpOut) {}
CDescInterCodecInfo::CDescInterCodecInfo() : CDescFixed(71, kInterCodec) {}
void CDescInterCodecInfo::AdjustForWrite(std::span<std::uint8_t> payload) const {
  payload[kGBtnDetectWinCtl] = Clamp(payload[kGBtnDetectWinCtl], 2, 127);
}
CDescInterSPDIFInfo::CDescInterSPDIFInfo() : CDescFixed(72, kSpdif) {}
CDescInterUartInfo::CDescInterUartInfo() : CDescFixed(73, kUart) {}
CDescGPIODrivingInfo::CDescGPIODrivingInfo() : CDescFixed(74, kGpio) {}
