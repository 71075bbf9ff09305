// The parts of the libusb backend that need no USB bus: how libusb's errors
// reach the device layer and how devices are rendered into the device tree.
#include <gtest/gtest.h>

#include <set>

#include "platform/error_codes.h"
#include "platform/libusb_errors.h"
#include "platform/libusb_tree.h"

namespace platform {
namespace {

TEST(LibusbErrors, MapOntoTheDeviceLayersNumbers) {
  // libusb's error codes are part of its ABI; written out here by value.
  const struct {
    int libusb;
    std::uint32_t expected;
  } cases[] = {
      {0, kErrorSuccess},               // LIBUSB_SUCCESS
      {18, kErrorSuccess},              // a byte count
      {-4, kErrorDeviceNotConnected},   // LIBUSB_ERROR_NO_DEVICE
      {-7, kErrorTimeout},              // LIBUSB_ERROR_TIMEOUT
      {-9, kErrorGenFailure},           // LIBUSB_ERROR_PIPE (stall)
      {-1, kErrorGenFailure},           // LIBUSB_ERROR_IO
      {-8, kErrorGenFailure},           // LIBUSB_ERROR_OVERFLOW
      {-3, kErrorAccessDenied},         // LIBUSB_ERROR_ACCESS
      {-6, kErrorAccessDenied},         // LIBUSB_ERROR_BUSY
      {-5, kErrorFileNotFound},         // LIBUSB_ERROR_NOT_FOUND
      {-2, kErrorInvalidParameter},     // LIBUSB_ERROR_INVALID_PARAM
      {-11, kErrorNotEnoughMemory},     // LIBUSB_ERROR_NO_MEM
      {-99, kErrorGenFailure},          // LIBUSB_ERROR_OTHER
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorFromLibusb(c.libusb), c.expected) << "libusb " << c.libusb;
}

TEST(LibusbErrors, PermissionMessageNamesTheUdevRule) {
  EXPECT_NE(UsbAccessDeniedText().find("70-tessaload.rules"), std::string::npos);
  EXPECT_NE(UsbAccessDeniedText().find("/etc/udev/rules.d"), std::string::npos);
}

LibusbDeviceFacts Facts(int bus, std::vector<int> ports, std::uint8_t address, std::uint16_t vid,
                        std::uint16_t pid) {
  LibusbDeviceFacts f;
  f.bus = bus;
  f.ports = std::move(ports);
  f.address = address;
  f.vendorId = vid;
  f.productId = pid;
  f.bcdUsb = 0x0200;
  return f;
}

class LibusbTree : public ::testing::Test {
 protected:
  LibusbTree() {
    LibusbDeviceFacts root1 = Facts(1, {}, 1, 0x1D6B, 0x0002);
    root1.deviceClass = 9;
    LibusbDeviceFacts root2 = Facts(2, {}, 1, 0x1D6B, 0x0003);
    root2.bcdUsb = 0x0310;
    root2.deviceClass = 9;
    LibusbDeviceFacts hub = Facts(1, {1}, 2, 0x05E3, 0x0610);
    hub.deviceClass = 9;
    LibusbDeviceFacts codec = Facts(1, {1, 4}, 7, 0x3C5A, 0x1A2B);
    codec.product = "Studio Codec";
    codec.audioControlInterfaces = {0};
    LibusbDeviceFacts withSerial = Facts(2, {3}, 4, 0x3C5A, 0x00B5);
    withSerial.serial = "SN0042";
    withSerial.audioControlInterfaces = {10};
    // Out of order on purpose: the tree must still put parents first.
    facts = {codec, withSerial, hub, root2, root1};
  }

  const UsbNode& ByPath(const std::vector<UsbNode>& nodes, const std::string& path) {
    for (const UsbNode& n : nodes)
      if (n.instancePath == path) return n;
    ADD_FAILURE() << "no node " << path;
    static UsbNode none;
    return none;
  }

