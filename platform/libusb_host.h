#pragma once
// The USB host on real hardware, through libusb-1.0.
//
// Vendor requests go straight to endpoint 0. A class request to an interface
// (the extension unit of the audio-control interface) first claims that
// interface; the kernel's audio driver is detached for as long as the claim
// lasts, and the claim lasts until the opened device is closed, when the
// audio driver is attached again. Claiming once per opened device rather than
// once per request keeps the audio driver from being rebound for every
// command of a long transfer.
#include <cstdint>
#include <memory>

#include "platform/usb_host.h"

namespace platform {

// Null with `error` set when libusb cannot be started.
std::unique_ptr<UsbHost> CreateLibusbHost(std::uint32_t& error);

}  // namespace platform
