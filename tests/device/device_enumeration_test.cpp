// Listing, opening and describing codecs on a scripted device tree.
#include <gtest/gtest.h>

#include "device/device_enumeration.h"
#include "tests/device/device_fixture.h"

using namespace platform;

namespace {

class Enumeration : public ::testing::Test, public DeviceBench {
 protected:
  Enumeration() {
    root = RootHub("USB\\ROOT_HUB30\\4&B1&0");
    hub = Hub(root, "USB\\VID_05E3&PID_0610\\5&1-1&0&1", 1);
    // Two codecs of the same identity on one hub: only their locations tell
    // them apart.
    first = Codec(hub, "USB\\VID_3C5A&PID_1A2B\\5&1-1.2&0&2", 2, "03", "Studio Codec", codecA);
    second = Codec(hub, "USB\\VID_3C5A&PID_1A2B\\5&1-1.3&0&3", 3, "0A", "", codecB);
  }

  FakeCodec codecA, codecB;
  std::uint32_t root, hub, first, second;
};

TEST_F(Enumeration, ListsFunctionsUnderTheirUsbDevices) {
  std::vector<DeviceListEntry> list;
  ASSERT_EQ(EnumerateDevices(access, list), kErrorSuccess);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "Studio Codec");
  EXPECT_EQ(list[1].name, "Usb Video Device #2");
  EXPECT_EQ(list[0].identityPrefix, "USB\\VID_3C5A&PID_1A2B");
  EXPECT_EQ(list[1].identityPrefix, "USB\\VID_3C5A&PID_1A2B");
  EXPECT_EQ(list[1].location, "PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(3)#USBMI(10)");
  // The matching pass puts each entry on its own USB device.
  EXPECT_EQ(list[0].deviceInstance, host.Find(first)->parent);
  EXPECT_EQ(list[1].deviceInstance, host.Find(second)->parent);
}

TEST_F(Enumeration, ProblemDeviceIsLeftOutButKeepsItsPosition) {
  host.Find(first)->hasProblem = true;
  std::vector<DeviceListEntry> list;
  ASSERT_EQ(EnumerateDevices(access, list), kErrorSuccess);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "Usb Video Device #2");
}

TEST(EnumerationEmpty, NoCodecIsNoMoreItems) {
  DeviceBench bench;
  bench.RootHub("USB\\ROOT_HUB20\\4&B1&0");
  std::vector<DeviceListEntry> list;
  EXPECT_EQ(EnumerateDevices(bench.access, list), kErrorNoMoreItems);
  DeviceRecord record;
  EXPECT_EQ(OpenDeviceByPosition(bench.access, record, 0), kErrorNoMoreItems);
}

TEST_F(Enumeration, OpensAFunctionFromItsParentWithTheInterfaceNumber) {
  for (auto [function, number] : {std::pair{first, 3u}, std::pair{second, 10u}}) {
    DeviceRecord record;
    ASSERT_EQ(OpenDeviceRecord(access, record, function), kErrorSuccess);
    EXPECT_TRUE(record.Valid());
    EXPECT_EQ(record.interfaceNumber, number);
    EXPECT_EQ(record.kind, kKindMedia);
    EXPECT_NE(record.token, 0u);
    EXPECT_EQ(record.deviceInstance, function);
    EXPECT_EQ(record.location, host.Find(function)->locationPath);
    // Walked from the USB device: its hub, then the root hub.
    EXPECT_EQ(std::vector<std::uint32_t>(record.Parents().begin(), record.Parents().end()),
              (std::vector<std::uint32_t>{hub, root}));
    EXPECT_EQ(record.chainLength, 3u);
    EXPECT_EQ(record.hubSpeedClass, 3u);
    CloseDeviceRecord(access, record);
    EXPECT_EQ(host.OpenDevices(), 0);
    EXPECT_EQ(record.token, 0u);
  }
}

TEST_F(Enumeration, OpensByPositionAsAWholeUsbDevice) {
  DeviceRecord record;
  ASSERT_EQ(OpenDeviceByPosition(access, record, 1), kErrorSuccess);
  EXPECT_EQ(record.name, "Usb Video Device #2");
  EXPECT_EQ(record.kind, kKindUsb);
  EXPECT_EQ(record.interfaceNumber, 0u);
  EXPECT_EQ(record.Parents().front(), hub);
  CloseDeviceRecord(access, record);
  EXPECT_EQ(OpenDeviceByPosition(access, record, 2), kErrorPositionPastEnd);
}

TEST_F(Enumeration, AsksAtOnceAndWaitsInShortStepsWhileTheDeviceIsNotReady) {
  codecA.notReady = 2;
  DeviceRecord record;
  const auto start = host.Clock().NowMs();
  ASSERT_EQ(OpenDeviceRecord(access, record, first), kErrorSuccess);
  EXPECT_EQ(host.Clock().NowMs() - start, 20u);
  CloseDeviceRecord(access, record);
}

