// Version records, their text form and the check before an update.
#include <gtest/gtest.h>

#include "image/image_version.h"
#include "tests/support/image_fixtures.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

FwVersion V(const char* text) { return ParseVersionText(text).value(); }

TEST(ImageVersion, RecordOffsetDependsOnImageLength) {
  const Bytes record = {0x41, 0x19, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07};
  struct Case {
    std::size_t length, at;
  };
  for (const Case c : {Case{0x10000, 0x100C}, Case{0x40000, 0x100C}, Case{0xFFFF, 0x11B}, Case{0x123, 0x11B}}) {
    Bytes image(c.length, 0xFF);
    std::copy(record.begin(), record.end(), image.begin() + std::ptrdiff_t(c.at));
    std::string text;
    FwVersion v;
    ASSERT_EQ(GetImageVersion(image, text, v), 1) << c.length;
    EXPECT_EQ(text, "4.119.0000-0000.0007");
    EXPECT_EQ(v, (FwVersion{4, 1, 0x19, 0, 0, 7}));
  }
}

TEST(ImageVersion, ImageTooShortForItsRecordHasNoVersion) {
  for (std::size_t length : {0u, 0x11Bu, 0x122u}) {
    std::string text = "old";
    FwVersion v{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(GetImageVersion(Bytes(length, 0x41), text, v), 0);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(v, FwVersion{});
  }
}

TEST(ImageVersion, TextFormRoundTripsAndRejectsOtherShapes) {
  EXPECT_EQ(FormatVersion(V("4.119.0000-0000.0007")), "4.119.0000-0000.0007");
  EXPECT_EQ(EncodeVersionRecord(V("B.BBB.BBBB-BBBB.BBBB")), (std::array<std::uint8_t, 8>{
                                                                0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB, 0xBB}));
  for (const char* bad : {"", "4.119.0000-0000.007", "4.119.0000.0000.0007", "4.1G9.0000-0000.0007",
                          "41.19.0000-0000.0007", "4.119.0000-0000.00070"})
    EXPECT_FALSE(ParseVersionText(bad)) << bad;
}

TEST(ImageVersion, ComparisonIsComponentByComponent) {
  struct Case {
    const char *image, *device;
    UpdateVerdict verdict;
  };
  const Case cases[] = {
      {"4.119.0000-0000.0007", "4.119.0000-0000.0007", UpdateVerdict::kSameVersion},
      {"4.119.0000-0000.0006", "4.119.0000-0000.0007", UpdateVerdict::kOlderVersion},
      {"5.000.0000-0000.0000", "4.119.0000-0000.0007", UpdateVerdict::kProceed},
      {"4.100.0000-0000.0009", "4.119.0000-0000.0007", UpdateVerdict::kProceed},
      {"1.000.0000-0000.0000", "B.BBB.BBBB-BBBB.BBBB", UpdateVerdict::kProceed},
      {"B.BBB.BBBB-BBBB.BBBB", "B.BBB.BBBB-BBBB.BBBB", UpdateVerdict::kSameVersion},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CompareForUpdate(V(c.image), V(c.device)), c.verdict) << c.image << " vs " << c.device;
}

TEST(ImageVersion, RefusalsAreShownWithTheirTexts) {
  RecordingPrompter prompter;
  ShowUpdateRefusal(UpdateVerdict::kProceed, prompter);
  ShowUpdateRefusal(UpdateVerdict::kSameVersion, prompter);
  ShowUpdateRefusal(UpdateVerdict::kOlderVersion, prompter);
  EXPECT_EQ(prompter.shown, (std::vector<std::string>{
                                "Warning!!: Same FW version!",
                                "Warning!!: The updated FW version is older than the current one."}));
}

}  // namespace
