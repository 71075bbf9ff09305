// The check before a download or verify: hand-made images, one fault each,
// against the memory they are meant for.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "image/image_check.h"
#include "tests/support/image_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Family 24 (VMC2232), storage kind 0x55: HW/AP 0x2232/0x1060, EEPROM byte,
// VID 0x3C5A PID 0x2232 REV 0x0100. Total 0x17, three records.
const Bytes kFlashArea = {0x55, 0xA5, 0xC2, 0x17, 0x00, 0x03, 0x06, 0x2F, 0x32, 0x22, 0x60, 0x10,
                          0x03, 0x08, 0x00, 0x08, 0x04, 0x5A, 0x3C, 0x32, 0x22, 0x00, 0x01};

// A 64 KiB flash image: LJMP 0x0100 at 0, the area at 0xF000.
Bytes FlashImage(std::size_t n = 0x10000) {
  Bytes image(n, 0xFF);
  image[0] = 0x02, image[1] = 0x01, image[2] = 0x00;
  std::copy(kFlashArea.begin(), kFlashArea.end(), image.begin() + 0xF000);
  return image;
}

// Family 24, kind 0x60, from offset 0: HW/AP, EEPROM byte, then 4 bytes of
// small cache code (MOV DPTR,#0FE21h / MOVX A,@DPTR). Total 0x1B, three records.
const Bytes kOtpImage = {0x60, 0xA5, 0xC2, 0x1B, 0x00, 0x03, 0x06, 0x2F, 0x32, 0x22, 0x60, 0x10, 0x03, 0x08,
                         0x00, 0xFF, 0xE7, 0x0C, 0x00, 0x0F, 0x00, 0x04, 0x00, 0x90, 0xFE, 0x21, 0xE0};

// Family 26 (VMC2270), kind 0x12, from offset 0: HW/AP, then a code-information
// record pointing at 4 code bytes right after the area (offset 0x12).
const Bytes kEeprom16Image = {0x12, 0xA5, 0xD2, 0x12, 0x00, 0x02, 0x06, 0x2F, 0x70, 0x22, 0x60,
                              0x10, 0x06, 0x0F, 0x12, 0x00, 0x04, 0x00, 0x90, 0xFE, 0x21, 0xE0};

struct Case {
  const char* name;
  std::function<void(Bytes&)> change;
  ImageFault fault;
};

class ImageCheck : public ImageTest {
 protected:
  ImageVerdict Check(const Bytes& image, const char* chip, int memoryType, bool exact = false) {
    return CheckImage(image, BuiltIn(chip), {memoryType, exact});
  }
  void RunTable(const Bytes& good, const char* chip, int memoryType, const std::vector<Case>& cases) {
    const ImageVerdict whole = Check(good, chip, memoryType);
    ASSERT_TRUE(whole.Ok()) << whole.reason;
    for (const Case& c : cases) {
      Bytes image = good;
      c.change(image);
      const ImageVerdict verdict = Check(image, chip, memoryType);
      EXPECT_EQ(verdict.fault, c.fault) << c.name << ": " << verdict.reason;
      EXPECT_EQ(verdict.reason.empty(), c.fault == ImageFault::kNone) << c.name;
    }
  }
};

