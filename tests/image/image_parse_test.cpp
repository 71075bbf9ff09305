// Locating the configuration area of an image, its flags, texts and family.
#include <gtest/gtest.h>

#include <algorithm>

#include "image/image_parse.h"
#include "image/image_version.h"
#include "tests/support/image_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A family-21 area: HW/AP, force update 0x50, manufacturer "Acme", serial
// "42", VID 0x3C5A PID 0x2230 REV 0x0100.
const Bytes kArea21 = {0x55, 0xA5, 0xAA, 0x25, 0x00, 0x05, 0x06, 0x2F, 0x30, 0x22, 0x60, 0x10, 0x03,
                       0x15, 0x50, 0x08, 0x01, 0x06, 0x03, 'A',  'c',  'm',  'e',  0x06, 0x03, 0x04,
                       0x03, '4',  '2',  0x08, 0x04, 0x5A, 0x3C, 0x30, 0x22, 0x00, 0x01};

// A family-21 area at offset 0 with 4 bytes of small cache code: ends at 24.
const Bytes kOtpArea21 = {0x60, 0xA5, 0xAA, 0x18, 0x00, 0x02, 0x06, 0x2F, 0x30, 0x22, 0x60, 0x10,
                          0xFF, 0xE7, 0x0C, 0x00, 0x14, 0x00, 0x04, 0x00, 0x02, 0x00, 0x03, 0x00};

Bytes Image(std::size_t n, std::initializer_list<std::pair<std::size_t, const Bytes*>> parts) {
  Bytes image(n, 0xFF);
  for (const auto& [at, bytes] : parts) std::copy(bytes->begin(), bytes->end(), image.begin() + std::ptrdiff_t(at));
  return image;
}

Bytes WithFamily(Bytes area, std::uint8_t family) {
  area[2] = std::uint8_t((family << 3) | 2);
  return area;
}

class ParseImageTest : public ImageTest {};

