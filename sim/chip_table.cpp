#include "sim/chip_table.h"

#include <algorithm>
#include <cctype>

namespace sim {

namespace {

constexpr GpioPin kPinFec0{0xFEC0, 0xFEC6, 0x01};

}  // namespace

const std::vector<ChipFacts>& AllChips() {
  // name, PID, identifier, family, configuration and tag offsets, flash WP#
  // pin, audio class, high speed, EEPROM WP pin, tag required.
  static const std::vector<ChipFacts> chips = {
      {"VMC2210", 0x2210, 0x10, 0x70, 17, 0xAE00, 0xEFFE, {0x0650, 0x0652, 0x01}, 1, false, kEepromWpPinB},
      {"VMC2230", 0x2230, 0x10, 0xB0, 21, 0xF000, 0xEFFE, kPinFec0, 1, false},
      {"VMC2232", 0x2232, 0x10, 0xF0, 24, 0xF000, 0xEFFE, kPinFec0, 2, true},
      {"VMC2240", 0x2240, 0x10, 0xD0, 25, 0xF000, 0xEFFE, kPinFec0, 2, true},
      {"VMC2222", 0x2222, 0x10, 0xE0, 23, 0xF000, 0xEFFE, {0x0505, 0x0507, 0x01}, 2, true, kEepromWpPinB},
      // Its firmware reports a single pin group (probe register 0x050F reads 0).
      {"VMC2270", 0x2270, 0x10, 0x10, 26, 0xF000, 0xEFFE, {0x050C, 0x0512, 0x10}, 2, true, kEepromWpPinB},
      // A later VMC2210 revision (identifier 0x7011): outside the boot-ROM
      // family, its boot ROM wants the tag, and its flash's WP# hangs on the
      // GPIO the other revision leaves free. Same images and product identity.
      {"VMC2210B", 0x2210, 0x11, 0x70, 17, 0xAE00, 0xEFFE, {0xFEA0, 0xFEA6, 0x01}, 1, false, kEepromWpPinB, true},
  };
  return chips;
}

const ChipFacts* FindChip(const std::string& name) {
  auto upper = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
  };
  const std::string wanted = upper(name);
  for (const ChipFacts& chip : AllChips()) {
    if (chip.name == wanted) return &chip;
  }
  return nullptr;
}

}  // namespace sim
