// The boot ROM's rule for starting the code in memory.
#include <gtest/gtest.h>

#include "sim/boot_rom.h"

namespace sim {
namespace {

const ChipFacts& Chip(const char* name) { return *FindChip(name); }

// A 64 KiB flash image as the image tools make it: version record at 0x100C,
// tag at 0xEFFE, configuration header at 0xF000 (storage kind 0x30, signature
// 0xA5, part code 2 with the family code above it).
std::vector<std::uint8_t> FlashImage(std::uint8_t family) {
  std::vector<std::uint8_t> image(0x10000, 0xFF);
  image[0] = 0x02;  // LJMP
  const std::uint8_t version[8] = {0x41, 0x19, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07};
  std::copy(version, version + 8, image.begin() + 0x100C);
  const std::uint8_t header[6] = {0x30, 0xA5, static_cast<std::uint8_t>(family << 3 | 2), 0x06, 0x00, 0x00};
  std::copy(header, header + 6, image.begin() + 0xF000);
  return image;
}

TEST(BootRom, StartsAValidImageAndReportsItsVersion) {
  CodeMemory memory(MemoryKind::kSpiFlash);
  memory.Load(FlashImage(24));
  const BootDecision boot = DecideBoot(Chip("VMC2232"), memory);
  EXPECT_TRUE(boot.starts);
  EXPECT_EQ(boot.version, (FirmwareVersion{4, 1, 0x19, 0, 0, 7}));
}

TEST(BootRom, RefusesImagesTheFlowsLeftInvalid) {
  struct Case {
    const char* what;
    std::uint32_t offset;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"interrupted before the configuration header", 0xF000, {0xFF, 0xFF}},
      {"tag destroyed", 0xEFFE, {0x00, 0x00}},
      {"reset vector cleared", 0x0000, {0x00}},
      {"configuration header cleared", 0xF000, {0x00}},
      {"another chip family", 0xF002, {25 << 3 | 2}},
      {"no code: the reset vector erased", 0x0000, {0xFF}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> image = FlashImage(24);
    std::copy(c.bytes.begin(), c.bytes.end(), image.begin() + c.offset);
    CodeMemory memory(MemoryKind::kSpiFlash);
    memory.Load(image);
    EXPECT_FALSE(DecideBoot(Chip("VMC2232"), memory).starts) << c.what;
  }
}

TEST(BootRom, TaggedImageStartsAndFamily23RunsFromItsSecondBank) {
  std::vector<std::uint8_t> image = FlashImage(24);
  image[0xEFFE] = 0x55;
  image[0xEFFF] = 0xAA;
  CodeMemory memory(MemoryKind::kSpiFlash);
  memory.Load(image);
  EXPECT_TRUE(DecideBoot(Chip("VMC2232"), memory).starts);

  std::vector<std::uint8_t> banked(0x10000, 0xFF);
  const std::vector<std::uint8_t> second = FlashImage(23);
  banked.insert(banked.end(), second.begin(), second.end());
  memory.Load(banked);
  const BootDecision boot = DecideBoot(Chip("VMC2222"), memory);
  EXPECT_TRUE(boot.starts);
  EXPECT_EQ(boot.imageStart, 0x10000u);
}

TEST(BootRom, EepromImageStartsOnlyOnceItsTagByteIsWritten) {
  std::vector<std::uint8_t> image(0x200, 0xFF);
  image[0] = 0x12;
  image[2] = 24 << 3 | 2;
  image[3] = 0x40;  // total length 0x140: the code inside the area
  image[4] = 0x01;
  CodeMemory memory(MemoryKind::kEeprom16);
  memory.Load(image);
  EXPECT_FALSE(DecideBoot(Chip("VMC2232"), memory).starts);
  image[1] = 0xA5;  // the tag: the header's signature byte, written last
  image[0x11B] = 0x52;  // the version record, as in every small image
  memory.Load(image);
  const BootDecision boot = DecideBoot(Chip("VMC2232"), memory);
  EXPECT_TRUE(boot.starts);
  EXPECT_EQ(boot.version[0], 5);
}

TEST(BootRom, OnlyOtpChipsReportTheBlankOtpVersionWhileNoCodeRuns) {
  EXPECT_EQ(BootRomVersion(MemoryKind::kOtp), (FirmwareVersion{0xB, 0xB, 0xBB, 0xBBBB, 0xBBBB, 0xBBBB}));
  EXPECT_EQ(BootRomVersion(MemoryKind::kSpiFlash), FirmwareVersion{});
  EXPECT_EQ(BootRomVersion(MemoryKind::kEeprom16), FirmwareVersion{});
}

TEST(BootRom, OtpRunsTheNewestCodeBlockWithItsRepairsAndNothingOlder) {
  CodeMemory memory(MemoryKind::kOtp);
  std::vector<std::uint8_t> otp(0x4000, 0x00);
  auto block = [&](int entry, std::uint16_t start, std::uint16_t length, std::uint8_t versionByte) {
    otp[start] = 0x60;
    otp[start + 1] = 0xA5;
    otp[start + 2] = 24 << 3 | 3;
    otp[start + 3] = length & 0xFF;  // the header's total length: the block's
    otp[start + 4] = length >> 8;
    otp[start + 0x11B] = versionByte;
    const std::uint32_t e = 0x3F70 + 5 * entry;
    otp[e] = start >> 8;
    otp[e + 1] = start & 0xFF;
    otp[e + 2] = length >> 8;
    otp[e + 3] = length & 0xFF;
    otp[e + 4] = 0x55;
  };
  block(0, 0x0000, 0x400, 0x41);
  block(1, 0x0400, 0x400, 0x52);
  otp[0x0401] = 0xA4;  // a failed bit in the newest header ...
  memory.Load(otp);
  EXPECT_FALSE(DecideBoot(Chip("VMC2232"), memory).starts) << "the boot ROM does not fall back to an older block";
  const std::uint8_t ecc[4] = {0x04, 0x01, 0xA5, 0x5A};  // ... repaired by the ECC table
  std::copy(ecc, ecc + 4, otp.begin() + 0x3FC0);
  memory.Load(otp);
  const BootDecision boot = DecideBoot(Chip("VMC2232"), memory);
  EXPECT_EQ(boot.imageStart, 0x400u);
  EXPECT_EQ(boot.version[0], 5);
  otp[0x3F70 + 5 + 4] = 0xFF;  // the newer entry retired: the older block runs again
  memory.Load(otp);
  EXPECT_EQ(DecideBoot(Chip("VMC2232"), memory).imageStart, 0u);

  otp[0x3F70 + 2] = 0x03;  // an entry whose length is not its header's: not a whole block
  memory.Load(otp);
  EXPECT_FALSE(DecideBoot(Chip("VMC2232"), memory).starts);
  otp[0x3F70 + 2] = 0x04;
  otp[0x3F70 + 5 * 2 + 4] = 0xAA;  // a configuration entry alone starts no code
  memory.Load(otp);
  EXPECT_EQ(DecideBoot(Chip("VMC2232"), memory).imageStart, 0u);
}

TEST(BootRom, AConfigurationAreaAloneStartsNothing) {
  // A small image carries its code behind its records, the version record at
  // 0x11B ending it; a header alone holds no code.
  std::vector<std::uint8_t> image(0x200, 0xFF);
  const std::uint8_t header[6] = {0x30, 0xA5, 24 << 3 | 2, 0x06, 0x00, 0x00};
  std::copy(header, header + 6, image.begin());
  CodeMemory memory(MemoryKind::kSpiFlash);
  memory.Load(image);
  EXPECT_FALSE(DecideBoot(Chip("VMC2232"), memory).starts) << "header only";
  CodeMemory eeprom(MemoryKind::kEeprom16);
  eeprom.Load(image);
  EXPECT_FALSE(DecideBoot(Chip("VMC2232"), eeprom).starts) << "EEPROM header only";

  const std::uint8_t version[8] = {0x41, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
  std::copy(version, version + 8, image.begin() + 0x11B);
  memory.Load(image);
  EXPECT_TRUE(DecideBoot(Chip("VMC2232"), memory).starts);
  image[3] = 0xFF;  // an erased total length
  image[4] = 0xFF;
  memory.Load(image);
  EXPECT_FALSE(DecideBoot(Chip("VMC2232"), memory).starts) << "erased total length";
}

TEST(BootRom, AChipOutsideTheBootRomFamilyWantsTheTag) {
  std::vector<std::uint8_t> image = FlashImage(17);
  std::fill_n(image.begin() + 0xF000, 6, 0xFF);
  const std::uint8_t header[6] = {0x30, 0xA5, 17 << 3 | 2, 0x06, 0x00, 0x00};
  std::copy(header, header + 6, image.begin() + 0xAE00);  // the area of VMC2210 chips
  CodeMemory memory(MemoryKind::kSpiFlash);
  memory.Load(image);
  EXPECT_TRUE(DecideBoot(Chip("VMC2210"), memory).starts);
  EXPECT_FALSE(DecideBoot(Chip("VMC2210B"), memory).starts) << "no tag";
  image[0xEFFE] = 0x55;
  image[0xEFFF] = 0xAA;
  memory.Load(image);
  EXPECT_TRUE(DecideBoot(Chip("VMC2210B"), memory).starts);
}

}  // namespace
}  // namespace sim