TEST_F(ParseImageTest, FlashImageWithHeaderAtConfigAddress) {
  const Bytes version = {0x41, 0x19, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07};
  CImageJob job;
  job.image = Image(0x10000, {{0xF000, &kArea21}, {0x100C, &version}});
  const CICTypeIni ic = BuiltIn("VMC2230");
  ASSERT_EQ(ParseImage(job, ic), 1);
  EXPECT_EQ(job.ConfigAtStart, 0u);
  EXPECT_EQ(job.ConfigWindowStart, 0xF000u);
  EXPECT_EQ(job.ConfigWindowLength, 0x1000u);
  EXPECT_EQ(job.configOffset, 0xF000u);
  EXPECT_EQ(job.ImageFamily, 21);
  EXPECT_EQ(job.ConfigLength, 0x25);
  EXPECT_EQ(job.BankSwitchFlag, 1u);
  EXPECT_EQ(job.SignatureCheckFlag, 1u);
  EXPECT_EQ(job.SignedImageMarker, 0u);
  EXPECT_EQ(job.manufacturer, "Acme");
  EXPECT_EQ(job.serialNumber, "42");
  EXPECT_EQ(job.vidPidText, "VID_3C5A&PID_2230");
  EXPECT_EQ(job.revText, "0100");
  EXPECT_EQ(job.imageIdentity, "0xFFFFFFFFFF");
  EXPECT_EQ(MemoryType, 0);
  EXPECT_TRUE(IsImageForDevice(job, ic));
  EXPECT_FALSE(IsImageForDevice(job, BuiltIn("VMC2232")));  // family 24
  std::string text;
  FwVersion v;
  ASSERT_EQ(GetImageVersion(job.image, text, v), 1);
  EXPECT_EQ(text, "4.119.0000-0000.0007");
  EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(ParseImageTest, ConfigurationOnlyImages) {
  const CICTypeIni ic = BuiltIn("VMC2230");
  for (std::size_t n : {std::size_t(0x10000), std::size_t(0xF000), kArea21.size()}) {
    CImageJob job;
    job.image = Image(n, {{0, &kArea21}});
    ASSERT_EQ(ParseImage(job, ic), 1) << n;
    EXPECT_EQ(job.ConfigAtStart, 1u) << n;
    EXPECT_EQ(job.configOffset, 0u) << n;
    EXPECT_EQ(job.ImageFamily, 21) << n;
  }
}

TEST_F(ParseImageTest, Vmc2230With16KbReadSizeParsesAtOffsetZero) {
  const Bytes other = WithFamily(kArea21, 24);
  CImageJob job;
  job.image = Image(0x10000, {{0, &kOtpArea21}, {0xF000, &other}});
  const CICTypeIni ic = BuiltIn("VMC2232");  // Ic Name "VMC2230"
  CodeReadSize = 0x4000;
  ASSERT_EQ(ParseImage(job, ic), 1);
  EXPECT_EQ(job.ImageFamily, 21);
  EXPECT_EQ(job.ConfigAtStart, 1u);

  CodeReadSize = 0x10000;
  ASSERT_EQ(ParseImage(job, ic), 1);
  EXPECT_EQ(job.ImageFamily, 24);
  EXPECT_EQ(job.ConfigAtStart, 0u);
}

TEST_F(ParseImageTest, AreaAtOffsetZeroHasItsWindowAfterTheSmallCacheCode) {
  CImageJob job;
  job.image = Image(0x4000, {{0, &kOtpArea21}});
  CodeReadSize = 0x4000;
  ASSERT_EQ(ParseImage(job, BuiltIn("VMC2230")), 1);
  EXPECT_EQ(MemoryType, 6);
  // From the end of the small cache code (24, down to 16) to the total length
  // (24, down to 16) plus 0x30.
  EXPECT_EQ(job.configOffset, 24u);
  EXPECT_EQ(job.ConfigWindowStart, 16u);
  EXPECT_EQ(job.ConfigWindowLength, 0x30u);
}

TEST_F(ParseImageTest, CorruptAreaAtOffsetZeroFailsTheParse) {
  Bytes area = kOtpArea21;
  area[5] = 3;
  area.insert(area.end(), {0x00, 0x04});  // a record shorter than its header
  area[3] = std::uint8_t(area.size());
  CImageJob job;
  job.image = Image(0x4000, {{0, &area}});
  CodeReadSize = 0x4000;
  EXPECT_EQ(ParseImage(job, BuiltIn("VMC2230")), 0);
  EXPECT_EQ(job.ImageFamily, 0xFF);
  EXPECT_FALSE(IsImageForDevice(job, BuiltIn("VMC2230")));
}

TEST_F(ParseImageTest, ImagesWithoutAreaFail) {
  const CICTypeIni ic = BuiltIn("VMC2230");
  const Bytes garbage = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  for (const Bytes& image : {Bytes{}, Bytes{0x30, 0xA5}, Bytes(0x10000, 0xFF), garbage,
                             Bytes(kArea21.begin(), kArea21.begin() + 5)}) {
    CImageJob job;
    job.image = image;
    EXPECT_EQ(ParseImage(job, ic), 0) << image.size();
    EXPECT_EQ(job.ImageFamily, 0xFF);
    EXPECT_FALSE(job.configOffset);
  }
}

TEST_F(ParseImageTest, CorruptAreaIsReportedButStillLocated) {
  Bytes area = kArea21;
  area[5] = 7;                              // two records more than present
  area.insert(area.end(), {0x01, 0x04});  // a record shorter than its header
  area[3] = std::uint8_t(area.size());
  CImageJob job;
  job.image = Image(0x10000, {{0xF000, &area}});
  ASSERT_EQ(ParseImage(job, BuiltIn("VMC2230")), 1);
  EXPECT_EQ(job.ImageFamily, 21);
  ASSERT_FALSE(prompter.shown.empty());
  EXPECT_NE(prompter.shown.front().find("Config file corrupted"), std::string::npos);
}

TEST_F(ParseImageTest, BankCopyMarksSignedImagesOfFamily25) {
  const Bytes area = {0x55, 0xA5, 0xCA, 0x0F, 0x00, 0x02, 0x06, 0x2F, 0x40,
                      0x22, 0x60, 0x10, 0x03, 0x14, 0x5A};
  CImageJob job;
  job.image = Image(0x10000, {{0xF000, &area}});
  ASSERT_EQ(ParseImage(job, BuiltIn("VMC2240")), 1);
  EXPECT_EQ(job.SignedImageMarker, 1u);
  EXPECT_EQ(job.BankSwitchFlag, 0u);
  EXPECT_EQ(job.ImageFamily, 25);
}

TEST_F(ParseImageTest, StorageKindSelectsTheMemoryType) {
  struct Case {
    std::uint8_t kind;
    int memoryType;
  };
  const Case cases[] = {{0x11, 2}, {0x12, 3}, {0x30, 0}, {0x55, 0}, {0x61, 0}, {0x40, 4}, {0x60, 6}, {0x77, 3}};
  const CICTypeIni ic = BuiltIn("VMC2210");
  for (const Case& c : cases) {
    Bytes area = WithFamily(kArea21, 17);
    area[0] = c.kind;
    MemoryType = 3;
    CImageJob job;
    job.image = Image(0x10000, {{0xAE00, &area}});
    ASSERT_EQ(ParseImage(job, ic), 1);
    EXPECT_EQ(MemoryType, c.memoryType) << int(c.kind);
  }
}

}  // namespace
