#pragma once
// Register-level operations on the chip's XDATA registers (GPIO pins that
// drive the flash write-protect line, the SPI controller), each a sequence of
// one-byte ReadMem/WriteMem calls on a channel. Each returns 0 or the first
// failure.
#include <cstdint>

class CVendorCmdCommon;
namespace platform {
class Clock;
}

namespace chipreg {
inline constexpr std::uint16_t kGpioOut0 = 0xFEA0;
inline constexpr std::uint16_t kGpioOut1 = 0xFEA1;
inline constexpr std::uint16_t kGpioDir0 = 0xFEA6;
inline constexpr std::uint16_t kGpioDir1 = 0xFEA7;
inline constexpr std::uint16_t kSpiControl = 0xFCE0;
}  // namespace chipreg

// The boot mode from the status words: -1 unknown, 0..3 as the status
// format byte (offset 0x40) and the word at offset 4 tell.
int BootModeFromStatus(const std::uint8_t* status96);

std::int32_t EnableWriteProtect(CVendorCmdCommon& channel);
std::int32_t DisableWriteProtect(CVendorCmdCommon& channel, platform::Clock& clock);
std::int32_t GpioSetA(CVendorCmdCommon& channel);
std::int32_t GpioSetB(CVendorCmdCommon& channel);
std::int32_t SpiEraseByRegisters(CVendorCmdCommon& channel, platform::Clock& clock, std::uint8_t opcode,
                                 std::uint32_t address);
