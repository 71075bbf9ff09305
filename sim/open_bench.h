#pragma once
// The simulator as the program's USB host: `TESSALOAD_SIM=DIR` makes the
// program use OpenBench(DIR) instead of the libusb backend.
#include <memory>
#include <string>

#include "platform/usb_host.h"

namespace sim {

// The bench in `folder` as a USB host whose HostClock() is the bench's
// virtual clock. Null, with `error` naming the problem, when the folder holds
// no bench. Changes to the codecs are saved back to the folder when a device
// handle is closed, when a codec leaves or joins the bus, and when the host
// is destroyed.
std::unique_ptr<platform::UsbHost> OpenBench(const std::string& folder, std::string& error);

}  // namespace sim
