#include "device/device_enumeration.h"
#include "device/device_tree.h"
#include "device/le_bytes.h"

using namespace platform;

namespace {

constexpr std::uint16_t kLanguageEnglishUs = 0x0409;

// The text of a string descriptor, taken only when the answer is a
// well-formed string descriptor. UTF-16 code units become UTF-8.
bool StringText(const std::vector<std::uint8_t>& d, std::string& text) {
  if (d.size() <= 1 || d.size() % 2 != 0 || d[0] != d.size() || d[1] != 3) return false;
  text.clear();
  for (std::size_t i = 2; i + 1 < d.size(); i += 2) {
    const std::uint32_t c = GetLe16(&d[i]);
    if (c < 0x80) {
      text += char(c);
    } else if (c < 0x800) {
      text += char(0xC0 | (c >> 6));
      text += char(0x80 | (c & 0x3F));
    } else {
      text += char(0xE0 | (c >> 12));
      text += char(0x80 | ((c >> 6) & 0x3F));
      text += char(0x80 | (c & 0x3F));
    }
  }
  return true;
}

bool IsAncestorOrSelf(const std::vector<UsbNode>& nodes, std::uint32_t hub, std::uint32_t of) {
  for (const UsbNode* n = FindNode(nodes, of); n; n = FindNode(nodes, n->parent))
    if (n->instance == hub) return true;
  return false;
}

}  // namespace

std::vector<HubWalkEntry> WalkUsbHubs(DeviceAccess& access, std::uint32_t filterInstance) {
  std::vector<HubWalkEntry> entries;
  // One listing for the whole walk: the nodes, every hub's ports and the
  // string descriptors of the devices on them.
  const ListingScope listing(access.host);
  const std::vector<UsbNode> nodes = access.host.Nodes();
  for (const UsbNode& hub : nodes) {
    if (!hub.isHub) continue;
    if (filterInstance != 0 && !IsAncestorOrSelf(nodes, hub.instance, filterInstance)) continue;
    std::vector<UsbPortInfo> ports;
    if (!access.host.HubPorts(hub.instance, ports)) continue;
    for (const UsbPortInfo& port : ports) {
      if (!port.connected || port.isHub) continue;
      const UsbNode* device = FindNode(nodes, port.instance);
      if (!device) continue;
      HubWalkEntry e;
      e.deviceInstance = device->instance;
      e.interfacePath = device->instancePath;
      e.bcdDevice = GetLe16(&port.deviceDescriptor[12]);
      e.vendorId = GetLe16(&port.deviceDescriptor[8]);
      e.productId = GetLe16(&port.deviceDescriptor[10]);
      e.port = port.port;
      std::vector<std::uint8_t> d;
      if (std::uint8_t i = port.deviceDescriptor[16];
          i && access.host.PortStringDescriptor(hub.instance, port.port, i, kLanguageEnglishUs, d))
        StringText(d, e.serialNumber);
      if (std::uint8_t i = port.deviceDescriptor[14];
          i && access.host.PortStringDescriptor(hub.instance, port.port, i, kLanguageEnglishUs, d))
        StringText(d, e.manufacturer);
      entries.push_back(std::move(e));
    }
  }
  return entries;
}

bool HubEntryOfDevice(DeviceAccess& access, std::uint32_t instance, HubWalkEntry& entry) {
  const ListingScope listing(access.host);
  const std::vector<UsbNode> nodes = access.host.Nodes();
  for (HubWalkEntry& e : WalkUsbHubs(access, instance)) {
    if (!IsAncestorOrSelf(nodes, e.deviceInstance, instance)) continue;
    entry = std::move(e);
    return true;
  }
  return false;
}
