#include "flow/device_identity.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceIdentity, BootRomFamily) {
  struct Case {
    std::uint8_t lo, hi;
    bool family;
  };
  const Case cases[] = {
      {0x10, 0x10, true},  {0x13, 0xB0, true},  {0x11, 0xD0, true}, {0x50, 0x80, true},
      {0x10, 0x70, true},  {0x11, 0x70, false}, {0x56, 0xFF, true}, {0x10, 0x30, false},
      {0x00, 0x00, false}, {0x10, 0xF0, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsBootRomFamily({c.lo, c.hi}), c.family) << std::hex << int(c.hi) << " " << int(c.lo);
}

TEST(DeviceIdentity, ChipIdForms) {
  const ChipId id{0x13, 0xB7};
  EXPECT_EQ(id.Masked(), 0xB010);
  EXPECT_EQ(id.Raw(), 0xB713);
  EXPECT_EQ(id.Code(), 0xB013);
  EXPECT_EQ(ModeByteAddress({0x10, 0x71}), 0xC2A6);
  EXPECT_EQ(ModeByteAddress({0x10, 0x70}), 0xC2A8);
}

TEST(DeviceIdentity, ModeTexts) {
  EXPECT_STREQ(ModeText(0), "ROM");
  EXPECT_STREQ(ModeText(8), "SPI");
  EXPECT_STREQ(ModeText(16), "ROM&&OTP");
  EXPECT_STREQ(ModeText(24), "SPI&&OTP");
  EXPECT_STREQ(ModeText(32), "ROM&&SPI");
  EXPECT_STREQ(ModeText(0x40), "Unknown");
}

std::array<std::uint8_t, 104> Status(std::uint8_t formatA, std::uint8_t formatB) {
  std::array<std::uint8_t, 104> s{};
  s[0x40] = formatA;
  s[0x48] = formatB;
  return s;
}

TEST(DeviceIdentity, StatusLayoutAndFormat) {
  EXPECT_EQ(StatusFormatOffset(Status(0x30, 0x21).data()), 0x48u);  // A's sub-type 0, B's not 0 or B
  EXPECT_EQ(StatusFormat(Status(0x30, 0x21).data()), 1);
  EXPECT_EQ(StatusFormatOffset(Status(0x30, 0x2B).data()), 0x40u);
  EXPECT_EQ(StatusFormat(Status(0x30, 0x2B).data()), 2);
  EXPECT_EQ(StatusFormat(Status(0x31, 0x21).data()), 2);
  EXPECT_EQ(StatusFormat(Status(0x51, 0x00).data()), 0);
}

TEST(DeviceIdentity, CacheModeByChip) {
  const auto s = Status(0x21, 0x00);
  EXPECT_TRUE(RunsFromCache(s.data(), {0x10, 0x10}, 8));  // other chips: the mode byte
  EXPECT_FALSE(RunsFromCache(s.data(), {0x10, 0x10}, 0));
  EXPECT_TRUE(RunsFromCache(s.data(), {0x00, 0x00}, 0));  // 0 and 0x7010: the sub-type
  EXPECT_FALSE(RunsFromCache(Status(0x22, 0).data(), {0x10, 0x70}, 8));
}

TEST(DeviceIdentity, IdentityTextsByFormat) {
  auto s = Status(0x31, 0x00);  // format 2
  s[79] = 0x41;
  s[78] = 0x19;
  s[77] = 0x00;
  s[76] = 0x00;
  s[83] = 0x00;
  s[82] = 0x00;
  s[81] = 0x00;
  s[80] = 0x07;
  VersionFields v{};
  EXPECT_EQ(IdentityText(s.data(), 8, nullptr, 0x3C5A, 0x2230, true, &v), "4.119.0000-0000.0007-VID3C5A&&PID2230");
  EXPECT_EQ(v, (VersionFields{4, 1, 0x19, 0, 0, 7}));
  EXPECT_EQ(IdentityText(s.data(), 8, nullptr, 0, 0, false), "4.119.0000-0000.0007");

  auto f1 = Status(0x21, 0x00);
  f1[77] = 0x12;
  f1[76] = 0x34;
  f1[79] = 0x56;
  f1[78] = 0x78;
  EXPECT_EQ(IdentityText(f1.data(), 8, nullptr, 0x1, 0x2, true), "0x1234-5678-VID0001&&PID0002");

  auto f0 = Status(0x01, 0x00);
  f0[0x43] = 0xAB;
  f0[0x46] = 0xCD;
  f0[0x47] = 0xEF;
  f0[5] = 0x01;
  f0[4] = 0x02;
  EXPECT_EQ(IdentityText(f0.data(), 8, nullptr, 0, 0, false), "0xAB-CDEF-0102");

  std::array<std::uint8_t, 32> t{};
  t[12] = 0x52;
  t[13] = 0x03;
  t[15] = 0x01;
  t[17] = 0x02;
  t[19] = 0x03;
  EXPECT_EQ(IdentityText(f0.data(), 0x18, t.data(), 0, 0, false), "5.203.0001-0002.0003");
}

}  // namespace