TEST_F(ImageCheck, AFlashImageIsRefusedForEachFault) {
  constexpr std::size_t A = 0xF000;
  RunTable(FlashImage(), "VMC2232", 0,
           {
               {"empty", [](Bytes& i) { i.clear(); }, ImageFault::kMalformed},
               {"the header alone", [](Bytes& i) { i.assign(kFlashArea.begin(), kFlashArea.begin() + 6); },
                ImageFault::kMalformed},
               {"cut inside the header", [](Bytes& i) { i.resize(A + 4); }, ImageFault::kMalformed},
               {"cut inside the area", [](Bytes& i) { i.resize(A + 0x10); }, ImageFault::kMalformed},
               {"cut right after the area", [](Bytes& i) { i.resize(A + 0x17); }, ImageFault::kNone},
               {"no signature", [](Bytes& i) { i[A + 1] = 0xFF; }, ImageFault::kMalformed},
               {"total length 0xFFFF", [](Bytes& i) { i[A + 3] = i[A + 4] = 0xFF; }, ImageFault::kMalformed},
               {"total length below the header", [](Bytes& i) { i[A + 3] = 5; }, ImageFault::kMalformed},
               {"record count 0xFF", [](Bytes& i) { i[A + 5] = 0xFF; }, ImageFault::kMalformed},
               {"one record more than the area holds", [](Bytes& i) { i[A + 5] = 4; }, ImageFault::kMalformed},
               {"a record running past the area", [](Bytes& i) { i[A + 15] = 9; }, ImageFault::kMalformed},
               {"a record shorter than its header", [](Bytes& i) { i[A + 12] = 1; }, ImageFault::kMalformed},
               {"unknown storage kind", [](Bytes& i) { i[A] = 0x77; }, ImageFault::kMalformed},
               {"storage kind of an EEPROM", [](Bytes& i) { i[A] = 0x11; }, ImageFault::kNotForDevice},
               {"storage kind of an OTP", [](Bytes& i) { i[A] = 0x60; }, ImageFault::kNotForDevice},
               {"another family", [](Bytes& i) { i[A + 2] = (25 << 3) | 2; }, ImageFault::kNotForDevice},
               {"first code byte 0x00", [](Bytes& i) { i[0] = 0x00; }, ImageFault::kNoCode},
               {"first code byte 0xFF", [](Bytes& i) { i[0] = 0xFF; }, ImageFault::kNoCode},
               {"512 KiB", [](Bytes& i) { i.resize(0x80000, 0xFF); }, ImageFault::kNone},
               {"600 KiB", [](Bytes& i) { i.resize(600 * 1024, 0xFF); }, ImageFault::kTooLarge},
               {"128 KiB of a NOR image", [](Bytes& i) { i[A] = 0x61, i.resize(0x20000, 0xFF); },
                ImageFault::kTooLarge},
               {"64 KiB of a NOR image", [](Bytes& i) { i[A] = 0x61; }, ImageFault::kNone},
           });
}

TEST_F(ImageCheck, AnImageThatIsItsAreaCarriesItsCodeInARecord) {
  RunTable(kOtpImage, "VMC2232", 6,
           {
               {"first code byte 0x00", [](Bytes& i) { i[23] = 0x00; }, ImageFault::kNoCode},
               {"no code bytes", [](Bytes& i) { i[21] = 0; }, ImageFault::kNoCode},
               {"no code record", [](Bytes& i) { i.resize(15), i[3] = 15, i[5] = 2; }, ImageFault::kNoCode},
               {"code record cut by the total length", [](Bytes& i) { i[3] = 0x1A; }, ImageFault::kMalformed},
               {"more than the OTP's blocks hold", [](Bytes& i) { i.resize(0x3F61, 0xFF); }, ImageFault::kTooLarge},
               {"a flash image's kind", [](Bytes& i) { i[0] = 0x55; }, ImageFault::kNotForDevice},
           });
  RunTable(kEeprom16Image, "VMC2270", 3,
           {
               {"code beyond the image", [](Bytes& i) { i.resize(21); }, ImageFault::kMalformed},
               {"first code byte 0xFF", [](Bytes& i) { i[18] = 0xFF; }, ImageFault::kNoCode},
               {"no code bytes", [](Bytes& i) { i[16] = 0; }, ImageFault::kNoCode},
               {"an 8-bit EEPROM's kind", [](Bytes& i) { i[0] = 0x11; }, ImageFault::kNotForDevice},
               {"64 KiB", [](Bytes& i) { i.resize(0x10000, 0xFF); }, ImageFault::kNone},
               {"more than 64 KiB", [](Bytes& i) { i.resize(0x10001, 0xFF); }, ImageFault::kTooLarge},
               {"total length 0xFFFF in 64 KiB", [](Bytes& i) { i.resize(0x10000, 0xFF), i[3] = i[4] = 0xFF; },
                ImageFault::kMalformed},
           });
}

// A count of 0xFF is an erased byte, even where that many records would fit.
TEST_F(ImageCheck, ARecordCountOf0xFFIsRefusedEvenWhenTheRecordsFit) {
  Bytes area = {0x55, 0xA5, 0xC2, 0x08, 0x02, 0xFF, 0x06, 0x2F, 0x32, 0x22, 0x60, 0x10};
  for (int i = 0; i < 254; ++i) area.insert(area.end(), {0x02, 0x70});  // records of an unknown type, no payload
  Bytes image = FlashImage();
  std::copy(area.begin(), area.end(), image.begin() + 0xF000);
  EXPECT_EQ(Check(image, "VMC2232", 0).fault, ImageFault::kMalformed);
  image[0xF005] = 0xFE;
  image[0xF003] = 0x06;  // one record fewer
  EXPECT_TRUE(Check(image, "VMC2232", 0).Ok());
}

