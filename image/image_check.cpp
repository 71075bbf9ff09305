#include "image/image_check.h"

#include <algorithm>
#include <cstdio>

#include "app/program_state.h"
#include "image/byte_order.h"
#include "image/chip_facts.h"
#include "image/descriptor.h"

namespace {

constexpr std::size_t kSmallImage = 0x4000;  // the VMC2230 family's 16 KiB images, and the OTP's layout
constexpr std::uint16_t kNoLength = 0xFFFF;
constexpr std::uint8_t kNoCount = 0xFF;
constexpr std::uint8_t kNorKind = 0x61;
constexpr std::uint8_t kOtpKind = 0x60;

struct Capacity {
  int memoryType;
  std::size_t bytes;
};
constexpr Capacity kCapacities[] = {
    {0, 0x80000},  // SPI flash
    {1, 0x10000},  // NOR flash
    {2, 0x800},    // EEPROM, 8-bit addresses
    {3, 0x10000},  // EEPROM, 16-bit addresses
    {6, 0x3F60},   // OTP: the blocks' area below its tables
};

template <class... Args>
ImageVerdict Refuse(ImageFault fault, const char* format, Args... args) {
  char text[200];
  std::snprintf(text, sizeof text, format, args...);
  return {fault, text};
}

// Where the configuration area lies: at ConfigAddress when the image reaches
// past it and has a header there, else at offset 0 (as the parse finds it).
std::size_t AreaOffset(std::span<const std::uint8_t> image, const CICTypeIni& ic) {
  std::size_t a = std::size_t(std::max(ic.GetConfigAddress(), 0));
  if (ic.IcName() == "VMC2230" && CodeReadSize == kSmallImage) a = 0;
  if (image.size() > a + 1 && image[a + 1] == CDescGlobal::kSignature) return a;
  return 0;
}

// The memory types whose flow takes images of this storage kind. A flash that
// stands in for OTP takes the OTP's 16 KiB layout.
bool KindFitsMemory(std::uint8_t kind, int memoryType, std::size_t imageSize) {
  const int kindMemory = MemoryTypeForStorageKind(kind);
  if (memoryType == 0 || memoryType == 1) return kindMemory == 0 || (kind == kOtpKind && imageSize == kSmallImage);
  return kindMemory == memoryType;
}

// The flash address where an image of n bytes starts: its family's bank.
std::size_t FlashBankStart(int memoryType, std::uint8_t family, std::size_t n) {
  if (memoryType != 0 && memoryType != 1) return 0;
  return FlashAddress(FlashFactsFor(family), std::uint32_t(n), 0);
}

bool Blank(std::uint8_t firstCodeByte) { return firstCodeByte == 0x00 || firstCodeByte == 0xFF; }

// The code an area at offset 0 carries: the first code record's bytes.
struct CodeSeen {
  bool found = false;
  std::size_t offset = 0;  // in the image
  std::size_t length = 0;
};

// Walks the records the header counts; every one must lie inside the area.
ImageVerdict WalkRecords(std::span<const std::uint8_t> image, std::size_t start, const CDescGlobal& header,
                         CodeSeen& code) {
  const std::span<const std::uint8_t> area = image.subspan(start, header.totalLength);
  std::size_t at = CDescGlobal::kSize;
  for (unsigned i = 0; i < header.recordCount; ++i) {
    const RecordHeader record = DecodeRecordHeader(area.subspan(at), header.family);
    if (record.status == RecordHeader::Status::kCorrupt)
      return Refuse(ImageFault::kMalformed, "record %u at area offset 0x%zX is shorter than its header", i + 1, at);
    if (record.status != RecordHeader::Status::kOk)
      return Refuse(ImageFault::kMalformed, "record %u at area offset 0x%zX runs past the area's %u bytes", i + 1,
                    at, unsigned(header.totalLength));
    const std::span<const std::uint8_t> bytes = area.subspan(at, record.length);
    if (!code.found && record.extended && record.length >= 8) {
      code = {true, start + at + 8, std::min<std::size_t>(bytes::Le16(bytes, 6), record.length - 8u)};
    } else if (!code.found && !record.extended && record.type == rectype::kCodeInfo && record.length >= 6) {
      const std::size_t offset = start + bytes::Le16(bytes, 2);
      const std::size_t length = bytes::Le16(bytes, 4);
      if (offset + length > image.size())
        return Refuse(ImageFault::kMalformed, "the code record points at 0x%zX bytes at 0x%zX, past the image's end",
                      length, offset);
      code = {true, offset, length};
    }
    at += record.length;
  }
  return {};
}

}  // namespace

