#pragma once
// What the simulator knows about each codec chip: a small table keyed by the
// chip's name. Adding a chip is adding a row.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// A GPIO bit of the codec's data memory: direction register, output register
// and the bit in both.
struct GpioPin {
  std::uint16_t direction = 0;
  std::uint16_t output = 0;
  std::uint8_t bit = 0;
};

// The EEPROM write-protect pin: one of two GPIO bits, by chip. The flows
// drive both; the EEPROM takes writes only while its own pin is driven low.
inline constexpr GpioPin kEepromWpPinA{0xFEA0, 0xFEA6, 0x20};
inline constexpr GpioPin kEepromWpPinB{0xFEA1, 0xFEA7, 0x02};

struct ChipFacts {
  std::string name;             // "VMC2232"
  std::uint16_t pid = 0;        // product identifier of its running firmware
  std::uint8_t idLow = 0;       // chip identifier register 0xFE21
  std::uint8_t idHigh = 0;      // chip identifier register 0xFE22
  std::uint8_t family = 0;      // chip family code of its images
  std::uint32_t configAddress = 0;  // configuration header inside a code image
  std::uint32_t tagAddress = 0;     // the two tag bytes inside a code image
  GpioPin flashWriteProtect;    // drives the flash's WP# pin
  std::uint8_t audioClass = 2;  // USB Audio Class 1 or 2 descriptors
  bool highSpeed = true;
  GpioPin eepromWriteProtect = kEepromWpPinA;  // drives the EEPROM's WP pin
  // The boot ROM starts a code image only when its tag reads 0x55 0xAA
  // (chips outside the boot-ROM family); otherwise 0xFF 0xFF will do too.
  bool requiresTag = false;
};

// The chip of that name (case-insensitive), or null.
const ChipFacts* FindChip(const std::string& name);
const std::vector<ChipFacts>& AllChips();

}  // namespace sim
