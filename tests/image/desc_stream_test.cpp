// The record stream of configuration areas: reading, walking, rewriting.
#include <gtest/gtest.h>

#include "image/desc_factory.h"
#include "image/desc_fixed.h"
#include "image/desc_stream.h"
#include "image/desc_variable.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes WithErasedTail(Bytes area, std::size_t tail = 32) {
  area.insert(area.end(), tail, 0xFF);
  return area;
}

// Header for family f with the given total length and record count.
Bytes Header(std::uint8_t family, std::uint16_t total, std::uint8_t count, std::uint8_t kind = 0x30) {
  return {kind, 0xA5, std::uint8_t((family << 3) | 2), std::uint8_t(total), std::uint8_t(total >> 8), count};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

struct Walked {
  bool ok = false;
  std::vector<std::uint8_t> types;
  std::size_t corruptAt = 0;
};

Walked WalkAll(CDescStream& s) {
  Walked w;
  w.ok = s.Walk([&](const CDescStream::RecordSeen& seen) { w.types.push_back(seen.record.Type()); }, &w.corruptAt);
  return w;
}

TEST(DescStream, ReadsHeaderAndLeadingRecordsOfTheReferenceArea) {
  const Bytes area = WithErasedTail(
      {0x30, 0xA5, 0x8A, 0x0F, 0x00, 0x02, 0x06, 0x2F, 0x10, 0x22, 0x5C, 0x10, 0x03, 0x08, 0xD2});
  CDescStream s;
  const CDescGlobal h = s.OpenArea(area);
  EXPECT_TRUE(h.Valid());
  EXPECT_EQ(h.storageKind, 0x30);
  EXPECT_EQ(h.family, 17);
  EXPECT_EQ(h.partCode, 2);
  EXPECT_EQ(h.totalLength, 15);
  EXPECT_EQ(h.recordCount, 2);
  EXPECT_TRUE(s.Leading().hasHwAp);
  EXPECT_EQ(s.Leading().hwVersion, 0x2210);
  EXPECT_EQ(s.Leading().apVersion, 0x105C);
  EXPECT_TRUE(s.Leading().hasEep);
  EXPECT_EQ(s.Leading().eep, 0xD2);
  EXPECT_FALSE(s.Leading().hasForceUpdate);
  EXPECT_EQ(s.RemainingCount(), 0);
  const Walked w = WalkAll(s);
  EXPECT_TRUE(w.ok);
  EXPECT_TRUE(w.types.empty());
  EXPECT_EQ(s.Cursor(), 15u);
}

TEST(DescStream, RecordBeyondTotalLengthIsSkippedOnlyWhileTheCountAllows) {
  const Bytes leading = {0x06, 0x2F, 0x10, 0x22, 0x5C, 0x10, 0x03, 0x08, 0xD2};
  const Bytes extra = {0x03, 0x63, 0x00};
  for (std::uint8_t count : {2, 3}) {
    CDescStream s;
    s.OpenArea(WithErasedTail(Cat({Header(17, 15, count), leading, extra})));
    const Walked w = WalkAll(s);
    EXPECT_TRUE(w.ok) << int(count);
    EXPECT_TRUE(w.types.empty());
    EXPECT_EQ(s.Cursor(), count == 3 ? 18u : 15u);
  }
}

TEST(DescStream, BankCopyIsLeadingOnlyForFamilies25And26) {
  const Bytes records = {0x06, 0x2F, 0x40, 0x22, 0x60, 0x10, 0x03, 0x14, 0x5A, 0x03, 0x15, 0x50};
  {
    CDescStream s;
    s.OpenArea(WithErasedTail(Cat({Header(25, 18, 3), records})));
    EXPECT_TRUE(s.Leading().hasBankCopy);
    EXPECT_EQ(s.Leading().bankCopy, 0x5A);
    EXPECT_EQ(s.Leading().forceUpdate, 0x50);
  }
  CDescStream s;
  s.OpenArea(WithErasedTail(Cat({Header(21, 18, 3), records})));
  EXPECT_FALSE(s.Leading().hasBankCopy);
  EXPECT_FALSE(s.Leading().hasForceUpdate);  // not next after the HW/AP record
  const auto record = s.NextRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->Type(), 0x14);
  EXPECT_NE(dynamic_cast<CDescDummy*>(record.get()), nullptr);
}

