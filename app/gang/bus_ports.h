#pragma once
// Which USB ports hold a device now, named as the subcommands name them
// ("1-1.3": bus, then the port chain), read from the USB host's device tree.
#include <set>
#include <string>

#include "platform/usb_host.h"

// The ports with a USB device (no hub, no function) on them.
std::set<std::string> OccupiedPorts(platform::UsbHost& host);
