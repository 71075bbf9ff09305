#pragma once
// One simulated codec: its USB identity, its data memory with the registers
// the programming flows touch, its status words, its code memory, its modes
// and resets, its armed faults and its transfer counters. Control transfers
// are answered as the chip answers them, on both command channels.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/boot_rom.h"
#include "sim/chip_table.h"
#include "sim/code_memory.h"
#include "sim/descriptors.h"
#include "sim/faults.h"
#include "sim/operations.h"
#include "sim/port_path.h"
#include "sim/timing_model.h"

namespace sim {

enum class CodecMode { kBootRom, kRunning };

struct CodecConfig {
  std::string name;
  std::string chip;  // a chip table name
  MemoryKind memory = MemoryKind::kSpiFlash;
  DeviceIdentity identity;
  bool vendorChannel = true;
  bool extensionUnitChannel = true;
  PortPath port;
  std::uint32_t reenumerateMs = TimingModel::kSettleUs / 1000;  // a reset until the codec is back on the bus
};

struct TransferCounters {
  std::uint64_t transfers = 0;
  std::uint64_t standard = 0;
  std::uint64_t vendor = 0;
  std::uint64_t extensionUnit = 0;
  std::uint64_t failed = 0;  // stalled, timed out or not answered
  std::uint64_t bytesIn = 0;
  std::uint64_t bytesOut = 0;
  std::uint64_t busTimeUs = 0;     // bus time of the transfers
  std::uint64_t memoryTimeUs = 0;  // erase and program time of the memories
  std::uint64_t resets = 0;
};

struct ControlSetup {
  std::uint8_t requestType = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
};

struct ControlOutcome {
  std::uint32_t error = 0;  // a platform error number
  std::uint32_t transferred = 0;
};

// Data-memory registers.
inline constexpr std::uint16_t kRegChipId = 0xFE21;  // two bytes
inline constexpr std::uint16_t kRegModeByte = 0xC2A8;
inline constexpr std::uint16_t kRegOtpLock = 0xFD0C;  // bit 3: OTP locked
inline constexpr std::uint16_t kRegSpiControl = 0xFCE0;
inline constexpr std::uint8_t kModeRom = 0x00, kModeSpi = 0x08, kModeRomOtp = 0x10, kModeSpiOtp = 0x18;

inline constexpr int kStatusWordCount = 32;

class Codec {
 public:
  Codec(CodecConfig config, const ChipFacts& chip);

  const CodecConfig& Config() const { return config_; }
  CodecConfig& MutableConfig() { return config_; }
  const ChipFacts& Chip() const { return *chip_; }
  CodeMemory& Memory() { return memory_; }
  const CodeMemory& Memory() const { return memory_; }
  std::span<std::uint8_t> DataMemory() { return xdata_; }
  // From now on the data memory lives in `storage` (64 KiB, a file mapped into
  // memory, say) and is what `storage` holds.
  void UseDataStorage(std::span<std::uint8_t> storage);
  FaultSet& Faults() { return faults_; }
  const FaultSet& Faults() const { return faults_; }
  TransferCounters& Counters() { return counters_; }
  const TransferCounters& Counters() const { return counters_; }

  CodecMode Mode() const { return mode_; }
  // The version its status words report: the running code's, or zeros in the boot ROM.
  const FirmwareVersion& RunningVersion() const { return version_; }
  std::uint8_t ModeByte() const;

  // Presence on the bus. A reset takes the codec off the bus until its settle
  // time has passed; the bus then gives it new instance numbers.
  bool Plugged() const { return plugged_; }
  // A codec told to leave late is still there until its re-enumeration begins.
  bool PresentAt(std::uint64_t nowUs) const {
    return plugged_ && (nowUs >= absentUntilUs_ || nowUs + ReenumerateUs() < absentUntilUs_);
  }
  std::uint64_t ReenumerateUs() const { return std::uint64_t{config_.reenumerateMs} * 1000; }
  std::uint64_t AbsentUntilUs() const { return absentUntilUs_; }
  std::uint32_t DeviceInstance() const { return deviceInstance_; }
  std::uint32_t FunctionInstance() const { return functionInstance_; }
  void SetInstances(std::uint32_t device, std::uint32_t function);