  std::vector<LibusbDeviceFacts> facts;
  UsbInstanceTable instances;
};

TEST_F(LibusbTree, RendersPathsFromBusAndPortChain) {
  auto nodes = BuildUsbTree(facts, instances);
  ASSERT_EQ(nodes.size(), 7u);

  const UsbNode& root1 = ByPath(nodes, "USB\\ROOT_HUB20\\4&B1&0");
  EXPECT_EQ(root1.locationPath, "PCIROOT(0)#PCI(000100)#USBROOT(0)");
  EXPECT_TRUE(root1.isHub);
  EXPECT_EQ(root1.parent, 0u);
  const UsbNode& root2 = ByPath(nodes, "USB\\ROOT_HUB30\\4&B2&0");
  EXPECT_EQ(root2.locationPath, "PCIROOT(0)#PCI(000200)#USBROOT(0)");

  const UsbNode& hub = ByPath(nodes, "USB\\VID_05E3&PID_0610\\5&1-1&0&1");
  EXPECT_TRUE(hub.isHub);
  EXPECT_EQ(hub.parent, root1.instance);
  EXPECT_EQ(hub.address, 1u);
  EXPECT_EQ(hub.locationPath, "PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)");

  const UsbNode& codec = ByPath(nodes, "USB\\VID_3C5A&PID_1A2B\\5&1-1.4&0&4");
  EXPECT_EQ(codec.parent, hub.instance);
  EXPECT_EQ(codec.setupClass, "USB");
  EXPECT_TRUE(codec.usbDeviceInterface);
  EXPECT_FALSE(codec.isHub);
  EXPECT_EQ(codec.address, 4u);
  EXPECT_EQ(codec.locationPath, "PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(4)");
  EXPECT_EQ(codec.driverKey, "1-1.4");

  const UsbNode& audio = ByPath(nodes, "USB\\VID_3C5A&PID_1A2B&MI_00\\6&1-1.4&0&0000");
  EXPECT_EQ(audio.parent, codec.instance);
  EXPECT_EQ(audio.setupClass, "Media");
  EXPECT_EQ(audio.friendlyName, "Studio Codec");
  EXPECT_TRUE(audio.audioInterface);
  EXPECT_EQ(audio.address, 4u);
  EXPECT_EQ(audio.locationPath, "PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(4)#USBMI(0)");
  EXPECT_EQ(codec.children, std::vector<std::uint32_t>{audio.instance});
  EXPECT_EQ(hub.children, std::vector<std::uint32_t>{codec.instance});

  // A usable serial number names the device; the function keeps the port chain.
  const UsbNode& serial = ByPath(nodes, "USB\\VID_3C5A&PID_00B5\\SN0042");
  EXPECT_EQ(serial.parent, root2.instance);
  const UsbNode& fn = ByPath(nodes, "USB\\VID_3C5A&PID_00B5&MI_0A\\6&2-3&0&000A");
  EXPECT_EQ(fn.locationPath, "PCIROOT(0)#PCI(000200)#USBROOT(0)#USB(3)#USBMI(10)");
  EXPECT_TRUE(fn.friendlyName.empty());
}

TEST_F(LibusbTree, ParentsComeBeforeChildren) {
  auto nodes = BuildUsbTree(facts, instances);
  std::set<std::uint32_t> seen;
  for (const UsbNode& n : nodes) {
    if (n.parent != 0) {
      EXPECT_TRUE(seen.count(n.parent)) << n.instancePath;
    }
    seen.insert(n.instance);
  }
}

TEST_F(LibusbTree, InstancesStayWhilePresentAndChangeOnReEnumeration) {
  auto first = BuildUsbTree(facts, instances);
  auto again = BuildUsbTree(facts, instances);
  ASSERT_EQ(first.size(), again.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i].instance, again[i].instance);

  const std::uint32_t before = ByPath(first, "USB\\VID_3C5A&PID_1A2B\\5&1-1.4&0&4").instance;
  facts[0].address = 8;  // the codec left the bus and came back
  auto after = BuildUsbTree(facts, instances);
  EXPECT_NE(ByPath(after, "USB\\VID_3C5A&PID_1A2B\\5&1-1.4&0&4").instance, before);
}

TEST_F(LibusbTree, DeviceWithoutItsHubHasNoParent) {
  facts.erase(facts.begin() + 2);  // the hub is gone from the list
  auto nodes = BuildUsbTree(facts, instances);
  const UsbNode& codec = ByPath(nodes, "USB\\VID_3C5A&PID_1A2B\\5&1-1.4&0&4");
  EXPECT_EQ(codec.parent, 0u);
  EXPECT_TRUE(codec.locationPath.empty());
}

}  // namespace
}  // namespace platform
