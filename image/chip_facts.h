#pragma once
// What the flows must know about a chip family's flash: where the image lives,
// how it is erased before an update, and how the new code is started. One row
// per family; families without a row of their own use the default row.
#include <cstdint>

enum class FlashBank {
  kFromZero,     // image offset o at flash address o
  kAt0x10000,    // at 0x10000 + o
  kAfterImage,   // at n + o: the bank after the first n bytes (image length n)
};

enum class FlashErase {
  kChip,              // chip erase
  kBlocksAt0x10000,   // the 64 KiB blocks of the image's extent from 0x10000, no wait
  kBlocksAfterImage,  // n >> 16 blocks of 64 KiB from address n, each with wait
  kBlock0OrChip,      // one block at 0 when bit 7 of register 0x0409 is set, else chip erase
};

struct FlashChipFacts {
  std::uint8_t family = 0;  // 0: the default row
  FlashBank bank = FlashBank::kFromZero;
  FlashErase erase = FlashErase::kChip;
  // The new code starts only after the operator or the script agrees (and a
  // restart pulse on these registers, bit 0 set then cleared).
  bool askBeforeRestart = false;
  std::uint8_t restartPulseCount = 0;
  std::uint16_t restartPulse[2] = {};
  bool signatureCheck = false;  // the firmware checks the image's signature
  bool bankSwitch = false;      // the bank-switch flag of an image applies
  // The download goes on from the running firmware: no reset into the boot
  // ROM first.
  bool updatesFromFirmware = false;
  // Image lengths whose bank the boot ROM looks at (0: any length). An image
  // of another length would be written where nothing ever starts it.
  std::uint32_t startableLengths[2] = {};
};

// Whether the boot ROM of the family looks at the bank of an image of that length.
bool StartsAtLength(const FlashChipFacts& facts, std::uint32_t imageLength);

const FlashChipFacts& FlashFactsFor(std::uint8_t family);

// The flash address of image offset `offset` in an image of `imageLength` bytes.
std::uint32_t FlashAddress(const FlashChipFacts& facts, std::uint32_t imageLength, std::uint32_t offset);