std::size_t MemoryCapacity(int memoryType, std::uint8_t storageKind) {
  if (memoryType == 0 && storageKind == kNorKind) memoryType = 1;
  for (const Capacity& c : kCapacities)
    if (c.memoryType == memoryType) return c.bytes;
  return 0;
}

ImageVerdict CheckImage(std::span<const std::uint8_t> image, const CICTypeIni& ic, const ImageTarget& target) {
  const std::size_t n = image.size();
  if (n == 0) return Refuse(ImageFault::kMalformed, "the image is empty");
  const std::size_t start = AreaOffset(image, ic);
  if (n < 2 || image[start + 1] != CDescGlobal::kSignature)
    return Refuse(ImageFault::kMalformed, "the image has no configuration header (signature 0xA5)");
  if (n - start < CDescGlobal::kSize)
    return Refuse(ImageFault::kMalformed, "the image ends inside the configuration header at 0x%zX", start);
  const CDescGlobal header = CDescGlobal::Decode(image.subspan(start, CDescGlobal::kSize));
  if (header.totalLength == kNoLength || header.totalLength < CDescGlobal::kSize)
    return Refuse(ImageFault::kMalformed, "the configuration header's total length 0x%X is no length",
                  unsigned(header.totalLength));
  if (header.recordCount == kNoCount)
    return Refuse(ImageFault::kMalformed, "the configuration header counts 0xFF records");
  if (start + header.totalLength > n)
    return Refuse(ImageFault::kMalformed, "the image of %zu bytes ends inside its configuration area (0x%zX + 0x%X)",
                  n, start, unsigned(header.totalLength));
  CodeSeen code;
  if (ImageVerdict walked = WalkRecords(image, start, header, code); !walked.Ok()) return walked;
  if (MemoryTypeForStorageKind(header.storageKind) < 0)
    return Refuse(ImageFault::kMalformed, "the storage kind 0x%02X is unknown", unsigned(header.storageKind));

  const std::uint8_t chip = ic.ChipInfo();
  const std::uint8_t family = header.family;
  const bool pair89 = !target.exactFamily && ((family == 8 && chip == 9) || (family == 9 && chip == 8));
  if (family != chip && !pair89)
    return Refuse(ImageFault::kNotForDevice, "the image is for chip family %u, the chip is of family %u",
                  unsigned(family), unsigned(chip));
  if (!KindFitsMemory(header.storageKind, target.memoryType, n))
    return Refuse(ImageFault::kNotForDevice, "the storage kind 0x%02X is not for memory type %d",
                  unsigned(header.storageKind), target.memoryType);
  const std::size_t capacity = MemoryCapacity(target.memoryType, header.storageKind);
  if (n > capacity)
    return Refuse(ImageFault::kTooLarge, "the image of %zu bytes does not fit the memory's %zu bytes", n, capacity);
  const std::size_t bank = FlashBankStart(target.memoryType, chip, n);
  if (bank + n > capacity)
    return Refuse(ImageFault::kTooLarge, "the image of %zu bytes at its bank 0x%zX does not fit the memory's %zu bytes",
                  n, bank, capacity);
  if ((target.memoryType == 0 || target.memoryType == 1) && !StartsAtLength(FlashFactsFor(chip), std::uint32_t(n)))
    return Refuse(ImageFault::kNotForDevice, "an image of %zu bytes lies in a bank the boot ROM of family %u never starts",
                  n, unsigned(chip));

  if (start != 0) {
    if (Blank(image[0]))
      return Refuse(ImageFault::kNoCode, "the code at offset 0 is blank (0x%02X)", unsigned(image[0]));
  } else if (!code.found || code.length == 0) {
    return Refuse(ImageFault::kNoCode, "the configuration area carries no code");
  } else if (Blank(image[code.offset])) {
    return Refuse(ImageFault::kNoCode, "the code at 0x%zX is blank (0x%02X)", code.offset,
                  unsigned(image[code.offset]));
  }
  return {};
}