TEST(DescStream, RecordClassDependsOnFamily) {
  struct Case {
    std::uint8_t type, family;
    const char* cls;
  };
  const Case cases[] = {{14, 17, "CDescDummy"},    {14, 24, "CDescSLB"},       {14, 21, "CDescSLB"},
                        {8, 17, "CDescI2S0_2210"}, {8, 21, "CDescDummy"},      {4, 26, "CDescVIDPID"},
                        {39, 24, "CDescSmallCachecode"}, {39, 17, "CDescDummy"}, {64, 25, "CDescDummy"},
                        {33, 17, "CDescI2SCodecSuspendSetting"}, {200, 21, "CDescDummy"}};
  for (const Case& c : cases) {
    EXPECT_EQ(DescriptorClassName(c.type, c.family), c.cls) << int(c.type) << "/" << int(c.family);
    EXPECT_EQ(CreateDescriptor(c.type, c.family)->Type(), c.type);
  }
  EXPECT_NE(dynamic_cast<CDescSLB*>(CreateDescriptor(14, 24).get()), nullptr);
}

TEST(DescStream, DefaultsOfNewRecords) {
  CDescUACTop top;
  EXPECT_EQ(top.Field("wUAVVersion"), 0x0100u);
  EXPECT_EQ(top.Field("byU2PhySensitivity"), 8u);
  EXPECT_EQ(top.Field("wPID"), 0x2230u);
  EXPECT_EQ(top.Field("JD1_PlugIn"), 1u);
  EXPECT_EQ(top.Field("GPIO_AL0_JD"), 0u);
  CDescInterUartInfo uart;
  EXPECT_EQ(uart.Field("dwBaudRate"), 3168000u);
  CDescSLB slb;
  EXPECT_EQ(slb.Field("dwHSTstCnt"), 512u);
  EXPECT_EQ(slb.Field("wHSDlyTime"), 1u);
  CDescI2S1_2210 i2s1;
  EXPECT_EQ(i2s1.Field("wSampleRate"), 16000u);
  EXPECT_EQ(CDescEPGInfo().Field("wTerminalType"), 0x0301u);
  EXPECT_FALSE(CDescEPGInfo().Field("bySupportLoudness"));
}

TEST(DescStream, SerialisationKeepsAdjustedFieldsInRange) {
  struct Case {
    std::uint32_t in, out;
  };
  for (const Case c : {Case{0, 1}, Case{20, 15}, Case{8, 8}}) {
    CDescUACTop top;
    top.SetField("byU2PhySensitivity", c.in);
    Bytes out;
    ASSERT_TRUE(top.Serialize(out));
    ASSERT_EQ(out.size(), 18u);
    EXPECT_EQ(out[2 + 6], c.out) << c.in;
  }
  for (const Case c : {Case{1, 2}, Case{200, 127}, Case{0x49, 0x49}}) {
    CDescInterCodecInfo codec;
    codec.SetField("byGBtnDetectWinCtl", c.in);
    Bytes out;
    ASSERT_TRUE(codec.Serialize(out));
    EXPECT_EQ(out[2 + 6], c.out) << c.in;
  }
}

TEST(DescStream, ShortOrLongRecordIsDecodedWithTheClassLayout) {
  // A 6-byte VID/PID record: the revision keeps its default; the cursor
  // moves by the record's own length.
  const Bytes area = Cat({Header(21, 6 + 6 + 3, 2), {0x06, 0x04, 0x5A, 0x3C, 0x30, 0x22}, {0x03, 0x15, 0x00}});
  CDescStream s;
  s.OpenArea(WithErasedTail(area));
  const auto r = s.NextRecord();
  auto* vp = dynamic_cast<CDescVIDPID*>(r.get());
  ASSERT_NE(vp, nullptr);
  EXPECT_EQ(vp->Field("wVID"), 0x3C5Au);
  EXPECT_EQ(vp->Field("wPID"), 0x2230u);
  EXPECT_EQ(vp->Field("wRevID"), 0u);
  EXPECT_EQ(s.Cursor(), 12u);
}

