#pragma once
// The libusb backend's device tree, built from plain facts about each device
// (bus, port chain, descriptors) so that the rendering can be checked without
// a USB bus.
//
// Each libusb device becomes a node: root hubs (no port chain) with their
// speed taken from bcdUSB, hubs and devices below them with their parent
// found through the port chain, and for every audio-control interface of a
// device one function node (setup class "Media") below it. The paths follow
// platform/usb_paths.h; the driver key is the device's sysfs name, which is
// unique on the machine.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/usb_host.h"

namespace platform {

struct LibusbDeviceFacts {
  int bus = 0;
  std::vector<int> ports;    // port chain from the root hub; empty for a root hub
  std::uint8_t address = 0;  // bus address: a re-enumerated device gets a new one
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint16_t bcdUsb = 0;
  std::uint8_t deviceClass = 0;
  std::string product;  // empty when unknown
  std::string serial;   // empty when the device has none
  std::vector<int> audioControlInterfaces;
};

// Instance numbers that stay the same while a node is present. A device that
// re-enumerates (new bus address) gets new numbers, as a re-enumerated device
// gets a new device node.
class UsbInstanceTable {
 public:
  std::uint32_t InstanceFor(const std::string& key);

 private:
  std::map<std::string, std::uint32_t> instances_;
  std::uint32_t next_ = 1;
};

// "usb<bus>" for a root hub, "<bus>-<p1>.<p2>..." for a device: the kernel's
// names under /sys/bus/usb/devices.
std::string SysfsDeviceName(int bus, const std::vector<int>& ports);

// The nodes of all devices, parents before children. A device whose parent is
// not among the facts gets parent 0.
std::vector<UsbNode> BuildUsbTree(const std::vector<LibusbDeviceFacts>& devices, UsbInstanceTable& instances);

// The key BuildUsbTree gives a device in the instance table, for hotplug
// notifications that carry only a libusb device.
std::string DeviceInstanceKey(int bus, const std::vector<int>& ports, std::uint8_t address);

}  // namespace platform
