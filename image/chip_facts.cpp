#include "image/chip_facts.h"

namespace {

constexpr FlashChipFacts kDefault{};

constexpr FlashChipFacts kRows[] = {
    {23, FlashBank::kAt0x10000, FlashErase::kBlocksAt0x10000, true, 1, {0x0000, 0}, false, true, true},
    {26, FlashBank::kAfterImage, FlashErase::kBlocksAfterImage, true, 2, {0xF970, 0xF971}, true, true, true,
     {0x10000, 0x40000}},
    {30, FlashBank::kFromZero, FlashErase::kBlock0OrChip, true, 0, {}, false, false, false},
};

}  // namespace

const FlashChipFacts& FlashFactsFor(std::uint8_t family) {
  for (const FlashChipFacts& row : kRows)
    if (row.family == family) return row;
  return kDefault;
}

std::uint32_t FlashAddress(const FlashChipFacts& facts, std::uint32_t imageLength, std::uint32_t offset) {
  switch (facts.bank) {
    case FlashBank::kAt0x10000: return 0x10000 + offset;
    case FlashBank::kAfterImage: return imageLength + offset;
    case FlashBank::kFromZero: break;
  }
  return offset;
}

bool StartsAtLength(const FlashChipFacts& facts, std::uint32_t imageLength) {
  bool any = true;
  for (const std::uint32_t length : facts.startableLengths) {
    if (length == 0) continue;
    any = false;
    if (length == imageLength) return true;
  }
  return any;
}
