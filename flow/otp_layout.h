#pragma once
// The OTP array's layout and its two tables, as the OTP flows read them:
//   0x0000..0x3F5F  code and configuration blocks, appended one after another
//   0x3F60..0x3F6F  reserved
//   0x3F70..0x3FBF  VD table: 16 entries of 5 bytes {start, length (both high
//                   byte first), flag}; flag 0x55 a code block, 0xAA a
//                   configuration block, 0xFF a failed or retired one
//   0x3FC0..0x3FFF  ECC table: 16 entries of 4 bytes {address (high byte
//                   first), correct value, marker 0x5A}, numbered 1 to 16
// Unprogrammed bytes read 0x00: an all-zero entry is free. Bits can only be
// set, so an entry is retired by programming the complement of one byte.
#include <cstdint>
#include <string>

namespace otp {

inline constexpr std::uint32_t kSize = 0x4000;
inline constexpr std::uint16_t kCodeEnd = 0x3F60;  // 16224 bytes for blocks
inline constexpr std::uint16_t kVdTable = 0x3F70;
inline constexpr int kVdEntries = 16;
inline constexpr int kVdEntrySize = 5;
inline constexpr std::uint16_t kEccTable = 0x3FC0;
inline constexpr int kEccEntries = 16;
inline constexpr int kEccEntrySize = 4;
inline constexpr std::uint32_t kVdTableSize = kVdEntries * kVdEntrySize;
inline constexpr std::uint32_t kEccTableSize = kEccEntries * kEccEntrySize;

inline constexpr std::uint8_t kFlagCode = 0x55;
inline constexpr std::uint8_t kFlagConfig = 0xAA;
inline constexpr std::uint8_t kFlagFailed = 0xFF;
inline constexpr std::uint8_t kEccMarker = 0x5A;

inline constexpr std::uint16_t VdAddress(int index) { return std::uint16_t(kVdTable + kVdEntrySize * index); }
// ECC entries are numbered 1 to 16.
inline constexpr std::uint16_t EccAddress(int number) { return std::uint16_t(0x3FBC + kEccEntrySize * number); }

struct VdEntry {
  std::uint16_t start = 0, length = 0;
  std::uint8_t flag = 0;
  bool free = true;  // all five bytes 0
  std::uint32_t End() const { return std::uint32_t(start) + length; }
};

struct EccEntry {
  std::uint16_t address = 0;
  std::uint8_t value = 0, marker = 0;
  bool free = true;  // all four bytes 0
  bool Active() const { return marker == kEccMarker; }
};

VdEntry DecodeVd(const std::uint8_t* bytes);
EccEntry DecodeEcc(const std::uint8_t* bytes);
// Entry `index` (0..15) of an 80-byte VD table; entry `number` (1..16) of a
// 64-byte ECC table.
inline VdEntry VdAt(const std::uint8_t* vd, int index) { return DecodeVd(vd + kVdEntrySize * index); }
inline EccEntry EccAt(const std::uint8_t* ecc, int number) { return DecodeEcc(ecc + kEccEntrySize * (number - 1)); }

// The first active ECC entry (1..16) that repairs one of the five bytes of
// the VD entry at that address; 0 when none does.
int EccRepairingEntry(const std::uint8_t* ecc, std::uint16_t entryAddress);
// A VD entry counts when its flag is not 0 and no ECC entry repairs it.
bool VdValid(const std::uint8_t* vd, const std::uint8_t* ecc, int index);

// What a download can still use.
struct Usage {
  // The end of the valid block that ends last (the blocks of one download
  // need not be recorded in address order), and, once the OTP has been read,
  // of the bytes an interrupted write left behind it.
  std::uint32_t used = 0;
  std::uint32_t free = kCodeEnd;
  int freeEntries = kVdEntries;
  int newest = -1;  // index of the newest valid VD entry
};
Usage ComputeUsage(const std::uint8_t* vd, const std::uint8_t* ecc);

// What one download takes: the bytes of its blocks and one VD entry a block.
struct Footprint {
  std::uint32_t bytes = 0;
  int entries = 0;
};

// Texts of the usage: the window's ("Used OTP Space: ..., Remain OTP Space:
// ..." or, for a download, with the remaining programmable times), and the
// command line's three lines.
std::string UsageText(const Usage& usage, const Footprint& download = {});
std::string UsageLines(const Usage& usage, const Footprint& download);
// How many more such downloads fit, by space and by free VD entries.
int RemainingTimes(const Usage& usage, const Footprint& download);

}  // namespace otp