TEST_F(ImageCheck, MemoryAndFamilyRules) {
  Bytes eeprom8 = kEeprom16Image;
  eeprom8[0] = 0x11;
  EXPECT_EQ(Check(eeprom8, "VMC2270", 2).fault, ImageFault::kNone);
  eeprom8.resize(0x801, 0xFF);  // an 8-bit EEPROM holds 2 KiB
  EXPECT_EQ(Check(eeprom8, "VMC2270", 2).fault, ImageFault::kTooLarge);
  // A flash that stands in for OTP takes the OTP's 16 KiB layout, and only that.
  Bytes otp = kOtpImage;
  otp.resize(0x4000, 0xFF);
  EXPECT_EQ(Check(otp, "VMC2232", 0).fault, ImageFault::kNone);
  EXPECT_EQ(Check(kOtpImage, "VMC2232", 0).fault, ImageFault::kNotForDevice);
  // Families 8 and 9 count as one unless the memory's flow wants the exact family.
  CICTypeIni ic = BuiltIn("VMC2232");
  ic.SetChipInfo(9);
  Bytes image = FlashImage();
  image[0xF002] = (8 << 3) | 2;
  EXPECT_EQ(CheckImage(image, ic, {0, false}).fault, ImageFault::kNone);
  EXPECT_EQ(CheckImage(image, ic, {0, true}).fault, ImageFault::kNotForDevice);
}

// Families 23 and 26 keep the image at a bank (0x10000; behind the image's
// own length): the whole extent from there must fit the memory.
TEST_F(ImageCheck, AFlashImageMustFitAtItsFamilysBank) {
  struct BankCase {
    const char* chip;
    std::uint8_t family;
    int memoryType;
    std::size_t size;
    ImageFault fault;
  };
  const BankCase cases[] = {
      {"VMC2232", 24, 0, 0x80000, ImageFault::kNone},       {"VMC2232", 24, 1, 0x10000, ImageFault::kNone},
      {"VMC2222", 23, 0, 0x10000, ImageFault::kNone},       {"VMC2222", 23, 0, 0x70000, ImageFault::kNone},
      {"VMC2222", 23, 0, 0x70001, ImageFault::kTooLarge},   {"VMC2222", 23, 1, 0x10000, ImageFault::kTooLarge},
      {"VMC2270", 26, 0, 0x40000, ImageFault::kNone},       {"VMC2270", 26, 0, 0x40001, ImageFault::kTooLarge},
      {"VMC2270", 26, 1, 0x10000, ImageFault::kTooLarge},   {"VMC2270", 26, 0, 0x10000, ImageFault::kNone},
      // Family 26's boot ROM looks only at the banks of 64 KiB and 256 KiB images.
      {"VMC2270", 26, 0, 0x20000, ImageFault::kNotForDevice}, {"VMC2270", 26, 0, 0x30000, ImageFault::kNotForDevice},
  };
  for (const BankCase& c : cases) {
    Bytes image = FlashImage(c.size);
    image[0xF002] = std::uint8_t(c.family << 3 | 2);
    if (c.memoryType == 1) image[0xF000] = 0x61;
    const ImageVerdict verdict = Check(image, c.chip, c.memoryType);
    EXPECT_EQ(verdict.fault, c.fault) << c.chip << " memory " << c.memoryType << ", 0x" << std::hex << c.size
                                      << " bytes: " << verdict.reason;
  }
}

TEST_F(ImageCheck, TheAreaOfTheVmc2210LiesAt0xAE00) {
  Bytes image(0x10000, 0xFF);
  image[0] = 0x02;
  Bytes area = kFlashArea;
  area[2] = (17 << 3) | 2;
  std::copy(area.begin(), area.end(), image.begin() + 0xAE00);
  EXPECT_TRUE(Check(image, "VMC2210", 0).Ok());
  image.resize(0xAE10);
  EXPECT_EQ(Check(image, "VMC2210", 0).fault, ImageFault::kMalformed);
}

TEST_F(ImageCheck, EveryBuiltInSampleImagePasses) {
  const std::pair<const char*, SampleMemory> samples[] = {
      {"VMC2210", SampleMemory::kSpi}, {"VMC2222", SampleMemory::kSpi},      {"VMC2270", SampleMemory::kSpi},
      {"VMC2240", SampleMemory::kNor}, {"VMC2232", SampleMemory::kOtp},      {"VMC2210", SampleMemory::kEeprom8},
      {"VMC2270", SampleMemory::kEeprom16},
  };
  const int memory[] = {0, 0, 0, 0, 6, 2, 3};
  for (std::size_t i = 0; i < std::size(samples); ++i) {
    const Bytes image = SampleImageBytes(samples[i].first, "4.119.0000-0000.0007", samples[i].second);
    const ImageVerdict verdict = Check(image, samples[i].first, memory[i], memory[i] == 6);
    EXPECT_TRUE(verdict.Ok()) << samples[i].first << " " << memory[i] << ": " << verdict.reason;
  }
}

}  // namespace
