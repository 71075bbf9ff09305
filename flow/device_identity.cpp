#include "flow/device_identity.h"

#include <algorithm>
#include <cstdio>

bool IsBootRomFamily(const ChipId& id) {
  static constexpr std::uint16_t kFamily[] = {0x1010, 0x8050, 0xB010, 0xC010, 0xD010, 0xE010, 0xF010};
  const std::uint16_t masked = id.Masked();
  if (std::find(std::begin(kFamily), std::end(kFamily), masked) != std::end(kFamily)) return true;
  if (masked == 0x7010 && id.lo != 0x11) return true;
  return id.lo == 0x56 && id.hi == 0xFF;
}

const char* ModeText(std::uint8_t modeByte) {
  switch (modeByte) {
    case 0:
      return "ROM";
    case 8:
      return "SPI";
    case 16:
      return "ROM&&OTP";
    case 24:
      return "SPI&&OTP";
    case 32:
      return "ROM&&SPI";
    default:
      return "Unknown";
  }
}

std::uint16_t ModeByteAddress(const ChipId& id) {
  return id.Raw() == 0x7110 ? kModeByteAddress7110 : kModeByteAddress;
}

bool IsExtendedStatusMode(std::uint8_t modeByte) { return modeByte == 0x10 || modeByte == 0x18 || modeByte == 0x20; }

std::size_t StatusFormatOffset(const std::uint8_t* s) {
  const bool layoutB = (s[0x40] & 0x0F) == 0 && (s[0x48] & 0x0F) != 0 && (s[0x48] & 0x0F) != 0x0B;
  return layoutB ? 0x48 : 0x40;
}

int StatusFormat(const std::uint8_t* s) {
  switch (s[StatusFormatOffset(s)] >> 4) {
    case 2:
      return 1;
    case 3:
      return 2;
    default:
      return 0;
  }
}

bool RunsFromCache(const std::uint8_t* s, const ChipId& id, std::uint8_t modeByte) {
  const std::uint16_t masked = id.Masked();
  if (masked != 0 && masked != 0x7010) return modeByte != 0;
  return (s[StatusFormatOffset(s)] & 0x0F) == 1;
}

std::string IdentityText(const std::uint8_t* s, std::uint8_t modeByte, const std::uint8_t* t, std::uint16_t vid,
                         std::uint16_t pid, bool withVidPid, VersionFields* version) {
  char text[96];
  VersionFields v{};
  const bool layoutB = StatusFormatOffset(s) == 0x48;
  const std::uint8_t identity = layoutB ? s[0x4B] : s[0x43];
  const std::uint8_t wordLo = layoutB ? s[0x4E] : s[0x46];
  const std::uint8_t wordHi = layoutB ? s[0x4F] : s[0x47];
  int n;
  if (IsExtendedStatusMode(modeByte) && t) {
    v = {std::uint16_t(t[12] >> 4), std::uint16_t(t[12] & 0xF), t[13], std::uint16_t(t[14] << 8 | t[15]),
         std::uint16_t(t[16] << 8 | t[17]), std::uint16_t(t[18] << 8 | t[19])};
    n = std::snprintf(text, sizeof text, "%01X.%01X%02X.%04X-%04X.%04X", v[0], v[1], v[2], v[3], v[4], v[5]);
  } else {
    switch (StatusFormat(s)) {
      case 1:
        v = {s[77], s[76], s[79], s[78], 0, 0};
        n = std::snprintf(text, sizeof text, "0x%02X%02X-%02X%02X", s[77], s[76], s[79], s[78]);
        break;
      case 2:
        v = {std::uint16_t(s[79] >> 4), std::uint16_t(s[79] & 0xF), s[78], std::uint16_t(s[77] << 8 | s[76]),
             std::uint16_t(s[83] << 8 | s[82]), std::uint16_t(s[81] << 8 | s[80])};
        n = std::snprintf(text, sizeof text, "%01X.%01X%02X.%04X-%04X.%04X", v[0], v[1], v[2], v[3], v[4], v[5]);
        break;
      default:
        v = {identity, wordLo, wordHi, s[5], s[4], 0};
        n = std::snprintf(text, sizeof text, "0x%02X-%02X%02X-%02X%02X", identity, wordLo, wordHi, s[5], s[4]);
        break;
    }
  }
  if (withVidPid) std::snprintf(text + n, sizeof text - size_t(n), "-VID%04X&&PID%04X", vid, pid);
  if (version) *version = v;
  return text;
}
