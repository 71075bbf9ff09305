// The bytes the program hands to the proxy driver: request records and URBs,
// checked against fixtures written by hand from the structure layouts.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "device/proxy_driver_channel.h"
#include "platform/error_codes.h"

namespace {

std::vector<std::uint8_t> Hex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::string digits;
  for (char c : text)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) bytes.push_back(std::uint8_t(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

// A control device that keeps what it was given and answers a submitted URB
// with a scripted status and length.
class CapturingControlDevice final : public ProxyControlDevice {
 public:
  CapturingControlDevice(ProxyMemory& memory, ProxyLayout layout) : memory_(memory), layout_(layout) {}
  std::uint32_t DeviceControl(std::uint32_t code, std::uint8_t* record, std::size_t size) override {
    codes.push_back(code);
    records.emplace_back(record, record + size);
    if (code == kProxyOpenDeviceCode) {
      // The token words of the open record: 0x11223344'55667788.
      const size_t at = layout_ == ProxyLayout::kWide ? 16 : 8;
      const std::uint8_t token[8] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
      std::copy(token, token + 8, record + at);
    }
    if (code == kProxySubmitUrbCode) {
      ProxyRequestRecord r;
      DecodeRequestRecord(layout_, record, size, r);
      std::uint8_t* urb = memory_.Resolve(r.urbAddress, UrbSize(layout_));
      if (!urb) return platform::kErrorInvalidParameter;
      urbs.emplace_back(urb, urb + UrbSize(layout_));
      WriteUrbResult(layout_, urb, status, length);
    }
    return result;
  }

  std::vector<std::uint32_t> codes;
  std::vector<std::vector<std::uint8_t>> records, urbs;
  std::uint32_t result = platform::kErrorSuccess;
  std::uint32_t status = 0;
  std::uint32_t length = 0;

 private:
  ProxyMemory& memory_;
  ProxyLayout layout_;
};

class ProxyRecords : public ::testing::TestWithParam<ProxyLayout> {
 protected:
  ProxyRecords() {
    channel.layout = GetParam();
    auto device = std::make_unique<CapturingControlDevice>(channel.memory, channel.layout);
    driver = device.get();
    channel.controlDevice = std::move(device);
  }
  bool Wide() const { return GetParam() == ProxyLayout::kWide; }

  ProxyDriverChannel channel;
  CapturingControlDevice* driver;
  std::uint8_t buffer[64] = {};
  static constexpr DeviceToken kToken = 0x1122334455667788ull;
};

TEST_P(ProxyRecords, OpenDeviceRecordCarriesTheHandleAndReturnsTheToken) {
  DeviceToken token = 99;
  ASSERT_EQ(ProxyOpenDevice(channel, 0x24, token), platform::kErrorSuccess);
  EXPECT_EQ(token, kToken);
  EXPECT_EQ(driver->codes, std::vector<std::uint32_t>{0x222C4C});
  EXPECT_EQ(driver->records[0], Hex(Wide() ? "00000000 00000000 24000000 00000000 00000000 00000000"
                                             "00000000 00000000 00000000 00000000"
                                           : "00000000 24000000 00000000 00000000 00000000 00000000"));
}

TEST_P(ProxyRecords, SubmitAndCloseRecordsCarryTokenUrbAndTimeout) {
  std::uint8_t data[8];
  std::uint32_t moved = 0;
  driver->length = 8;
  ASSERT_EQ(VendorDeviceRequest(channel, kToken, 0xC0, 0x07, 0, 0, data, 8, true, &moved, 5000), 0u);
  ASSERT_EQ(ProxyCloseDevice(channel, kToken), 0u);
  EXPECT_EQ(driver->codes, (std::vector<std::uint32_t>{0x222C48, 0x222C44}));
  // The buffer is mapped first (address 0x10000), then the URB (0x20000).
  EXPECT_EQ(driver->records[0], Hex(Wide() ? "00000000 00000000 00000000 00000000 88776655 44332211"
                                             "00000200 00000000 88130000 00000000"
                                           : "00000000 00000000 88776655 44332211 00000200 88130000"));
  EXPECT_EQ(driver->records[1], Hex(Wide() ? "00000000 00000000 00000000 00000000 88776655 44332211"
                                             "00000000 00000000 00000000 00000000"
                                           : "00000000 00000000 88776655 44332211 00000000 00000000"));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ProxyRecords, ::testing::Values(ProxyLayout::kNarrow, ProxyLayout::kWide),
                         [](const auto& info) { return info.param == ProxyLayout::kWide ? "Wide" : "Narrow"; });

// One URB per kind and layout. Buffer address 0x00010000.
struct UrbCase {
  const char* name;
  ProxyLayout layout;
  std::function<std::uint32_t(ProxyDriverChannel&, std::uint8_t*)> call;
  const char* urb;
};

const UrbCase kUrbCases[] = {
    {"ClassGetCurNarrow", ProxyLayout::kNarrow,
     [](ProxyDriverChannel& c, std::uint8_t* b) {
       return ClassInterfaceRequest(c, 1, 0xA1, 0x81, 11, 5, 3, b, 8, true, nullptr, 5000);
     },
     "5000 1B00 00000000 00000000 00000000 00000000 01000000 08000000 00000100"
     "00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"
     "A1 81 000B 0305 0000"},
    {"ClassSetCurWide", ProxyLayout::kWide,
     [](ProxyDriverChannel& c, std::uint8_t* b) {
       return ClassInterfaceRequest(c, 1, 0x21, 0x01, 10, 5, 0, b, 8, false, nullptr, 5000);
     },
     "8800 1B00 00000000 0000000000000000 00000000 00000000 0000000000000000 00000000 08000000"
     "0000010000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "21 01 000A 0005 0000"},
    {"VendorInNarrow", ProxyLayout::kNarrow,
     [](ProxyDriverChannel& c, std::uint8_t* b) {
       return VendorDeviceRequest(c, 1, 0xC0, 0x25, 0x0102, 0xFE21, b, 2, true, nullptr, 5000);
     },
     "5000 1700 00000000 00000000 00000000 00000000 01000000 02000000 00000100"
     "00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"
     "C0 25 0201 21FE 0000"},
    {"VendorOutWide", ProxyLayout::kWide,
     [](ProxyDriverChannel& c, std::uint8_t* b) {
       return VendorDeviceRequest(c, 1, 0x40, 0x24, 0, 0xC3BA, b, 1, false, nullptr, 5000);
     },
     "8800 1700 00000000 0000000000000000 00000000 00000000 0000000000000000 00000000 01000000"
     "0000010000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "40 24 0000 BAC3 0000"},
    {"DeviceDescriptorNarrow", ProxyLayout::kNarrow,
     [](ProxyDriverChannel& c, std::uint8_t* b) { return GetDeviceDescriptor(c, 1, b); },
     "5000 0B00 00000000 00000000 00000000 00000000 00000000 12000000 00000100"
     "00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"
     "0000 00 01 0000 0000"},
    {"ConfigDescriptorWide", ProxyLayout::kWide,
     [](ProxyDriverChannel& c, std::uint8_t* b) { return GetConfigDescriptor(c, 1, b, 9); },
     "8800 0B00 00000000 0000000000000000 00000000 00000000 0000000000000000 00000000 09000000"
     "0000010000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "0000 00 02 0000 0000"},
    {"StringDescriptorNarrow", ProxyLayout::kNarrow,
     [](ProxyDriverChannel& c, std::uint8_t* b) { return GetStringDescriptor(c, 1, b, 64, 3, 0x0409); },
     "5000 0B00 00000000 00000000 00000000 00000000 00000000 40000000 00000100"
     "00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"
     "0000 03 03 0904 0000"},
    {"StringDescriptorWide", ProxyLayout::kWide,
     [](ProxyDriverChannel& c, std::uint8_t* b) { return GetStringDescriptor(c, 1, b, 64, 2, 0x0409); },
     "8800 0B00 00000000 0000000000000000 00000000 00000000 0000000000000000 00000000 40000000"
     "0000010000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "0000000000000000 0000000000000000 0000000000000000 0000000000000000"
     "0000 02 03 0904 0000"},
};

void PrintTo(const UrbCase& c, std::ostream* os) { *os << c.name; }

class UrbGolden : public ::testing::TestWithParam<UrbCase> {};

TEST_P(UrbGolden, BuildsTheUrbByteForByte) {
  const UrbCase& c = GetParam();
  ProxyDriverChannel channel;
  channel.layout = c.layout;
  auto device = std::make_unique<CapturingControlDevice>(channel.memory, c.layout);
  CapturingControlDevice* driver = device.get();
  channel.controlDevice = std::move(device);
  std::uint8_t buffer[64] = {};
  c.call(channel, buffer);
  ASSERT_EQ(driver->urbs.size(), 1u);
  EXPECT_EQ(driver->urbs[0], Hex(c.urb));
}

INSTANTIATE_TEST_SUITE_P(Kinds, UrbGolden, ::testing::ValuesIn(kUrbCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UrbLayout, WideBufferPointerIsSignExtended) {
  ProxyUrb urb;
  urb.function = kUrbFunctionVendorDevice;
  urb.transferBuffer = 0x80001000;
  std::uint8_t bytes[0x88];
  EncodeUrb(ProxyLayout::kWide, urb, bytes);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes + 40, bytes + 48), Hex("00100080 FFFFFFFF"));
  ProxyUrb back;
  ASSERT_TRUE(DecodeUrb(ProxyLayout::kWide, bytes, back));
  EXPECT_EQ(back.transferBuffer, 0x80001000u);
  bytes[47] = 0;  // no longer a sign-extended 32-bit pointer
  EXPECT_FALSE(DecodeUrb(ProxyLayout::kWide, bytes, back));
}

// Every builder, against a driver that accepts the request but reports a
// failed USB status in the URB.
TEST_P(UrbGolden, FailedUrbStatusFailsTheBuilderThoughTheRequestSucceeded) {
  const UrbCase& c = GetParam();
  ProxyDriverChannel channel;
  channel.layout = c.layout;
  auto device = std::make_unique<CapturingControlDevice>(channel.memory, c.layout);
  device->status = kUsbdStatusStallPid;
  device->length = 18;
  channel.controlDevice = std::move(device);
  std::uint8_t buffer[64] = {};
  EXPECT_EQ(c.call(channel, buffer), platform::kErrorGenFailure);
}

TEST(ProxyRequests, FailAtOnceWithoutAControlDevice) {
  ProxyDriverChannel channel;
  DeviceToken token = 5;
  EXPECT_EQ(ProxyOpenDevice(channel, 0x24, token), platform::kErrorPathNotFound);
  EXPECT_EQ(token, 0u);
  EXPECT_NE(ProxyCloseDevice(channel, 1), platform::kErrorSuccess);
  std::uint8_t descriptor[18];
  EXPECT_NE(GetDeviceDescriptor(channel, 1, descriptor), platform::kErrorSuccess);
}

TEST(ProxyRequests, InvalidHandleFailsWithoutARequest) {
  ProxyDriverChannel channel;
  auto device = std::make_unique<CapturingControlDevice>(channel.memory, channel.layout);
  CapturingControlDevice* driver = device.get();
  channel.controlDevice = std::move(device);
  DeviceToken token = 5;
  EXPECT_EQ(ProxyOpenDevice(channel, 0xFFFFFFFF, token), platform::kErrorInvalidParameter);
  EXPECT_EQ(token, 0u);
  EXPECT_TRUE(driver->codes.empty());
}

TEST(ProxyRequests, DescriptorOfTheWrongLengthFails) {
  ProxyDriverChannel channel;
  auto device = std::make_unique<CapturingControlDevice>(channel.memory, channel.layout);
  device->length = 17;
  channel.controlDevice = std::move(device);
  std::uint8_t descriptor[18];
  EXPECT_NE(GetDeviceDescriptor(channel, 1, descriptor), platform::kErrorSuccess);
}

}  // namespace
