#pragma once
// The check an image passes before any download or verify touches the codec:
// whether it can work at all in the memory it is meant for. It reads only the
// image bytes and the IC-type description, and is strict where the parse of
// image_parse.h is lenient: an image the codec could never start is refused
// here, before anything is erased.
//
// Refused, in this order:
//   kMalformed    no bytes; no configuration header (signature 0xA5); a header
//                 cut off, or an image cut inside its configuration area; a
//                 total length below 6 or 0xFFFF; a record count of 0xFF; a
//                 record shorter than its header or running past the area; a
//                 code record pointing outside the image; an unknown storage
//                 kind
//   kNotForDevice the chip family is not the chip's; the storage kind is not
//                 one the memory of the flow takes
//   kTooLarge     more bytes than the memory holds, or, in flash, an image
//                 whose extent at its family's bank (chip_facts.h) ends past
//                 the memory
//   kNoCode       no code where code must be: the first code byte 0x00 or 0xFF
//                 (an image with its area at ConfigAddress has its code from
//                 offset 0; an area at offset 0 carries it in a code record)
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "image/ic_type_ini.h"

enum class ImageFault { kNone, kMalformed, kNotForDevice, kTooLarge, kNoCode };

// The memory an image is checked for.
struct ImageTarget {
  // Of the flow: 0 SPI flash, 1 NOR flash, 2 EEPROM 8-bit, 3 EEPROM 16-bit,
  // 6 OTP.
  int memoryType = 0;
  // False: the families 8 and 9 count as one (the flash front ends).
  bool exactFamily = false;
};

struct ImageVerdict {
  ImageFault fault = ImageFault::kNone;
  std::string reason;  // what is wrong, for the trace
  bool Ok() const { return fault == ImageFault::kNone; }
};

ImageVerdict CheckImage(std::span<const std::uint8_t> image, const CICTypeIni& ic, const ImageTarget& target);

// The bytes the code memory of a flow's memory type holds, for an image of
// this storage kind: the flash parts these codecs carry (SPI 512 KiB, NOR
// 64 KiB, told apart by the image's kind 0x61), EEPROM 2 KiB (8-bit
// addresses) or 64 KiB (16-bit), and the OTP's block area. 0 for a memory
// type without a flow.
std::size_t MemoryCapacity(int memoryType, std::uint8_t storageKind);