TEST(DescStream, CorruptRecordsAreRejectedNotShortened) {
  Bytes longString = {58, 0x01, 56, 0x03};
  longString.insert(longString.end(), 54, 'x');
  Bytes bigCode = {0xFF, 0xE7, 0x09, 0x20, 0x0E, 0x00, 0x01, 0x20};  // 8193 code bytes
  struct Case {
    const char* what;
    std::uint8_t family;
    Bytes record;
  };
  const Case cases[] = {
      {"string of 54 bytes", 21, longString},
      {"inner string length past the record", 21, {0x06, 0x03, 0x10, 0x03, 'a', 'b'}},
      {"small cache code over 8192 bytes", 24, bigCode},
      {"long-form command list of 256 bytes", 17, {0x00, 0x40 | 27}},
      {"record shorter than its header", 21, {0x00, 0x04}},
      {"code outside the area", 21, {0x06, 0x0F, 0x00, 0xFF, 0x10, 0x00}},
  };
  for (const Case& c : cases) {
    Bytes area = Cat({Header(c.family, std::uint16_t(6 + c.record.size()), 1), c.record});
    area.resize(0x2100, 0xFF);
    CDescStream s;
    s.OpenArea(area);
    const Walked w = WalkAll(s);
    EXPECT_FALSE(w.ok) << c.what;
    EXPECT_EQ(w.corruptAt, 6u) << c.what;
  }
}

TEST(DescStream, RecordRunningPastTheAreaEndsTheWalkAsCorruptWhileRecordsAreMissing) {
  const Bytes area = Cat({Header(21, 40, 1), {0x20, 0x04, 0x00}});  // says 32 bytes, area has 9
  CDescStream s;
  s.OpenArea(area);
  const Walked w = WalkAll(s);
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(s.RemainingCount(), 1);
}

TEST(DescStream, StringRecordsRoundTrip) {
  CDescStringSN sn;
  ASSERT_TRUE(sn.SetText("SN-0001"));
  EXPECT_FALSE(sn.SetText(std::string(49, 'x')));
  Bytes out;
  ASSERT_TRUE(sn.Serialize(out));
  EXPECT_EQ(out, (Bytes{11, 3, 9, 3, 'S', 'N', '-', '0', '0', '0', '1'}));
  CDescStringSN back;
  ASSERT_TRUE(back.Parse(out));
  EXPECT_EQ(back.Text(), "SN-0001");
}

// Reads `area` and rewrites every record into a buffer of `room` bytes.
int Rewrite(const Bytes& area, Bytes& out) {
  CDescStream in;
  const CDescGlobal h = in.OpenArea(area);
  CDescStream w;
  w.BeginRewrite(h, in.Leading());
  int ok = 1;
  in.Walk([&](const CDescStream::RecordSeen& seen) { ok &= w.AppendRecord(seen.record); });
  return ok && w.FinishRewrite(out);
}

