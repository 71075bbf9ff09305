#pragma once
// Which USB ports hold a device now, named as the subcommands name them
// ("1-1.3": bus, then the port chain), read from the USB host's device tree.
#include <set>
#include <string>

#include "platform/usb_host.h"

// The port path of a device node's location path
// ("PCIROOT(0)#PCI(0100)#USBROOT(0)#USB(1)#USB(3)" is "1-1.3"); empty for a
// root hub, a function, or a path of another shape.
std::string PortOfLocation(const std::string& locationPath);

// The ports with a USB device (no hub, no function) on them.
std::set<std::string> OccupiedPorts(platform::UsbHost& host);
