#pragma once
// What a codec must hold and start, written down from the chips' rules
// rather than taken from the flows: the targets of the hostile table (memory,
// chip, image size), their old and new images, where an image lives in each
// memory and how to tell that the whole image is there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "image/sample_image.h"
#include "sim/boot_rom.h"
#include "sim/code_memory.h"
#include "tests/support/image_fixtures.h"

namespace hostile {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t KiB = 1024;

inline std::string ToHex(std::size_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%zX", v);
  return buf;
}

// The chips of the built-in descriptions: family code and where an image
// keeps its configuration area and tag.
struct ChipRule {
  const char* name;
  std::uint8_t family;
  std::uint32_t configAddress;
  std::uint32_t configSize;
  std::uint32_t tagAddress;
};
inline constexpr ChipRule kChips[] = {
    {"VMC2210", 17, 0xAE00, 512, 0xEFFE},  {"VMC2222", 23, 0xF000, 4096, 0xEFFE},
    {"VMC2230", 21, 0xF000, 4096, 0xEFFE}, {"VMC2232", 24, 0xF000, 4096, 0xEFFE},
    {"VMC2240", 25, 0xF000, 4096, 0xEFFE}, {"VMC2270", 26, 0xF000, 4096, 0xEFFE},
};
inline const ChipRule& Chip(const std::string& name) {
  for (const ChipRule& c : kChips)
    if (name == c.name) return c;
  return kChips[0];
}

// One row of the table: a memory, a chip and the size of the images written.
struct Target {
  sim::MemoryKind memory;
  const char* chip;
  std::uint32_t size;  // 0: the configuration area alone (EEPROM, OTP)

