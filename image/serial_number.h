#pragma once
// Writing a unit's serial number into the configuration area of an image
// before it is programmed. The text replaces the string of the manufacturer
// record (type 1) or of the serial-number record (type 3, added after the last
// record when the area has none); every other record is carried over and the
// area is written anew where it lies.
//
// Nothing is shortened or dropped to make the serial number fit: a serial
// number the records cannot hold, an area that is corrupt or holds fewer
// records than its header counts, or an area that no longer fits its room
// leaves the image as it was and says why.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Where the configuration area of an image lies and what its rebuild may use.
struct ConfigPlacement {
  std::size_t areaStart = 0;   // offset of the area's header in the image
  std::size_t configSize = 0;  // bytes the area may take ("ConfigSize")
  // The area lies behind the code at a nonzero "ConfigAddress": the rebuilt
  // area of a flash image gets the storage kind 0x55 and the image the tag
  // 0x55 0xAA at tagAddress. A configuration-only image carries no tag.
  bool tagged = false;
  std::size_t tagAddress = 0;
};

struct SerialNumberRequest {
  std::string serial;           // printable ASCII, 1 to 48 characters
  bool serialRecord = false;    // the serial-number record; else the manufacturer record
  bool functionPrefix = false;  // serial-number record: the character 0x07 before the serial number
};

struct SerialNumberResult {
  bool ok = false;
  std::string error;                // why not, for the trace
  std::vector<std::uint8_t> image;  // the rebuilt image, as long as the old one
  std::uint8_t lengthByte = 0;      // the string record's inner length: characters + 2
  std::size_t characters = 0;       // characters written, 0x07 included
  std::uint16_t configLength = 0;   // total length in the rebuilt header
  std::size_t areaBytes = 0;        // bytes of the rebuilt area, code placed after the records included
};

// The string records hold at most this many characters, a leading 0x07 included.
inline constexpr std::size_t kMaxSerialCharacters = 48;
inline constexpr char kSerialFunctionPrefix = 0x07;

SerialNumberResult WriteSerialNumber(std::span<const std::uint8_t> image, const ConfigPlacement& placement,
                                     const SerialNumberRequest& request);

// A buffer of `size` bytes of 0xFF that receives as much of the image as fits.
std::vector<std::uint8_t> RecutImage(std::span<const std::uint8_t> image, std::size_t size);