TEST(DescStream, RewritePlacesCodeAfterTheLastRecord) {
  // Code-information record first, then a VID/PID record; code at 0x20.
  Bytes area = Cat({Header(21, 6 + 6 + 6 + 8, 3),
                    {0x06, 0x2F, 0x30, 0x22, 0x00, 0x00},
                    {0x06, 0x0F, 0x20, 0x00, 0x04, 0x00},
                    {0x08, 0x04, 0x5A, 0x3C, 0x30, 0x22, 0x00, 0x01}});
  area.resize(0x20, 0xFF);
  area.insert(area.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  area.resize(64, 0xFF);

  Bytes out(256, 0xFF);
  ASSERT_TRUE(Rewrite(area, out));
  // HW/AP (AP 0 in the source becomes 0x1060), code information, VID/PID.
  const Bytes expected = {0x30, 0xA5, 0xAA, 26,   0x00, 3,    0x06, 0x2F, 0x30, 0x22, 0x60, 0x10, 0x06,
                          0x0F, 26,   0x00, 0x04, 0x00, 0x08, 0x04, 0x5A, 0x3C, 0x30, 0x22, 0x00, 0x01,
                          0xDE, 0xAD, 0xBE, 0xEF, 0xFF};
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 31), expected);

  CDescStream again;
  again.OpenArea(out);
  auto first = again.NextRecord();
  auto* info = dynamic_cast<CDescCodeInfo*>(first.get());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(Bytes(info->Code().begin(), info->Code().end()), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(DescStream, RewriteNeeds128BytesOfRoomBeyondTheArea) {
  for (std::size_t codeLength : {110u, 111u}) {  // area 6 + 6 + 6 = 18, so 128 and 129 bytes
    CDescStream w;
    w.BeginRewrite(CDescGlobal::Decode(Header(21, 0, 0)), {});
    CDescCodeInfo info;
    ASSERT_TRUE(info.SetCode(Bytes(codeLength, 0x11)));
    ASSERT_TRUE(w.AppendRecord(info));
    EXPECT_EQ(w.RewriteSize(), 18 + codeLength);
    Bytes room(256, 0xEE);
    EXPECT_EQ(w.FinishRewrite(room), codeLength == 110 ? 1 : 0);
    if (codeLength == 111) {
      EXPECT_EQ(room, Bytes(256, 0xEE));
    }
  }
}

TEST(DescStream, RewriteOfCodeRecordWithoutCodeFails) {
  CDescStream w;
  w.BeginRewrite(CDescGlobal::Decode(Header(24, 0, 0)), {});
  EXPECT_EQ(w.AppendRecord(CDescCodeInfo()), 0);
  EXPECT_EQ(w.AppendRecord(CDescSmallCachecode()), 0);
}

TEST(DescStream, SmallCacheCodeIsWrittenInlineWithItsOwnOffset) {
  LeadingRecords leading;
  leading.hasForceUpdate = true;
  leading.forceUpdate = 0x10;
  CDescStream w;
  w.BeginRewrite(CDescGlobal::Decode(Header(24, 0, 0, 0x60)), leading);
  CDescSmallCachecode scc;
  ASSERT_TRUE(scc.SetCode(Bytes{0x02, 0x00, 0x03}));
  ASSERT_TRUE(w.AppendRecord(scc));
  Bytes out(256, 0xFF);
  ASSERT_TRUE(w.FinishRewrite(out));
  // Header, HW/AP 0x2232, force update, then FF E7 0B 00 | offset 0x15 | 3 | code.
  const Bytes expected = {0x60, 0xA5, 0xC2, 0x1A, 0x00, 0x03, 0x06, 0x2F, 0x32, 0x22, 0x60, 0x10,
                          0x03, 0x15, 0x10, 0xFF, 0xE7, 0x0B, 0x00, 0x17, 0x00, 0x03, 0x00, 0x02,
                          0x00, 0x03};
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 26), expected);

  CDescStream in;
  in.OpenArea(out);
  EXPECT_EQ(in.Leading().forceUpdate, 0x10);
  const auto r = in.NextRecord();
  auto* back = dynamic_cast<CDescSmallCachecode*>(r.get());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(Bytes(back->Code().begin(), back->Code().end()), (Bytes{0x02, 0x00, 0x03}));
  EXPECT_EQ(in.Cursor(), 26u);
}

TEST(DescStream, UnknownRecordsAndCommandListsAreCarriedOverUnchanged) {
  const Bytes records = {0x06, 0x2F, 0x10, 0x22, 0x60, 0x10, 0x05, 0x63, 0x01, 0x02, 0x03,
                         0x07, 27,   0xAA, 0xBB, 0xCC, 0x00, 0x64};
  const Bytes area = Cat({Header(17, std::uint16_t(6 + records.size()), 3), records});
  Bytes out(256, 0xFF);
  ASSERT_TRUE(Rewrite(WithErasedTail(area), out));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + std::ptrdiff_t(area.size())), area);
}

}  // namespace
