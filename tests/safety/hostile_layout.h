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
#include <ostream>
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
  char buf[24];
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

inline void PrintTo(const Target& t, std::ostream* os) { *os << t.Name(); }
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
  char text[40];
  std::snprintf(text, sizeof text, "%X.%X%02X.%04X-%04X.%04X", v[0], v[1], v[2], v[3], v[4], v[5]);
  return text;
}

// Records of a configuration area at `at`: a record whose first byte is 0xFF
// has its type in byte 1 and a little-endian total length in bytes 2 and 3;
// any other record is as long as its first byte, its type in byte 1. The
// type is the low six bits of that byte.
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
    out.push_back({p, std::uint8_t(image[p + 1] & 0x3F), length, extended});
    p += length;
  }
  return out;
}
inline std::size_t ConfigOffset(const Target& t) { return t.AreaAtStart() ? 0 : t.Rule().configAddress; }

// Where the program code starts inside an image: offset 0 of a flash image,
// else inline in the small-cache-code record (0x27) behind its 8-byte
// header, or right behind the 6-byte code-information record (0x0F).
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

// The code memory of a codec that runs the old image of the target: flash
// and EEPROM with the image at its bank. An OTP gets its image as a codec
// does, by a download (hostile_run.h, CodecWith); here it stays blank.
inline Bytes MemoryWith(const Target& t, const Bytes& image) {
  Bytes memory(sim::MemorySize(t.memory), sim::ErasedByte(t.memory));
  if (t.memory == sim::MemoryKind::kOtp || !FitsMemory(t, image.size())) return memory;
  std::copy(image.begin(), image.end(), memory.begin() + ImageBank(t, image.size()));
  return memory;
}

// OTP layout: the configuration part of an image (its records behind the
// code record) is a block of its own, VD flag 0xAA, whose records follow 15
// bytes of header and leading records. New code beside an old configuration
// is a part image.
inline bool HoldsConfigPart(const Bytes& image, const Record& code, const Bytes& memory, std::string& why) {
  const std::size_t total = image[3] | image[4] << 8;
  const std::size_t from = code.offset + code.length;
  if (total <= from) return true;
  for (int i = 15; i >= 0; --i) {
    const std::size_t e = 0x3F70 + 5 * i;
    if (memory[e + 4] != 0xAA) continue;
    const std::size_t start = memory[e] << 8 | memory[e + 1];
    if (start + 15 + total - from <= memory.size() &&
        std::equal(image.begin() + std::ptrdiff_t(from), image.begin() + std::ptrdiff_t(total),
                   memory.begin() + std::ptrdiff_t(start + 15)))
      return true;
  }
  why = "no configuration block holds the image's records";
  return false;
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
    if (differs(start + 15, code->offset, code->length)) return false;
    return HoldsConfigPart(image, *code, memory, why);
  }
  const std::uint32_t bank = ImageBank(t, image.size());
  if (start != bank) {
    why = "the codec starts the image at 0x" + ToHex(start) + ", not at its bank 0x" + ToHex(bank);
    return false;
  }
  // The tag holds the image's bytes or the valid tag 55 AA.
  const std::size_t tag = t.Rule().tagAddress;
  if (t.Flash() && tag + 2 <= image.size() && bank + image.size() <= memory.size() &&
      memory[bank + tag] == 0x55 && memory[bank + tag + 1] == 0xAA) {
    return !differs(bank, 0, tag) && !differs(bank + tag + 2, tag + 2, image.size() - tag - 2);
  }
  return !differs(bank, 0, image.size());
}

// True when the codec starts `image` where the old codec held it: byte for
// byte at its bank, or in OTP its code and configuration blocks as a
// download leaves them.
inline bool HoldsPlacedImage(const Target& t, const Bytes& image, const Bytes& memory, std::uint32_t start,
                             std::string& why) {
  if (t.memory == sim::MemoryKind::kOtp) return HoldsWholeImage(t, image, memory, start, why);
  const std::uint32_t bank = ImageBank(t, image.size());
  if (start != bank || bank + image.size() > memory.size()) {
    why = "the codec starts an image at 0x" + ToHex(start) + ", not at 0x" + ToHex(bank);
    return false;
  }
  const auto diff = std::mismatch(image.begin(), image.end(), memory.begin() + bank);
  if (diff.first == image.end()) return true;
  why = "image offset 0x" + ToHex(std::size_t(diff.first - image.begin())) + " changed";
  return false;
}

}  // namespace hostile
