#include "flow/otp_layout.h"

#include <algorithm>
#include <cstdio>

namespace otp {

namespace {

bool AllZero(const std::uint8_t* p, int n) { return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; }); }

}  // namespace

VdEntry DecodeVd(const std::uint8_t* b) {
  return {std::uint16_t(b[0] << 8 | b[1]), std::uint16_t(b[2] << 8 | b[3]), b[4], AllZero(b, kVdEntrySize)};
}

EccEntry DecodeEcc(const std::uint8_t* b) {
  return {std::uint16_t(b[0] << 8 | b[1]), b[2], b[3], AllZero(b, kEccEntrySize)};
}

int EccRepairingEntry(const std::uint8_t* ecc, std::uint16_t entryAddress) {
  for (int k = 1; k <= kEccEntries; ++k) {
    const EccEntry e = EccAt(ecc, k);
    if (e.Active() && e.address >= entryAddress && e.address < entryAddress + kVdEntrySize) return k;
  }
  return 0;
}

bool VdValid(const std::uint8_t* vd, const std::uint8_t* ecc, int index) {
  return VdAt(vd, index).flag != 0 && EccRepairingEntry(ecc, VdAddress(index)) == 0;
}

Usage ComputeUsage(const std::uint8_t* vd, const std::uint8_t* ecc) {
  Usage usage;
  usage.freeEntries = 0;
  for (int i = 0; i < kVdEntries; ++i) {
    const VdEntry e = VdAt(vd, i);
    if (e.free) ++usage.freeEntries;
    if (!VdValid(vd, ecc, i)) continue;
    usage.newest = i;
    usage.used = std::max(usage.used, std::min<std::uint32_t>(e.End(), kCodeEnd));
  }
  usage.free = kCodeEnd - usage.used;
  return usage;
}

int RemainingTimes(const Usage& usage, const Footprint& download) {
  if (download.bytes == 0 || download.entries == 0) return 0;
  return int(std::min<std::uint32_t>(usage.free / download.bytes, std::uint32_t(usage.freeEntries / download.entries)));
}

std::string UsageText(const Usage& usage, const Footprint& download) {
  const double used = usage.used / 1024.0, free = usage.free / 1024.0;
  char text[160];
  if (download.bytes == 0)
    std::snprintf(text, sizeof text, "Used OTP Space: %0.2f KB, Remain OTP Space: %0.2f KB.", used, free);
  else
    std::snprintf(text, sizeof text, "Used OTP Space: %0.2f KB Free OTP Space: %0.2f KB Remaining Programmable Times: %d.",
                  used, free, RemainingTimes(usage, download));
  return text;
}

std::string UsageLines(const Usage& usage, const Footprint& download) {
  char text[160];
  std::snprintf(text, sizeof text, "Used OTP Space: %0.2f KB\nFree OTP Space: %0.2f KB\nRemaining Programmable Times: %d.",
                usage.used / 1024.0, usage.free / 1024.0, RemainingTimes(usage, download));
  return text;
}

}  // namespace otp
