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
  if (location.rfind(root, 0) != 0) return {};
  const std::size_t close = location.find(')', root.size());
  // The bus in four hexadecimal digits, then "00".
  if (close == std::string::npos || close != root.size() + 6) return {};
  const std::string busDigits = location.substr(root.size(), 4);
  if (busDigits.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos) return {};
  const int bus = int(std::stoul(busDigits, nullptr, 16));
  std::vector<int> ports;
  const std::string hop = "#USB(";
  for (std::size_t at = location.find(hop, close); at != std::string::npos; at = location.find(hop, at + 1)) {
    const std::size_t start = at + hop.size();
    const std::size_t end = location.find(')', start);
    if (end == std::string::npos || end == start || end - start > 3) return {};
    const std::string digits = location.substr(start, end - start);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return {};
    ports.push_back(std::stoi(digits));
  }
  if (ports.empty()) return {};
  return PortChainText(bus, ports);
}

}  // namespace platform
