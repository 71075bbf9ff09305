// The user-space proxy: records and URBs run as control transfers on the USB
// host, with status, length and data written back.
#include <gtest/gtest.h>

#include "tests/device/device_fixture.h"

using namespace platform;

namespace {

class Proxy : public ::testing::Test, public DeviceBench {
 protected:
  Proxy() {
    device = host.Add(Node("USB\\VID_3C5A&PID_1A2B\\SN1", "PCIROOT(0)#USB(1)"));
    std::uint32_t error = 0;
    handle = proxy.OpenDeviceFile(device, error);
    EXPECT_EQ(ProxyOpenDevice(channel, handle, token), kErrorSuccess);
  }
  std::uint32_t device, handle;
  DeviceToken token = 0;
};

TEST_F(Proxy, RunsTheUrbAndWritesDataAndLengthBack) {
  host.Answer(device, [](const FakeTransfer& t, std::uint8_t* data, std::uint32_t& moved) {
    EXPECT_EQ(t.requestType, 0xC0);
    EXPECT_EQ(t.request, 0x25);
    EXPECT_EQ(t.value, 0x0102);
    EXPECT_EQ(t.index, 0xFE21);
    EXPECT_EQ(t.timeoutMs, 700u);
    data[0] = 0x5A;
    data[1] = 0xB0;
    moved = 2;
    return kErrorSuccess;
  });
  for (ProxyLayout layout : {ProxyLayout::kNarrow, ProxyLayout::kWide}) {
    channel.layout = layout;
    std::uint8_t buffer[4] = {};
    std::uint32_t moved = 0;
    ASSERT_EQ(VendorDeviceRequest(channel, token, 0xC0, 0x25, 0x0102, 0xFE21, buffer, 4, true, &moved, 700), 0u);
    EXPECT_EQ(moved, 2u);
    EXPECT_EQ(buffer[0], 0x5A);
    EXPECT_EQ(buffer[1], 0xB0);
  }
}

TEST_F(Proxy, BusFailuresReachTheCallerAsTheirErrorNumbers) {
  const std::uint32_t errors[] = {kErrorGenFailure, kErrorDeviceNotConnected, kErrorTimeout, kErrorNotReady};
  for (std::uint32_t error : errors) {
    host.Answer(device, [error](const FakeTransfer&, std::uint8_t*, std::uint32_t&) { return error; });
    std::uint32_t moved = 77;
    std::uint8_t byte = 0;
    EXPECT_EQ(VendorDeviceRequest(channel, token, 0xC0, 0x06, 0, 0, &byte, 1, true, &moved, 5000), error);
    EXPECT_EQ(moved, 77u);  // only set on success
  }
}

TEST_F(Proxy, RefusesUrbsItCannotTrust) {
  host.Answer(device, [](const FakeTransfer&, std::uint8_t*, std::uint32_t&) { return kErrorSuccess; });
  // A class request whose request type claims the vendor type.
  std::uint8_t buffer[8] = {};
  EXPECT_NE(ClassInterfaceRequest(channel, token, 0x40, 0x01, 10, 5, 0, buffer, 8, false, nullptr, 5000),
            kErrorSuccess);
  // A URB address nobody mapped.
  EXPECT_EQ(ProxySubmitUrb(channel, token, 0x00050000, 5000), kErrorInvalidParameter);
  // A token that was released.
  ASSERT_EQ(ProxyCloseDevice(channel, token), kErrorSuccess);
  EXPECT_EQ(VendorDeviceRequest(channel, token, 0x40, 0x10, 0, 0, buffer, 0, false, nullptr, 5000),
            kErrorInvalidHandle);
  EXPECT_TRUE(host.Log().empty());
}

TEST_F(Proxy, DeviceStaysOpenWhileATokenHoldsIt) {
  proxy.CloseDeviceFile(handle);
  EXPECT_EQ(host.OpenDevices(), 1);
  ASSERT_EQ(ProxyCloseDevice(channel, token), kErrorSuccess);
  EXPECT_EQ(host.OpenDevices(), 0);
}

}  // namespace
