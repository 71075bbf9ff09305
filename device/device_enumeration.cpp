#include "device/device_enumeration.h"

#include "device/device_tree.h"
#include "platform/error_codes.h"

using namespace platform;

namespace {

bool IsListedFunction(const UsbNode& n) {
  return n.setupClass == "Media" && n.instancePath.rfind("USB\\", 0) == 0;
}

std::string IdentityPrefix(const std::string& instancePath) {
  return instancePath.substr(0, instancePath.find("&MI_"));
}

}  // namespace

std::uint32_t EnumerateDevices(DeviceAccess& access, std::vector<DeviceListEntry>& list, int pass) {
  list.clear();
  if (pass != 0) return kErrorInvalidParameter;
  const std::vector<UsbNode> nodes = access.host.Nodes();

  int position = 0;
  for (const UsbNode& n : nodes) {
    if (!IsListedFunction(n)) continue;
    ++position;
    if (n.hasProblem) continue;
    DeviceListEntry e;
    e.deviceInstance = n.instance;
    e.name = !n.friendlyName.empty() ? n.friendlyName : "Usb Video Device #" + std::to_string(position);
    e.identityPrefix = IdentityPrefix(n.instancePath);
    e.location = n.locationPath;
    list.push_back(std::move(e));
  }
  if (list.empty()) return kErrorNoMoreItems;

  // Matching pass: an audio function of a composite device is listed under
  // its USB device.
  for (const UsbNode& usb : nodes) {
    if (!usb.usbDeviceInterface) continue;
    for (DeviceListEntry& e : list) {
      if (usb.instancePath.find(e.identityPrefix) != std::string::npos &&
          e.location.find(usb.locationPath) != std::string::npos) {
        e.deviceInstance = usb.instance;
        break;
      }
    }
  }
  return kErrorSuccess;
}

bool GetPortAndParent(DeviceAccess& access, std::uint32_t deviceInstance, std::uint32_t& port,
                      std::uint32_t& parent) {
  port = 0;
  parent = 0;
  const std::vector<UsbNode> nodes = access.host.Nodes();
  const UsbNode* node = FindNode(nodes, deviceInstance);
  if (!node) return false;
  // The port belongs to the USB device: a function moves to it first.
  if (FunctionMarker(node->instancePath) != std::string::npos) {
    node = FindNode(nodes, node->parent);
    if (!node) return false;
  }
  port = node->address;
  parent = node->parent;
  return true;
}
