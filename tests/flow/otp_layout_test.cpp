// The OTP tables as the flows read them, from hand-written table bytes, and
// the usage texts built from them.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "flow/otp_layout.h"

namespace {

struct Tables {
  std::vector<std::uint8_t> vd = std::vector<std::uint8_t>(80, 0x00);
  std::vector<std::uint8_t> ecc = std::vector<std::uint8_t>(64, 0x00);
  void Vd(int index, std::vector<std::uint8_t> bytes) { std::copy(bytes.begin(), bytes.end(), vd.begin() + 5 * index); }
  void Ecc(int number, std::vector<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), ecc.begin() + 4 * (number - 1));
  }
  otp::Usage Usage() const { return otp::ComputeUsage(vd.data(), ecc.data()); }
};

TEST(OtpLayout, UsageCountsTheNewestValidEntryAndTheFreeOnes) {
  Tables t;
  EXPECT_EQ(t.Usage().used, 0u);
  EXPECT_EQ(t.Usage().free, 16224u);
  EXPECT_EQ(t.Usage().freeEntries, 16);

  t.Vd(0, {0x00, 0x00, 0x01, 0x23, 0xFF});  // retired: still occupies its space
  t.Vd(1, {0x01, 0x23, 0x00, 0x6A, 0xAA});
  t.Vd(2, {0x01, 0x8D, 0x01, 0x00, 0x55});  // repaired by the ECC table: not valid
  t.Ecc(3, {0x3F, 0x7E, 0x01, 0x5A});
  const otp::Usage usage = t.Usage();
  EXPECT_EQ(usage.newest, 1);
  EXPECT_EQ(usage.used, 0x18Du);
  EXPECT_EQ(usage.free, 16224u - 0x18D);
  EXPECT_EQ(usage.freeEntries, 13);

  t.Ecc(3, {0x3F, 0x7E, 0x01, 0xFF});  // the repair retired: the entry counts again
  EXPECT_EQ(t.Usage().used, 0x28Du);
}

TEST(OtpLayout, UsageTexts) {
  otp::Usage usage;
  usage.used = 1024;
  usage.free = 16224 - 1024;
  usage.freeEntries = 3;
  EXPECT_EQ(otp::UsageText(usage), "Used OTP Space: 1.00 KB, Remain OTP Space: 14.84 KB.");
  EXPECT_EQ(otp::UsageText(usage, {4096, 1}),
            "Used OTP Space: 1.00 KB Free OTP Space: 14.84 KB Remaining Programmable Times: 3.");
  EXPECT_EQ(otp::UsageLines(usage, {8192, 1}),
            "Used OTP Space: 1.00 KB\nFree OTP Space: 14.84 KB\nRemaining Programmable Times: 1.");
  EXPECT_EQ(otp::RemainingTimes(usage, {}), 0);
}

TEST(OtpLayout, EachDownloadTakesAVdEntryForEachOfItsBlocks) {
  otp::Usage usage;
  usage.free = 16224;
  for (const auto& [entries, blocks, bytes, times] :
       {std::tuple{16, 2, 1000, 8}, {16, 1, 1000, 16}, {3, 2, 100, 1}, {1, 2, 100, 0}, {16, 2, 4000, 4}}) {
    usage.freeEntries = entries;
    EXPECT_EQ(otp::RemainingTimes(usage, {std::uint32_t(bytes), blocks}), times)
        << entries << " free entries, " << blocks << " blocks of " << bytes << " bytes";
  }
}

TEST(OtpLayout, TheUsedSpaceEndsWithTheBlockThatEndsLast) {
  Tables t;
  t.Vd(0, {0x01, 0x23, 0x00, 0x6A, 0xAA});  // a download's configuration block, recorded first
  t.Vd(1, {0x00, 0x00, 0x01, 0x23, 0x55});  // and its code block in front of it
  EXPECT_EQ(t.Usage().newest, 1);
  EXPECT_EQ(t.Usage().used, 0x18Du);
}

}  // namespace
