#pragma once
// What the flows read off a codec: its chip identifier, the boot-ROM family,
// the mode byte and its text, the layout of the 104-byte device status and
// the identity and version texts built from it.
#include <array>
#include <cstdint>
#include <string>

inline constexpr std::uint16_t kChipIdAddress = 0xFE21;
inline constexpr std::uint16_t kModeByteAddress = 0xC2A8;
inline constexpr std::uint16_t kModeByteAddress7110 = 0xC2A6;
inline constexpr std::uint32_t kDeviceStatusSize = 104;

struct ChipId {
  std::uint8_t lo = 0;
  std::uint8_t hi = 0;
  // High nibble of each byte.
  std::uint16_t Masked() const { return std::uint16_t((hi & 0xF0) << 8 | (lo & 0xF0)); }
  std::uint16_t Raw() const { return std::uint16_t(hi << 8 | lo); }
  // High nibble of the second byte, the first byte whole.
  std::uint16_t Code() const { return std::uint16_t((hi & 0xF0) << 8 | lo); }
};

// Chips whose boot ROM is reached without an update reset of the running
// firmware.
bool IsBootRomFamily(const ChipId& id);
// "ROM", "SPI", "ROM&&OTP", "SPI&&OTP", "ROM&&SPI" or "Unknown".
const char* ModeText(std::uint8_t modeByte);
std::uint16_t ModeByteAddress(const ChipId& id);
// Mode bytes whose identity comes from the status words at 0x80.
bool IsExtendedStatusMode(std::uint8_t modeByte);

// The status-format byte in use (0x40, or 0x48 for the B layout) and the
// format it gives: 1, 2 or 0.
std::size_t StatusFormatOffset(const std::uint8_t* status104);
int StatusFormat(const std::uint8_t* status104);

// True when the device runs its firmware from code cache.
bool RunsFromCache(const std::uint8_t* status104, const ChipId& id, std::uint8_t modeByte);

using VersionFields = std::array<std::uint16_t, 6>;

// The identity text of the device. `extended` holds the 32 status bytes from
// offset 0x80 (read only for the modes of IsExtendedStatusMode). With
// `withVidPid` the text ends in "-VID%04X&&PID%04X"; `version` receives the
// numbers of the text.
std::string IdentityText(const std::uint8_t* status104, std::uint8_t modeByte, const std::uint8_t* extended32,
                         std::uint16_t vid, std::uint16_t pid, bool withVidPid, VersionFields* version = nullptr);
