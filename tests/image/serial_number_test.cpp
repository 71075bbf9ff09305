// The serial number written into the configuration area of an image: which
// record takes it, the bytes of the rebuilt area, the marker and the tag, and
// every case that must leave the image alone.
#include "image/serial_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

// Family 21: HW/AP 0x2230/0x1060 and force update 0x50, the leading records
// every rebuild writes back the same.
const Bytes kLeading = {0x06, 0x2F, 0x30, 0x22, 0x60, 0x10, 0x03, 0x15, 0x50};
const Bytes kVidPid = {0x08, 0x04, 0x5A, 0x3C, 0x30, 0x22, 0x00, 0x01};
const Bytes kManufacturer = Join({{0x13, 0x01, 0x11, 0x03}, Text("Tessaload Audio")});
const Bytes kSerial42 = {0x06, 0x03, 0x04, 0x03, '4', '2'};

// Storage kind 0x30, total 0x30, five records: manufacturer, serial "42", IDs.
const Bytes kArea = Join({{0x30, 0xA5, 0xAA, 0x30, 0x00, 0x05}, kLeading, kManufacturer, kSerial42, kVidPid});
// The same without the serial-number record.
const Bytes kAreaNoSerial = Join({{0x30, 0xA5, 0xAA, 0x2A, 0x00, 0x04}, kLeading, kManufacturer, kVidPid});

constexpr std::size_t kConfigAddress = 0xF000;
constexpr std::size_t kTagAddress = 0xEFFE;
const ConfigPlacement kFlash{kConfigAddress, 0x1000, true, kTagAddress};

// A 68 KB flash image: LJMP at 0, the area at 0xF000, no tag yet, and bytes
// behind the area's 4 KB window that a rebuild must not touch.
Bytes FlashImage(const Bytes& area) {
  Bytes image(0x11000, 0xFF);
  image[0] = 0x02;
  image[1] = 0x01;
  std::fill(image.begin() + 0x10000, image.end(), 0x5A);
  std::copy(area.begin(), area.end(), image.begin() + kConfigAddress);
  return image;
}

SerialNumberRequest Request(std::string serial, bool serialRecord = false, bool prefix = false) {
  return {std::move(serial), serialRecord, prefix};
}

Bytes AreaOf(const Bytes& image, std::size_t at, std::size_t n) {
  return Bytes(image.begin() + std::ptrdiff_t(at), image.begin() + std::ptrdiff_t(at + n));
}

