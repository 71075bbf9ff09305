#include "platform/libusb_tree.h"

#include <algorithm>

#include "platform/usb_paths.h"

namespace platform {

namespace {

constexpr std::uint8_t kHubClass = 9;

bool Before(const LibusbDeviceFacts* a, const LibusbDeviceFacts* b) {
  if (a->bus != b->bus) return a->bus < b->bus;
  if (a->ports.size() != b->ports.size()) return a->ports.size() < b->ports.size();
  return a->ports < b->ports;
}

}  // namespace

std::uint32_t UsbInstanceTable::InstanceFor(const std::string& key) {
  auto [it, added] = instances_.try_emplace(key, next_);
  if (added) ++next_;
  return it->second;
}

std::string SysfsDeviceName(int bus, const std::vector<int>& ports) {
  if (ports.empty()) return "usb" + std::to_string(bus);
  return PortChainText(bus, ports);
}

std::string DeviceInstanceKey(int bus, const std::vector<int>& ports, std::uint8_t address) {
  return SysfsDeviceName(bus, ports) + "@" + std::to_string(address);
}

std::vector<UsbNode> BuildUsbTree(const std::vector<LibusbDeviceFacts>& devices, UsbInstanceTable& instances) {
  std::vector<const LibusbDeviceFacts*> order;
  for (const auto& d : devices) order.push_back(&d);
  std::sort(order.begin(), order.end(), Before);

  std::vector<UsbNode> nodes;
  // Node index of each device by its sysfs name, to find parents.
  std::map<std::string, size_t> byName;
  for (const LibusbDeviceFacts* d : order) {
    const std::string name = SysfsDeviceName(d->bus, d->ports);
    const bool rootHub = d->ports.empty();
    UsbNode node;
    node.instance = instances.InstanceFor(DeviceInstanceKey(d->bus, d->ports, d->address));
    node.setupClass = "USB";
    node.driverKey = name;
    node.isHub = rootHub || d->deviceClass == kHubClass;
    if (rootHub) {
      node.instancePath = RootHubInstancePath(d->bus, d->bcdUsb >= 0x0300);
      node.locationPath = RootHubLocationPath(d->bus);
      node.description = "USB Root Hub";
    } else {
      std::vector<int> parentPorts(d->ports.begin(), d->ports.end() - 1);
      auto parent = byName.find(SysfsDeviceName(d->bus, parentPorts));
      node.address = std::uint32_t(d->ports.back());
      node.instancePath = DeviceInstancePath(d->vendorId, d->productId, d->serial, d->bus, d->ports);
      if (parent != byName.end()) {
        UsbNode& p = nodes[parent->second];
        node.parent = p.instance;
        node.locationPath = ChildLocationPath(p.locationPath, d->ports.back());
        p.children.push_back(node.instance);
      }
      node.description = !d->product.empty()        ? d->product
                         : node.isHub                ? "Generic USB Hub"
                                                     : "USB Composite Device";
      node.usbDeviceInterface = true;
    }
    byName[name] = nodes.size();
    nodes.push_back(node);

    const size_t deviceIndex = nodes.size() - 1;
    for (int ifnum : d->audioControlInterfaces) {
      UsbNode fn;
      fn.instance = instances.InstanceFor(DeviceInstanceKey(d->bus, d->ports, d->address) + ":" +
                                          std::to_string(ifnum));
      fn.parent = nodes[deviceIndex].instance;
      fn.instancePath = FunctionInstancePath(d->vendorId, d->productId, ifnum, d->bus, d->ports);
      fn.locationPath = nodes[deviceIndex].locationPath.empty()
                            ? std::string()
                            : FunctionLocationPath(nodes[deviceIndex].locationPath, ifnum);
      fn.setupClass = "Media";
      fn.friendlyName = d->product;
      fn.description = "USB Audio Device";
      // A function sits on its device's port.
      fn.address = nodes[deviceIndex].address;
      fn.driverKey = name + ":1." + std::to_string(ifnum);
      fn.audioInterface = true;
      nodes[deviceIndex].children.push_back(fn.instance);
      nodes.push_back(fn);
    }
  }
  return nodes;
}

}  // namespace platform
