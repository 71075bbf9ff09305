#pragma once
// Simulated time of control transfers and of the memories' erase and program
// operations, in microseconds. The figures are typical of the parts and of
// full-speed and high-speed control transfers; benchmarks print what a flow
// costs under them.
#include <cstdint>

namespace sim {

struct TimingModel {
  // A control transfer: a fixed cost (setup and status stages, the host's
  // scheduling: one frame at full speed, one microframe pair at high speed)
  // plus the data stage at the bus rate with packet overhead.
  static std::uint64_t ControlTransferUs(bool highSpeed, std::uint32_t bytes) {
    const std::uint32_t packetSize = 64;
    const std::uint64_t packets = (bytes + packetSize - 1) / packetSize;
    return highSpeed ? 250 + packets * 4 : 1000 + packets * 60;
  }
  static constexpr std::uint64_t kFlashPageProgramUs = 700;  // per 256-byte page touched
  static constexpr std::uint64_t kFlashSectorEraseUs = 45'000;  // 4 KiB
  static constexpr std::uint64_t kFlashBlockEraseUs = 150'000;  // 64 KiB
  static constexpr std::uint64_t kFlashChipEraseUs = 2'000'000;
  static constexpr std::uint64_t kFlashStatusWriteUs = 15'000;
  static constexpr std::uint64_t kEepromPageWriteUs = 5'000;    // per page touched
  static constexpr std::uint64_t kOtpByteProgramUs = 50;
  static constexpr std::uint64_t kSettleUs = 600'000;  // a reset until the codec is back on the bus, unless its bench says otherwise
};

}  // namespace sim