  // Power on (plug in): the boot ROM decides what runs. Power off (unplug).
  void PowerOn();
  void PowerOff();
  // Restores the saved state of a bench without running the boot ROM.
  void RestoreState(bool plugged, CodecMode mode, std::uint64_t absentUntilUs);

  // One control transfer on endpoint 0. Charges the transfer's bus time and
  // the memories' busy time to the clock.
  ControlOutcome Control(const ControlSetup& setup, std::uint8_t* data, std::uint32_t timeoutMs,
                         platform::VirtualClock& clock);

  std::array<std::uint8_t, kStatusWordCount * 8> StatusWords() const;

 private:
  ControlOutcome Answer(const ControlSetup& setup, std::uint8_t* data, std::uint32_t timeoutMs);
  ControlOutcome Standard(const ControlSetup& setup, std::uint8_t* data);
  ControlOutcome Vendor(const ControlSetup& setup, std::uint8_t* data);
  ControlOutcome ExtensionUnit(const ControlSetup& setup, std::uint8_t* data);
  ControlOutcome Command(const std::uint8_t* block);
  bool DecodeCommand(const std::uint8_t* block, OpRequest& request, std::uint8_t& status) const;

  // Operations (codec_operations.cpp). Each returns a status code, kStsDone on success.
  std::uint8_t Begin(const OpRequest& request);
  std::uint8_t Read(const OpRequest& request, std::uint32_t offset, std::uint8_t* out, std::uint32_t n);
  std::uint8_t Write(const OpRequest& request, std::uint32_t offset, const std::uint8_t* in, std::uint32_t n);
  std::uint32_t Reset(Op kind, std::uint16_t value);  // a platform error number
  std::uint8_t ReadRegister(std::uint16_t address) const;
  void WriteRegister(std::uint16_t address, std::uint8_t value);
  void RunSpiController();
  std::uint8_t ReadCodeByte(std::uint32_t address) const;
  bool FlashWpPinHigh() const;
  bool EepromWritable() const;
  bool PinDrivenLow(const GpioPin& pin) const;
  void WaitFlashReady();
  void StartErase(std::uint64_t us);
  void ChargeMemoryTime(std::uint64_t us);
  void ResetDataMemory();
  void EnterMode(CodecMode mode, const FirmwareVersion& version);
  void Boot();
  void LeaveBus();

  CodecConfig config_;
  const ChipFacts* chip_;
  CodeMemory memory_;
  std::vector<std::uint8_t> ownData_;  // the data memory until UseDataStorage
  std::span<std::uint8_t> xdata_;
  std::array<std::uint8_t, 256> imem_{};
  std::array<std::uint8_t, 256> phy_{};
  FaultSet faults_;
  TransferCounters counters_;
  CodecMode mode_ = CodecMode::kBootRom;
  FirmwareVersion version_{};
  bool plugged_ = true;
  std::uint64_t absentUntilUs_ = 0;
  std::uint32_t deviceInstance_ = 0;
  std::uint32_t functionInstance_ = 0;

  // Transient state of the chip while it is on the bus.
  platform::VirtualClock* clock_ = nullptr;  // set during Control
  std::uint64_t flashBusyUntilUs_ = 0;
  std::uint64_t eraseBusyUntilUs_ = 0;
  std::uint64_t chargedUs_ = 0;  // memory time charged during the current request
  std::uint16_t dataControlSize_ = 8;
  OpRequest pending_;
  std::uint32_t pendingDone_ = 0;
  bool pendingActive_ = false;
  std::uint8_t status_ = kStsCmd;
  std::vector<std::uint32_t> otpFailures_;  // of the last OTP write
};

}  // namespace sim
