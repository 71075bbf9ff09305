#include "platform/libusb_errors.h"

#include <libusb.h>

#include "platform/error_codes.h"

namespace platform {

std::uint32_t ErrorFromLibusb(int libusbError) {
  if (libusbError >= 0) return kErrorSuccess;
  switch (libusbError) {
    case LIBUSB_ERROR_NO_DEVICE:
      return kErrorDeviceNotConnected;
    case LIBUSB_ERROR_TIMEOUT:
      return kErrorTimeout;
    case LIBUSB_ERROR_ACCESS:
    case LIBUSB_ERROR_BUSY:  // another program holds the interface
      return kErrorAccessDenied;
    case LIBUSB_ERROR_NOT_FOUND:
      return kErrorFileNotFound;
    case LIBUSB_ERROR_INVALID_PARAM:
      return kErrorInvalidParameter;
    case LIBUSB_ERROR_NO_MEM:
      return kErrorNotEnoughMemory;
    default:
      // LIBUSB_ERROR_PIPE (stall), _IO, _OVERFLOW, _INTERRUPTED, _NOT_SUPPORTED
      // and _OTHER: the transfer did not complete with a good USB status.
      return kErrorGenFailure;
  }
}

std::string UsbAccessDeniedText() {
  return std::string("No permission to open the USB codec. Install the udev rule: sudo cp ") + kUdevRuleFile +
         " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger, then plug the "
         "codec in again.";
}

}  // namespace platform
