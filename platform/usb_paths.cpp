#include "platform/usb_paths.h"

#include <cstdio>

namespace platform {

namespace {

std::string Hex(unsigned value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*X", digits, value);
  return buf;
}

bool UsableSerial(const std::string& serial) {
  if (serial.empty()) return false;
  for (char c : serial)
    if (c == '\\' || c == '&' || c == ' ' || static_cast<unsigned char>(c) < 0x21 ||
        static_cast<unsigned char>(c) > 0x7E)
      return false;
  return true;
}

}  // namespace

std::string RootHubInstancePath(int bus, bool usb3) {
  return std::string("USB\\ROOT_HUB") + (usb3 ? "30" : "20") + "\\4&B" + std::to_string(bus) + "&0";
}

std::string RootHubLocationPath(int bus) {
  return "PCIROOT(0)#PCI(" + Hex(unsigned(bus), 4) + "00)#USBROOT(0)";
}

std::string PortChainText(int bus, const std::vector<int>& ports) {
  std::string text = std::to_string(bus) + "-";
  for (size_t i = 0; i < ports.size(); ++i) text += (i ? "." : "") + std::to_string(ports[i]);
  return text;
}

std::string DeviceInstancePath(std::uint16_t vid, std::uint16_t pid, const std::string& serial, int bus,
                               const std::vector<int>& ports) {
  std::string path = "USB\\VID_" + Hex(vid, 4) + "&PID_" + Hex(pid, 4) + "\\";
  if (UsableSerial(serial)) return path + serial;
  return path + "5&" + PortChainText(bus, ports) + "&0&" + std::to_string(ports.empty() ? 0 : ports.back());
}

std::string FunctionInstancePath(std::uint16_t vid, std::uint16_t pid, int interfaceNumber, int bus,
                                 const std::vector<int>& ports) {
  return "USB\\VID_" + Hex(vid, 4) + "&PID_" + Hex(pid, 4) + "&MI_" + Hex(unsigned(interfaceNumber), 2) +
         "\\6&" + PortChainText(bus, ports) + "&0&" + Hex(unsigned(interfaceNumber), 4);
}

std::string ChildLocationPath(const std::string& parentLocation, int port) {
  return parentLocation + "#USB(" + std::to_string(port) + ")";
}

std::string FunctionLocationPath(const std::string& deviceLocation, int interfaceNumber) {
  return deviceLocation + "#USBMI(" + std::to_string(interfaceNumber) + ")";
}

std::string PortPathOfLocation(const std::string& location) {
  const std::string root = "PCIROOT(0)#PCI(";
  if (location.compare(0, root.size(), root) != 0) return {};
  std::size_t at = root.size();
  const std::size_t close = location.find("00)#USBROOT(0)", at);
  if (close == std::string::npos || close - at != 4) return {};
  int bus = 0;
  for (std::size_t i = at; i < close; ++i) {
    const char c = location[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (digit < 0) return {};
    bus = bus * 16 + digit;
  }
  at = close + std::string("00)#USBROOT(0)").size();
  std::vector<int> ports;
  const std::string step = "#USB(";
  while (location.compare(at, step.size(), step) == 0) {
    at += step.size();
    const std::size_t end = location.find(')', at);
    if (end == std::string::npos || end == at || end - at > 3) return {};
    int port = 0;
    for (std::size_t i = at; i < end; ++i) {
      if (location[i] < '0' || location[i] > '9') return {};
      port = port * 10 + (location[i] - '0');
    }
    ports.push_back(port);
    at = end + 1;
  }
  if (ports.empty() || (at != location.size() && location.compare(at, 7, "#USBMI(") != 0)) return {};
  return PortChainText(bus, ports);
}

}  // namespace platform