  const ChipRule& Rule() const { return Chip(chip); }
  bool Flash() const { return sim::IsFlash(memory); }
  // A flash image whose configuration area starts it (the 16 KiB images).
  bool Small() const { return Flash() && size == 16 * KiB; }
  // Images that are a configuration area with the code inside.
  bool AreaAtStart() const { return !Flash() || Small(); }
  std::string Name() const {
    std::string n = std::string(sim::MemoryKindName(memory)) + "_" + chip;
    if (size) n += "_" + std::to_string(size / KiB) + "K";
    return n;
  }
};

inline std::string TargetName(const testing::TestParamInfo<Target>& info) { return info.param.Name(); }

// Where image offset 0 lies in code memory. Flash of family 23 keeps the
// image at 0x10000, family 26 in the bank that follows the first `n` bytes;
// everything else from address 0.
inline std::uint32_t ImageBank(const Target& t, std::size_t n) {
  if (!t.Flash() || t.Small()) return 0;
  if (t.Rule().family == 23) return 0x10000;
  if (t.Rule().family == 26) return std::uint32_t(n);
  return 0;
}
inline bool FitsMemory(const Target& t, std::size_t n) { return ImageBank(t, n) + n <= sim::MemorySize(t.memory); }

inline const sim::FirmwareVersion kOldVersion{4, 1, 0x19, 0, 0, 7};  // 4.119.0000-0000.0007
inline const sim::FirmwareVersion kNewVersion{4, 1, 0x20, 0, 0, 1};  // 4.120.0000-0000.0001
inline std::string VersionText(const sim::FirmwareVersion& v) {
  return v == kOldVersion ? "4.119.0000-0000.0007" : "4.120.0000-0000.0001";
}

// Records of a configuration area at `at`: a record whose first byte is 0xFF
// has its type in byte 1 and a little-endian total length in bytes 2 and 3;
// any other record is as long as its first byte, its type in byte 1.
struct Record {
  std::size_t offset;  // from the start of the image
  std::uint8_t type;
  std::size_t length;
  bool extended;
};
inline std::vector<Record> Records(const Bytes& image, std::size_t at) {
  std::vector<Record> out;
  std::size_t p = at + 6;
  for (int i = 0; i < image[at + 5] && p + 4 <= image.size(); ++i) {
    const bool extended = image[p] == 0xFF;
    const std::size_t length = extended ? std::size_t(image[p + 2] | image[p + 3] << 8) : image[p];
    if (length < 2) break;
    out.push_back({p, image[p + 1], length, extended});
    p += length;
  }
  return out;
}
inline std::size_t ConfigOffset(const Target& t) { return t.AreaAtStart() ? 0 : t.Rule().configAddress; }

// Where the program code starts inside an image: offset 0 of a flash image,
// else inline in the code record (small cache code 0x27: 8-byte header;
// code information 0x0F: 6-byte header).
inline std::size_t CodeStart(const Target& t, const Bytes& image) {
  if (!t.AreaAtStart()) return 0;
  for (const Record& r : Records(image, 0)) {
    if (r.type == 0x27) return r.offset + 8;
    if (r.type == 0x0F) return r.offset + 6;
  }
  return 0;
}
// The small-cache-code record (offset, length) of an image in the OTP layout.
inline std::optional<Record> CodeRecord(const Bytes& image) {
  for (const Record& r : Records(image, 0))
    if (r.type == 0x27) return r;
  return std::nullopt;
}

// The image of the target with that version. Flash images are filled with
// code up to their size, different in every version, so that a part image,
// a skipped chunk or the old image left in place shows.
inline Bytes MakeImage(const Target& t, const sim::FirmwareVersion& v) {
  SampleMemory kind = SampleMemory::kSpi;
  if (t.memory == sim::MemoryKind::kNorFlash) kind = SampleMemory::kNor;
  if (t.memory == sim::MemoryKind::kEeprom8) kind = SampleMemory::kEeprom8;
  if (t.memory == sim::MemoryKind::kEeprom16) kind = SampleMemory::kEeprom16;
  if (t.memory == sim::MemoryKind::kOtp || t.Small()) kind = SampleMemory::kOtp;
  Bytes image = SampleImageBytes(t.chip, VersionText(v), kind);
  if (t.Small()) {
    image[0] = 0x30;  // a flash image
    image.resize(t.size, 0xFF);
    return image;
  }
  if (!t.Flash()) return image;
  const ChipRule& c = t.Rule();
  image.resize(t.size, 0xFF);
  for (std::size_t i = 0x1100; i < image.size(); ++i) {
    const bool tag = i >= c.tagAddress && i < c.tagAddress + 2;
    const bool area = i >= c.configAddress && i < c.configAddress + c.configSize;
    if (!tag && !area) image[i] = std::uint8_t((i * 7 + v[2] * 13 + (i >> 8)) | 0x01);
  }
  return image;
}

// The code memory of a codec that runs the old image of the target: the
// image at its bank, or in OTP one block from 0 with its VD entry.
inline Bytes MemoryWith(const Target& t, const Bytes& image) {
  Bytes memory(sim::MemorySize(t.memory), sim::ErasedByte(t.memory));
  if (!FitsMemory(t, image.size())) return memory;
  std::copy(image.begin(), image.end(), memory.begin() + ImageBank(t, image.size()));
  if (t.memory == sim::MemoryKind::kOtp) {
    const std::uint8_t entry[] = {0, 0, std::uint8_t(image.size() >> 8), std::uint8_t(image.size()), 0x55};
    std::copy(std::begin(entry), std::end(entry), memory.begin() + 0x3F70);
  }
  return memory;
}

// True when `memory` holds the whole `image` of the target where the codec
// starts it (`start`, the boot ROM's choice); `why` says what is missing.
inline bool HoldsWholeImage(const Target& t, const Bytes& image, const Bytes& memory, std::uint32_t start,
                            std::string& why) {
  const auto differs = [&](std::size_t from, std::size_t imageFrom, std::size_t n) -> bool {
    if (from + n > memory.size()) return true;
    for (std::size_t i = 0; i < n; ++i) {
      if (memory[from + i] != image[imageFrom + i]) {
        why = "memory 0x" + ToHex(from + i) + " differs from image offset 0x" + ToHex(imageFrom + i);
        return true;
      }
    }
    return false;
  };
  if (t.memory == sim::MemoryKind::kOtp || t.Small()) {
    // The code record sits behind the 15 bytes of header and leading records
    // in the started block.
    const auto code = CodeRecord(image);
    if (!code) {
      why = "the image has no code record";
      return false;
    }
    return !differs(start + 15, code->offset, code->length);
  }
  const std::uint32_t bank = ImageBank(t, image.size());
  if (start != bank) {
    why = "the codec starts the image at 0x" + ToHex(start) + ", not at its bank 0x" + ToHex(bank);
    return false;
  }
  return !differs(bank, 0, image.size());
}

}  // namespace hostile
