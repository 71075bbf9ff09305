#pragma once
// The simulator as the program's USB host: `TESSALOAD_SIM=DIR` makes the
// program use OpenBench(DIR) instead of the libusb backend.
#include <memory>
#include <string>

#include "platform/usb_host.h"

namespace sim {

// The bench in `folder` as a USB host whose HostClock() is the bench's
// virtual clock. Null, with `error` naming the problem, when the folder holds
// no bench. Every change to a codec is in the folder when the transfer that
// made it ends (sim/README.md: several programs on one bench).
std::unique_ptr<platform::UsbHost> OpenBench(const std::string& folder, std::string& error);

}  // namespace sim
