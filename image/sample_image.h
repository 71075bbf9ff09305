#pragma once
// Sample firmware images for the built-in descriptions: an 8051 program, its
// version record and a configuration area with the leading records, the USB
// identity and strings of the chip. Memory types:
//   spi, nor                 64 KB image: LJMP at 0, program at 0x100, version
//                            at 0x100C, no tag (0xFF 0xFF at TagAddress), area
//                            at ConfigAddress
//   eeprom8, eeprom16, otp   the configuration area alone, from offset 0 (its
//                            signature byte is the EEPROM tag), carrying the
//                            program as code, laid out so that its version
//                            record lies at 0x11B. otp: a small-cache-code
//                            record right behind 15 bytes of header and
//                            leading records (families 21 and 24 only);
//                            eeprom: a code-information record after the
//                            identity records.
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_version.h"

enum class SampleMemory { kSpi, kNor, kEeprom8, kEeprom16, kOtp };

struct SampleImageSpec {
  std::string chip;  // a built-in description name, e.g. "VMC2232"
  SampleMemory memory = SampleMemory::kSpi;
  FwVersion version{};
  std::uint16_t vid = 0;  // 0: the vendor's identifier
  std::uint16_t pid = 0;  // 0: the chip number (VMC2232 -> 0x2232)
  std::string manufacturer = "Tessaload";
  std::string serial;  // no serial-number record when empty
};

// Names of the memory option ("spi", "nor", "eeprom8", "eeprom16", "otp").
bool ParseSampleMemory(const std::string& name, SampleMemory& memory);

// Builds the image; false with `error` set for an unknown chip, a memory type
// the chip cannot carry, texts too long or an area that does not fit.
bool BuildSampleImage(const SampleImageSpec& spec, std::vector<std::uint8_t>& image, std::string& error);
