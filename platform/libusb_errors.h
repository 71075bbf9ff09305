#pragma once
// How the libusb backend reports its failures: libusb's error codes mapped onto
// the error numbers of the device layer, and the text that tells the operator
// how to get permission to open the codec.
#include <cstdint>
#include <string>

namespace platform {

// The udev rule shipped with the program; it gives the logged-in user access
// to the vendor's devices in their running and update modes.
inline constexpr char kUdevRuleFile[] = "70-tessaload.rules";

// LIBUSB_SUCCESS and non-negative values give kErrorSuccess; every libusb
// error gives the number the device layer reacts to: a device that left the
// bus kErrorDeviceNotConnected, a time-out kErrorTimeout, a stall or another
// failed USB status kErrorGenFailure, missing permission kErrorAccessDenied.
std::uint32_t ErrorFromLibusb(int libusbError);

// The message for a device that may not be opened (kErrorAccessDenied).
std::string UsbAccessDeniedText();

}  // namespace platform