// Checks the rebuilt flash image byte for byte: unchanged before the tag and
// behind the window, the tag, the expected area, 0xFF up to the window's end.
void ExpectFlashImage(const SerialNumberResult& r, const Bytes& before, const Bytes& area) {
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.image.size(), before.size());
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + kTagAddress, r.image.begin()));
  EXPECT_EQ(r.image[kTagAddress], 0x55);
  EXPECT_EQ(r.image[kTagAddress + 1], 0xAA);
  EXPECT_EQ(AreaOf(r.image, kConfigAddress, area.size()), area);
  const auto rest = r.image.begin() + std::ptrdiff_t(kConfigAddress + area.size());
  EXPECT_TRUE(std::all_of(rest, r.image.begin() + 0x10000, [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(before.begin() + 0x10000, before.end(), r.image.begin() + 0x10000));
  EXPECT_EQ(r.configLength, area[3]);
  EXPECT_EQ(r.areaBytes, area.size());
}

// The manufacturer record by default (the area shrinks; the function
// character does not apply to it), the serial-number record with or without
// the function character, and a serial-number record added after the last
// record when the area has none.
TEST(SerialNumber, RecordsThatTakeTheSerialNumber) {
  const Bytes sn0001 = Text("SN0001");
  struct Case {
    const char* name;
    const Bytes& area;
    SerialNumberRequest request;
    Bytes expected;
    std::uint8_t lengthByte;
  };
  const Case cases[] = {
      {"manufacturer", kArea, Request("SN0001"),
       Join({{0x55, 0xA5, 0xAA, 0x27, 0x00, 0x05}, kLeading, {0x0A, 0x01, 0x08, 0x03}, sn0001, kSerial42, kVidPid}),
       8},
      {"manufacturer, the function character left out", kArea, Request("SN0001", false, true),
       Join({{0x55, 0xA5, 0xAA, 0x27, 0x00, 0x05}, kLeading, {0x0A, 0x01, 0x08, 0x03}, sn0001, kSerial42, kVidPid}),
       8},
      {"serial number", kArea, Request("SN0001", true),
       Join({{0x55, 0xA5, 0xAA, 0x34, 0x00, 0x05}, kLeading, kManufacturer, {0x0A, 0x03, 0x08, 0x03}, sn0001,
             kVidPid}),
       8},
      {"serial number after 0x07", kArea, Request("SN0001", true, true),
       Join({{0x55, 0xA5, 0xAA, 0x35, 0x00, 0x05}, kLeading, kManufacturer, {0x0B, 0x03, 0x09, 0x03, 0x07}, sn0001,
             kVidPid}),
       9},
      {"serial number added", kAreaNoSerial, Request("SN0001", true),
       Join({{0x55, 0xA5, 0xAA, 0x34, 0x00, 0x05}, kLeading, kManufacturer, kVidPid, {0x0A, 0x03, 0x08, 0x03},
             sn0001}),
       8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes image = FlashImage(c.area);
    const SerialNumberResult r = WriteSerialNumber(image, kFlash, c.request);
    ExpectFlashImage(r, image, c.expected);
    EXPECT_EQ(r.lengthByte, c.lengthByte);
    EXPECT_EQ(r.characters, c.lengthByte - 2u);
  }
}

// A rebuild changes only the record that takes the serial number: records of
// known types longer or shorter than their class (VID/PID of 10 and 6 bytes)
// and a string record with bytes past its string keep every byte.
TEST(SerialNumber, EveryOtherRecordKeepsItsBytes) {
  const Bytes longVidPid = {0x0A, 0x04, 0x5A, 0x3C, 0x30, 0x22, 0x00, 0x01, 0xC3, 0x7E};
  const Bytes shortVidPid = {0x06, 0x04, 0x5A, 0x3C, 0x30, 0x22};
  const Bytes productWithTail = Join({{0x09, 0x02, 0x05, 0x03}, Text("Box"), {0xE1, 0xE2}});
  for (const Bytes& kept : {longVidPid, shortVidPid, productWithTail}) {
    const Bytes records = Join({kManufacturer, kept});
    const Bytes area = Join({{0x30, 0xA5, 0xAA, std::uint8_t(6 + kLeading.size() + records.size()), 0x00, 0x04},
                             kLeading, records});
    const Bytes image = FlashImage(area);
    const SerialNumberResult r = WriteSerialNumber(image, kFlash, Request("SN0001"));
    const Bytes expected = Join({{0x55, 0xA5, 0xAA, std::uint8_t(6 + kLeading.size() + 10 + kept.size()), 0x00, 0x04},
                                 kLeading, {0x0A, 0x01, 0x08, 0x03}, Text("SN0001"), kept});
    ExpectFlashImage(r, image, expected);
  }
}

TEST(SerialNumber, FortyEightCharactersFitTheRecord) {
  const std::string serial(48, 'Z');
  const SerialNumberResult r = WriteSerialNumber(FlashImage(kArea), kFlash, Request(serial));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.lengthByte, 50);
  EXPECT_EQ(AreaOf(r.image, kConfigAddress + 15, 4), Bytes({52, 0x01, 50, 0x03}));
  EXPECT_EQ(AreaOf(r.image, kConfigAddress + 19, 48), Text(serial));
}

// The marker 0x55 replaces flash storage kinds only; an EEPROM area keeps its
// kind, which selects the memory type when the image is read again.
TEST(SerialNumber, MarkerOnlyForFlashStorageKinds) {
  const std::pair<std::uint8_t, std::uint8_t> kinds[] = {{0x30, 0x55}, {0x55, 0x55}, {0x61, 0x55},
                                                          {0x11, 0x11}, {0x12, 0x12}, {0x40, 0x40}};
  for (const auto& [kind, written] : kinds) {
    Bytes area = kArea;
    area[0] = kind;
    const SerialNumberResult r = WriteSerialNumber(FlashImage(area), kFlash, Request("SN0001"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.image[kConfigAddress], written) << std::hex << int(kind);
    EXPECT_EQ(r.image[kTagAddress], 0x55);
  }
}

// A configuration-only OTP area: no tag, its storage kind kept, and the small
// cache code behind the serial-number record moves with its offset field.
TEST(SerialNumber, ConfigurationOnlyAreaMovesItsInlineCode) {
  const Bytes area = {0x60, 0xA5, 0xAA, 0x1E, 0x00, 0x03, 0x06, 0x2F, 0x30, 0x22, 0x60, 0x10,
                      0x06, 0x03, 0x04, 0x03, '4',  '2',  0xFF, 0xE7, 0x0C, 0x00, 0x1A, 0x00,
                      0x04, 0x00, 0x02, 0x00, 0x03, 0x00};
  const Bytes expected = {0x60, 0xA5, 0xAA, 0x22, 0x00, 0x03, 0x06, 0x2F, 0x30, 0x22, 0x60, 0x10,
                          0x0A, 0x03, 0x08, 0x03, 'S',  'N',  '0',  '0',  '0',  '1',  0xFF, 0xE7,
                          0x0C, 0x00, 0x1E, 0x00, 0x04, 0x00, 0x02, 0x00, 0x03, 0x00};
  Bytes image(0x1000, 0xFF);
  std::copy(area.begin(), area.end(), image.begin());
  const SerialNumberResult r = WriteSerialNumber(image, {0, 0x1000, false, kTagAddress}, Request("SN0001", true));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.image.size(), image.size());
  EXPECT_EQ(AreaOf(r.image, 0, expected.size()), expected);
  EXPECT_TRUE(std::all_of(r.image.begin() + std::ptrdiff_t(expected.size()), r.image.end(),
                          [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(r.areaBytes, expected.size());
}

// An EEPROM area whose code-information record points at code behind the
// records: the code follows the grown records and the offset says where.
TEST(SerialNumber, CodeBehindTheRecordsFollowsThem) {
  const Bytes area = {0x11, 0xA5, 0xAA, 0x18, 0x00, 0x03, 0x06, 0x2F, 0x30, 0x22, 0x60, 0x10, 0x06, 0x0F,
                      0x18, 0x00, 0x03, 0x00, 0x06, 0x03, 0x04, 0x03, '4',  '2',  0xAA, 0xBB, 0xCC};
  const Bytes expected = {0x11, 0xA5, 0xAA, 0x1C, 0x00, 0x03, 0x06, 0x2F, 0x30, 0x22, 0x60,
                          0x10, 0x06, 0x0F, 0x1C, 0x00, 0x03, 0x00, 0x0A, 0x03, 0x08, 0x03,
                          'S',  'N',  '0',  '0',  '0',  '1',  0xAA, 0xBB, 0xCC};
  Bytes image(0x100, 0xFF);
  std::copy(area.begin(), area.end(), image.begin());
  const SerialNumberResult r = WriteSerialNumber(image, {0, 0x200, false, 0}, Request("SN0001", true));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(AreaOf(r.image, 0, expected.size()), expected);
  EXPECT_EQ(r.configLength, 0x1C);
  EXPECT_EQ(r.areaBytes, expected.size());
}

TEST(SerialNumber, RefusalsLeaveTheImageAlone) {
  Bytes countHigh = kArea;
  countHigh[5] = 6;
  Bytes countLow = kArea;
  countLow[5] = 4;
  Bytes shortTotal = kArea;
  shortTotal[3] = 0x2C;  // ends inside the ID record
  Bytes corrupt = kArea;
  corrupt[15] = 0x01;  // the manufacturer record shorter than its header
  struct Case {
    const char* name;
    Bytes area;
    ConfigPlacement placement;
    SerialNumberRequest request;
    const char* error;
  };
  const Case cases[] = {
      {"49 characters", kArea, kFlash, Request(std::string(49, '1')), "needs 49 characters"},
      {"48 and the function character", kArea, kFlash, Request(std::string(48, '1'), true, true),
       "needs 49 characters"},
      {"no serial number", kArea, kFlash, Request(""), "no serial number"},
      {"not ASCII", kArea, kFlash, Request("SN\xC3\xA9"), "byte 0xC3"},
      {"control character", kArea, kFlash, Request("SN\n1"), "byte 0x0A"},
      {"no manufacturer record", Join({{0x30, 0xA5, 0xAA, 0x17, 0x00, 0x03}, kLeading, kVidPid}), kFlash,
       Request("SN0001"), "no manufacturer record"},
      {"area outgrows ConfigSize", kArea, {kConfigAddress, 0xA6, true, kTagAddress}, Request("SN0001"),
       "the room is 166 bytes"},
      {"header counts too many", countHigh, kFlash, Request("SN0001"), "counts 6 records, the area holds 5"},
      {"header counts too few", countLow, kFlash, Request("SN0001"), "counts 4 records, the area holds 5"},
      {"total length cuts a record", shortTotal, kFlash, Request("SN0001"), "total length is 0x2C"},
      {"corrupt record", corrupt, kFlash, Request("SN0001"), "offset 0xF is corrupt"},
      {"no header there", kArea, {kConfigAddress + 1, 0x1000, true, kTagAddress}, Request("SN0001"),
       "no configuration header"},
      {"no ConfigSize", kArea, {kConfigAddress, 0, true, kTagAddress}, Request("SN0001"), "no ConfigSize"},
      {"area beyond the image", kArea, {0x11000, 0x1000, true, kTagAddress}, Request("SN0001"), "beyond"},
      {"no tag address", kArea, {kConfigAddress, 0x1000, true, 0}, Request("SN0001"), "tag address"},
      {"tag inside the area", kArea, {kConfigAddress, 0x1000, true, kConfigAddress + 0x10}, Request("SN0001"),
       "tag address"},
      {"tag beyond the image", kArea, {kConfigAddress, 0x1000, true, 0x10FFF}, Request("SN0001"), "tag address"},
  };
  for (const Case& c : cases) {
    const SerialNumberResult r = WriteSerialNumber(FlashImage(c.area), c.placement, c.request);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_TRUE(r.image.empty()) << c.name;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
  }
}

TEST(SerialNumber, RecutKeepsWhatFitsAndPadsWithErasedBytes) {
  const Bytes image = {1, 2, 3, 4};
  EXPECT_EQ(RecutImage(image, 2), Bytes({1, 2}));
  EXPECT_EQ(RecutImage(image, 6), Bytes({1, 2, 3, 4, 0xFF, 0xFF}));
  EXPECT_TRUE(RecutImage(image, 0).empty());
}

}  // namespace
