#pragma once
// How USB nodes are rendered into instance paths and location paths, the same
// for every backend (libusb and the simulator), in the shapes the device
// selection and reset code expect:
//
//   root hub    USB\ROOT_HUB20\4&B<bus>&0  (USB 2)   USB\ROOT_HUB30\4&B<bus>&0  (USB 3)
//               location  PCIROOT(0)#PCI(<bus, 4 hex digits>00)#USBROOT(0)
//   device/hub  USB\VID_vvvv&PID_pppp\<serial, or 5&<bus>-<port chain>&0&<port>>
//               location  <parent's location>#USB(<port>)
//   function    USB\VID_vvvv&PID_pppp&MI_nn\6&<bus>-<port chain>&0&00nn
//               location  <device's location>#USBMI(<interface number>)
//
// VID, PID and the interface number are upper-case hexadecimal. A port chain
// is the dotted list of port numbers from the root hub down ("1.4.2"). The
// unique id of a device is its serial-number string when it has one that is
// usable in a path (no '\\', '&' or blanks), as the original platform does.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

std::string RootHubInstancePath(int bus, bool usb3);
std::string RootHubLocationPath(int bus);
std::string PortChainText(int bus, const std::vector<int>& ports);
std::string DeviceInstancePath(std::uint16_t vid, std::uint16_t pid, const std::string& serial, int bus,
                               const std::vector<int>& ports);
std::string FunctionInstancePath(std::uint16_t vid, std::uint16_t pid, int interfaceNumber, int bus,
                                 const std::vector<int>& ports);
std::string ChildLocationPath(const std::string& parentLocation, int port);
std::string FunctionLocationPath(const std::string& deviceLocation, int interfaceNumber);
// The port path ("1-1.3") of a device's or function's location path: the same
// for the device and its functions, and across its resets. Empty for a root
// hub or a path of another shape.
std::string PortPathOfLocation(const std::string& location);

}  // namespace platform
