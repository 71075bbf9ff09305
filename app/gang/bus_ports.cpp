#include "app/gang/bus_ports.h"

#include "platform/usb_paths.h"

std::set<std::string> OccupiedPorts(platform::UsbHost& host) {
  std::set<std::string> ports;
  for (const platform::UsbNode& node : host.Nodes()) {
    if (node.isHub || node.setupClass != "USB") continue;
    const std::string port = platform::PortPathOfLocation(node.locationPath);
    if (!port.empty()) ports.insert(port);
  }
  return ports;
}