TEST_F(Enumeration, DeviceThatNeverGetsReadyIsNotKeptOpen) {
  codecA.notReady = 1 << 30;
  DeviceRecord record;
  EXPECT_EQ(OpenDeviceRecord(access, record, first), kErrorNotReady);
  EXPECT_FALSE(record.Valid());
  EXPECT_EQ(host.OpenDevices(), 0);
}

TEST_F(Enumeration, DeviceThatCannotBeOpenedIsNotKept) {
  host.FailOpen(first, kErrorAccessDenied);
  DeviceRecord record;
  EXPECT_EQ(OpenDeviceRecord(access, record, first), kErrorAccessDenied);
  EXPECT_FALSE(record.Valid());
}

struct SpeedCase {
  const char* rootPath;
  std::uint32_t speedClass;
};

class ParentWalk : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(ParentWalk, RootHubGivesTheSpeedClassAndEndsTheWalk) {
  DeviceBench bench;
  FakeCodec codec;
  // A node above the root hub must never be reached.
  const std::uint32_t above = bench.host.Add(bench.Node("ACPI\\PNP0A08\\0", ""));
  auto rootNode = bench.Node(GetParam().rootPath, "PCIROOT(0)#PCI(000100)#USBROOT(0)");
  rootNode.isHub = true;
  const std::uint32_t root = bench.host.Add(rootNode, above);
  const std::uint32_t fn = bench.Codec(root, "USB\\VID_3C5A&PID_1A2B\\SN1", 4, "00", "Codec", codec);
  DeviceRecord record;
  ASSERT_EQ(OpenDeviceRecord(bench.access, record, fn), kErrorSuccess);
  EXPECT_EQ(record.hubSpeedClass, GetParam().speedClass);
  EXPECT_EQ(std::vector<std::uint32_t>(record.Parents().begin(), record.Parents().end()),
            std::vector<std::uint32_t>{root});
  CloseDeviceRecord(bench.access, record);
}

INSTANTIATE_TEST_SUITE_P(Roots, ParentWalk,
                         ::testing::Values(SpeedCase{"USB\\ROOT_HUB30\\4&B1&0", 3},
                                           SpeedCase{"usb\\root_hub30\\4&b1&0", 3},
                                           SpeedCase{"USB\\ASMEDIAUSBD_HUB\\5&1", 3},
                                           SpeedCase{"USB\\ROOT_HUB20\\4&B1&0", 2},
                                           SpeedCase{"IWSEPAL\\VRHUB\\1", 2},
                                           SpeedCase{"USB\\ROOT_HUB\\4&B1&0", 1},
                                           SpeedCase{"VMUSB\\HUB\\1", 1}));

TEST(ParentWalkLimits, NoRootHubEndsTheOpenWithTwoAndReleasesTheDevice) {
  DeviceBench bench;
  FakeCodec codec;
  // A chain of plain hubs without a root hub: first short, then too deep.
  std::uint32_t top = bench.host.Add(bench.Node("USB\\VID_05E3&PID_0610\\top", "PCIROOT(0)"));
  const std::uint32_t shortFn = bench.Codec(top, "USB\\VID_3C5A&PID_1A2B\\A", 1, "00", "A", codec);
  DeviceRecord record;
  EXPECT_EQ(OpenDeviceRecord(bench.access, record, shortFn), kErrorNoRootHub);
  EXPECT_EQ(bench.host.OpenDevices(), 0);

  std::uint32_t deep = bench.Hub(bench.RootHub("USB\\ROOT_HUB20\\4&B9&0"), "USB\\VID_05E3&PID_0610\\h0", 1);
  for (int i = 1; i < 31; ++i) deep = bench.Hub(deep, "USB\\VID_05E3&PID_0610\\h" + std::to_string(i), 1);
  const std::uint32_t deepFn = bench.Codec(deep, "USB\\VID_3C5A&PID_1A2B\\B", 1, "00", "B", codec);
  EXPECT_EQ(OpenDeviceRecord(bench.access, record, deepFn), kErrorNoRootHub);  // 31 hubs, then the root
  EXPECT_EQ(bench.host.OpenDevices(), 0);
}

TEST_F(Enumeration, PortAndParentAreTheUsbDevicesOwn) {
  std::uint32_t port = 0, parent = 0;
  ASSERT_TRUE(GetPortAndParent(access, second, port, parent));
  EXPECT_EQ(port, 3u);
  EXPECT_EQ(parent, hub);
  ASSERT_TRUE(GetPortAndParent(access, host.Find(first)->parent, port, parent));
  EXPECT_EQ(port, 2u);
  EXPECT_EQ(parent, hub);
  EXPECT_FALSE(GetPortAndParent(access, 0xDEAD, port, parent));
}

}  // namespace
