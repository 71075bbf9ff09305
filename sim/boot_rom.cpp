#include "sim/boot_rom.h"

#include <vector>

namespace sim {

namespace {

constexpr std::uint8_t kHeaderSignature = 0xA5;
constexpr std::uint32_t kVersionOffsetLarge = 0x100C;  // images of 64 KiB and more
constexpr std::uint32_t kVersionOffsetSmall = 0x11B;
constexpr std::uint32_t kVersionRecordSize = 8;

// OTP tables.
constexpr std::uint32_t kOtpBlocksEnd = 0x3F60;
constexpr std::uint32_t kOtpVdTable = 0x3F70;
constexpr std::uint32_t kOtpEccTable = 0x3FC0;
constexpr int kOtpEntries = 16;
constexpr std::uint8_t kOtpCodeFlag = 0x55;
constexpr std::uint8_t kOtpEccMarker = 0x5A;

bool KnownStorageKind(std::uint8_t kind) {
  switch (kind) {
    case 0x11: case 0x12: case 0x30: case 0x40: case 0x55: case 0x60: case 0x61:
      return true;
    default:
      return false;
  }
}

// Reads memory through a view that may substitute repaired bytes.
class View {
 public:
  explicit View(const CodeMemory& memory) : memory_(memory) {}
  void Substitute(std::uint32_t address, std::uint8_t value) { repairs_.push_back({address, value}); }
  std::uint8_t operator[](std::uint32_t address) const {
    for (auto it = repairs_.rbegin(); it != repairs_.rend(); ++it) {
      if (it->first == address) return it->second;
    }
    return memory_.Read(address);
  }
  bool Repaired(std::uint32_t address) const {
    for (const auto& r : repairs_) {
      if (r.first == address) return true;
    }
    return false;
  }

 private:
  const CodeMemory& memory_;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> repairs_;
};

bool HeaderValid(const View& m, std::uint32_t at, std::uint8_t family) {
  return KnownStorageKind(m[at]) && m[at + 1] == kHeaderSignature && (m[at + 2] >> 3) == family;
}

// An image that starts with its configuration area carries its code behind
// or inside the records, the version record at its end (0x11B): the header's
// total length must be a length (not erased) and the version record must not
// be blank (all 0xFF or all 0x00), or there is no code.
bool AreaCarriesCode(const View& m, std::uint32_t at) {
  const std::uint32_t total = m[at + 3] | (std::uint32_t(m[at + 4]) << 8);
  if (total == 0xFFFF || total < 6) return false;
  bool erased = true, cleared = true;
  for (std::uint32_t i = 0; i < kVersionRecordSize; ++i) {
    erased &= m[at + kVersionOffsetSmall + i] == 0xFF;
    cleared &= m[at + kVersionOffsetSmall + i] == 0x00;
  }
  return !erased && !cleared;
}

// A code image's first byte is its reset vector: erased (0xFF) or cleared
// (0x00) means no code.
bool CodeStarts(const View& m, std::uint32_t at) { return m[at] != 0x00 && m[at] != 0xFF; }

FirmwareVersion VersionAt(const View& m, std::uint32_t at) {
  std::uint8_t record[8];
  for (std::uint32_t i = 0; i < 8; ++i) record[i] = m[at + i];
  return DecodeVersionRecord(record);
}

// Flash banks the boot ROM looks at, in order, by chip family.
std::vector<std::uint32_t> FlashBanks(std::uint8_t family) {
  if (family == 23) return {0x10000};
  if (family == 26) return {0x10000, 0x40000, 0};
  return {0};
}

BootDecision DecideFlash(const ChipFacts& chip, const View& m) {
  for (std::uint32_t bank : FlashBanks(chip.family)) {
    // A code image with its configuration area at the chip's offset.
    if (HeaderValid(m, bank + chip.configAddress, chip.family)) {
      const std::uint8_t t0 = m[bank + chip.tagAddress], t1 = m[bank + chip.tagAddress + 1];
      const bool tagged = t0 == 0x55 && t1 == 0xAA;
      const bool tagOk = tagged || (!chip.requiresTag && t0 == 0xFF && t1 == 0xFF);
      if (tagOk && CodeStarts(m, bank)) return {true, bank, VersionAt(m, bank + kVersionOffsetLarge)};
      continue;
    }
    // A small image whose configuration area starts it.
    if (HeaderValid(m, bank, chip.family) && AreaCarriesCode(m, bank))
      return {true, bank, VersionAt(m, bank + kVersionOffsetSmall)};
  }
  return {};
}

// EEPROM images are configuration areas from address 0 with the code inside,
// laid out like the other small images.
BootDecision DecideEeprom(const ChipFacts& chip, const View& m) {
  if (!HeaderValid(m, 0, chip.family) || !AreaCarriesCode(m, 0)) return {};
  return {true, 0, VersionAt(m, kVersionOffsetSmall)};
}

BootDecision DecideOtp(const ChipFacts& chip, const CodeMemory& memory) {
  // The ECC table substitutes bytes; a table entry that needed a repair is retired.
  View m(memory);
  for (int k = 0; k < kOtpEntries; ++k) {
    const std::uint32_t e = kOtpEccTable + 4 * k;
    if (memory.Read(e + 3) == kOtpEccMarker) {
      m.Substitute((std::uint32_t(memory.Read(e)) << 8) | memory.Read(e + 1), memory.Read(e + 2));
    }
  }
  // The newest valid code entry decides; the boot ROM never looks further
  // back. Its block starts only when it holds a header whose total length is
  // the entry's length and that ends inside the blocks' area.
  for (int i = kOtpEntries - 1; i >= 0; --i) {
    const std::uint32_t e = kOtpVdTable + 5 * i;
    bool entryRepaired = false;
    for (std::uint32_t a = e; a < e + 5; ++a) entryRepaired |= m.Repaired(a);
    if (entryRepaired || m[e + 4] != kOtpCodeFlag) continue;
    const std::uint32_t start = (std::uint32_t(m[e]) << 8) | m[e + 1];
    const std::uint32_t length = (std::uint32_t(m[e + 2]) << 8) | m[e + 3];
    const std::uint32_t headerLength = m[start + 3] | (std::uint32_t(m[start + 4]) << 8);
    if (!HeaderValid(m, start, chip.family) || headerLength != length || start + length > kOtpBlocksEnd) return {};
    const bool hasVersion = kVersionOffsetSmall + 8 <= length;
    return {true, start, hasVersion ? VersionAt(m, start + kVersionOffsetSmall) : FirmwareVersion{}};
  }
  return {};
}

}  // namespace

FirmwareVersion DecodeVersionRecord(const std::uint8_t* r) {
  return {std::uint16_t(r[0] >> 4), std::uint16_t(r[0] & 0x0F), r[1], std::uint16_t((r[2] << 8) | r[3]),
          std::uint16_t((r[4] << 8) | r[5]), std::uint16_t((r[6] << 8) | r[7])};
}

FirmwareVersion BootRomVersion(MemoryKind kind) {
  static constexpr std::uint8_t kBlankOtpRecord[8] = {0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB};
  return kind == MemoryKind::kOtp ? DecodeVersionRecord(kBlankOtpRecord) : FirmwareVersion{};
}

BootDecision DecideBoot(const ChipFacts& chip, const CodeMemory& memory) {
  if (memory.Kind() == MemoryKind::kOtp) return DecideOtp(chip, memory);
  const View view(memory);
  if (IsEeprom(memory.Kind())) return DecideEeprom(chip, view);
  return DecideFlash(chip, view);
}

}  // namespace sim
