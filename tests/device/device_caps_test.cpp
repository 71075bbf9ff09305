// Capabilities of an opened codec, the extension-unit search and the channel
// checks after a reset.
#include <gtest/gtest.h>

#include "device/device_enumeration.h"
#include "tests/device/device_fixture.h"
#include "tests/support/listing_counting_host.h"

using namespace platform;

namespace {

class Caps : public ::testing::Test, public DeviceBench {
 protected:
  Caps() {
    const std::uint32_t root = RootHub("USB\\ROOT_HUB20\\4&B1&0");
    function = Codec(root, "USB\\VID_3C5A&PID_1A2B\\SN7", 1, "00", "Codec", codec);
  }
  void Open() { ASSERT_EQ(OpenDeviceRecord(access, record, function), kErrorSuccess); }
  ~Caps() override { CloseDeviceRecord(access, record); }

  int Requests(std::uint8_t requestType, std::uint8_t request) {
    int n = 0;
    for (const auto& t : host.Log()) n += t.requestType == requestType && t.request == request;
    return n;
  }

  FakeCodec codec;
  std::uint32_t function;
  DeviceRecord record;
};

TEST_F(Caps, VendorSignatureOpensTheVendorChannel) {
  codec.SetSignature();
  Open();
  ASSERT_EQ(ReadDeviceCaps(access, record, 1), 1);
  const DeviceCaps& caps = *record.caps;
  EXPECT_EQ(caps.deviceDescriptor, codec.deviceDescriptor);
  EXPECT_EQ(caps.configDescriptor, codec.config);
  EXPECT_TRUE(caps.extensionUnitPresent);
  EXPECT_EQ(caps.unitId, 5u);
  EXPECT_TRUE(caps.vendorSignature);
  EXPECT_TRUE(caps.vendorChannel);
  EXPECT_EQ(caps.status, codec.status);
  EXPECT_EQ(Requests(0xC0, 0x07), 12);  // one request per status word
  EXPECT_EQ(Requests(0xC0, 0x06), 0);
}

TEST_F(Caps, WithoutTheSignatureOnlyTheExtensionUnitIsKnown) {
  Open();
  ASSERT_EQ(ReadDeviceCaps(access, record, 1), 1);
  EXPECT_TRUE(record.caps->extensionUnitPresent);
  EXPECT_FALSE(record.caps->vendorSignature);
  EXPECT_FALSE(record.caps->vendorChannel);
  EXPECT_EQ(Requests(0xC0, 0x06), 1);  // the one-byte read, sent once
}

TEST_F(Caps, ExtensionUnitOfAnotherVendorGivesNoUnit) {
  codec.SetConfig(0x1234, 5);
  codec.SetSignature();
  Open();
  ASSERT_EQ(ReadDeviceCaps(access, record, 1), 1);
  EXPECT_FALSE(record.caps->extensionUnitPresent);
  EXPECT_FALSE(record.caps->vendorSignature);
  EXPECT_EQ(Requests(0xC0, 0x07), 0);
}

TEST_F(Caps, FailedDescriptorReadKeepsTheOldCapabilities) {
  Open();
  ASSERT_EQ(ReadDeviceCaps(access, record, 1), 1);
  const DeviceCaps* before = record.caps.get();
  EXPECT_EQ(ReadDeviceCaps(access, record, 0), 1);  // kept without reading
  EXPECT_EQ(record.caps.get(), before);
  codec.config[2] = 200;  // wTotalLength beyond what the device sends
  EXPECT_EQ(ReadDeviceCaps(access, record, 1), 0);
  EXPECT_EQ(record.caps.get(), before);
}

TEST_F(Caps, ChannelCheckAcceptsEitherSignature) {
  Open();
  std::uint32_t unit = 0;
  bool oneByte = true, vendor = true;
  EXPECT_FALSE(CheckDeviceChannels(access, record, unit, oneByte, vendor));
  codec.unitSignature = true;
  EXPECT_TRUE(CheckDeviceChannels(access, record, unit, oneByte, vendor));
  EXPECT_EQ(unit, 5u);
  EXPECT_FALSE(vendor);
  codec.unitSignature = false;
  codec.SetSignature();
  EXPECT_TRUE(CheckDeviceChannels(access, record, unit, oneByte, vendor));
  EXPECT_TRUE(vendor);
}

// Configuration descriptors written out by hand.
TEST(FindExtensionUnit, ReadsOnlyTheClassDescriptorsAfterTheFirstInterface) {
  const std::uint8_t vid0 = std::uint8_t(kVendorId), vid1 = std::uint8_t(kVendorId >> 8);
  const struct {
    const char* what;
    std::vector<std::uint8_t> config;
    int unit;
  } cases[] = {
      {"UAC1 unit", {9, 2, 0, 0, 1, 1, 0, 0, 0, 9, 4, 0, 0, 0, 1, 1, 0, 0, 8, 0x24, 8, 7, vid0, vid1, 0, 0}, 7},
      {"UAC2 unit", {9, 4, 0, 0, 0, 1, 1, 0x20, 0, 8, 0x24, 9, 6, vid0, vid1, 0, 0}, 6},
      {"other vendor", {9, 4, 0, 0, 0, 1, 1, 0, 0, 8, 0x24, 8, 7, 0x34, 0x12, 0, 0}, -1},
      {"other vendor first", {9, 4, 0, 0, 0, 1, 1, 0, 0, 8, 0x24, 8, 7, 0x34, 0x12, 0, 0, 8, 0x24, 8, 9, vid0, vid1, 0, 0}, 9},
      {"before any interface", {8, 0x24, 8, 7, vid0, vid1, 0, 0}, -1},
      {"after an endpoint", {9, 4, 0, 0, 0, 1, 1, 0, 0, 7, 5, 0x81, 3, 8, 0, 1, 8, 0x24, 8, 7, vid0, vid1, 0, 0}, -1},
      {"zero length", {9, 4, 0, 0, 0, 1, 1, 0, 0, 0, 0x24, 8, 7, vid0, vid1}, -1},
      {"cut short", {9, 4, 0, 0, 0, 1, 1, 0, 0, 13, 0x24, 8, 7, vid0, vid1}, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(FindExtensionUnit(c.config), c.unit) << c.what;
}

TEST(HubWalk, ListsDevicesOnTheFilteredDevicesHubs) {
  DeviceBench bench;
  FakeCodec a, b;
  const std::uint32_t root = bench.RootHub("USB\\ROOT_HUB20\\4&B1&0");
  const std::uint32_t hub = bench.Hub(root, "USB\\VID_05E3&PID_0610\\5&1-1&0&1", 1);
  const std::uint32_t fa = bench.Codec(hub, "USB\\VID_3C5A&PID_1A2B\\A", 2, "00", "A", a);
  const std::uint32_t fb = bench.Codec(root, "USB\\VID_3C5A&PID_00B5\\B", 3, "00", "B", b);
  const std::uint32_t da = bench.host.Find(fa)->parent, db = bench.host.Find(fb)->parent;
  auto port = [](std::uint32_t number, std::uint32_t instance, std::uint16_t pid, bool isHub) {
    UsbPortInfo p;
    p.port = number;
    p.connected = true;
    p.isHub = isHub;
    p.instance = instance;
    const std::uint8_t d[18] = {18, 1, 0, 2, 0, 0, 0, 64, 0x5A, 0x3C, std::uint8_t(pid), std::uint8_t(pid >> 8),
                                0x05, 0x01, 1, 0, 3, 1};
    std::copy(d, d + 18, p.deviceDescriptor);
    return p;
  };
  bench.host.SetPorts(root, {port(1, hub, 0x0610, true), port(3, db, 0x00B5, false)});
  bench.host.SetPorts(hub, {port(2, da, 0x1A2B, false)});
  bench.host.SetPortString(hub, 2, 3, {8, 3, 'S', 0, 'N', 0, '1', 0});
  bench.host.SetPortString(hub, 2, 1, {5, 3, 'X', 0, 0});  // odd length: not taken

  auto all = WalkUsbHubs(bench.access, 0);
  ASSERT_EQ(all.size(), 2u);
  auto filtered = WalkUsbHubs(bench.access, fa);
  ASSERT_EQ(filtered.size(), 2u);  // the root hub is an ancestor too
  filtered = WalkUsbHubs(bench.access, fb);  // only the root hub is its ancestor
  ASSERT_EQ(filtered.size(), 1u);
  EXPECT_EQ(filtered[0].deviceInstance, db);
  const HubWalkEntry* e = nullptr;
  for (const auto& x : all)
    if (x.deviceInstance == da) e = &x;
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->port, 2u);
  EXPECT_EQ(e->productId, 0x1A2B);
  EXPECT_EQ(e->vendorId, 0x3C5A);
  EXPECT_EQ(e->bcdDevice, 0x0105);
  EXPECT_EQ(e->serialNumber, "SN1");
  EXPECT_EQ(e->manufacturer, "");

  // A walk lists the bus once for its nodes, every hub's ports and the
  // string descriptors; so does looking up one device's entry. A listing of
  // real hardware is a whole enumeration.
  ListingCountingHost counting(bench.host);
  DeviceAccess countedAccess{counting, bench.proxy, bench.channel};
  const auto counted = WalkUsbHubs(countedAccess, 0);
  EXPECT_EQ(counting.listings, 1);
  ASSERT_EQ(counted.size(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(counted[i].deviceInstance, all[i].deviceInstance);
    EXPECT_EQ(counted[i].serialNumber, all[i].serialNumber);
  }
  HubWalkEntry own;
  ASSERT_TRUE(HubEntryOfDevice(countedAccess, fa, own));
  EXPECT_EQ(own.serialNumber, "SN1");
  EXPECT_EQ(counting.listings, 2);
  // Each walk lists anew: a codec that left meanwhile is not in the next one.
  bench.host.SetPorts(hub, {});
  EXPECT_FALSE(HubEntryOfDevice(countedAccess, fa, own));
  EXPECT_EQ(counting.listings, 3);
}

}  // namespace
