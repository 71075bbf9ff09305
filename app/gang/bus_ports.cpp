#include "app/gang/bus_ports.h"

#include <cstdlib>
#include <vector>

#include "platform/usb_paths.h"

std::string PortOfLocation(const std::string& locationPath) {
  const std::string pci = "#PCI(";
  const std::size_t at = locationPath.find(pci);
  if (at == std::string::npos || locationPath.find("#USBMI(") != std::string::npos) return {};
  const std::string busHex = locationPath.substr(at + pci.size(), 4);
  char* end = nullptr;
  const long bus = std::strtol(busHex.c_str(), &end, 16);
  if (busHex.size() != 4 || *end) return {};
  std::vector<int> ports;
  const std::string usb = "#USB(";
  for (std::size_t p = locationPath.find(usb); p != std::string::npos; p = locationPath.find(usb, p + 1)) {
    const long port = std::strtol(locationPath.c_str() + p + usb.size(), &end, 10);
    if (*end != ')' || port <= 0) return {};
    ports.push_back(static_cast<int>(port));
  }
  if (ports.empty()) return {};
  return platform::PortChainText(static_cast<int>(bus), ports);
}

std::set<std::string> OccupiedPorts(platform::UsbHost& host) {
  std::set<std::string> ports;
  for (const platform::UsbNode& node : host.Nodes()) {
    if (node.isHub || node.setupClass != "USB") continue;
    const std::string port = PortOfLocation(node.locationPath);
    if (!port.empty()) ports.insert(port);
  }
  return ports;
}
