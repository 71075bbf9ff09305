#include "device/codec_locks.h"

#include "platform/usb_paths.h"

std::string CodecLockName(std::string_view base, const std::string& location) {
  return CodecLockNameOfPort(base, platform::PortPathOfLocation(location));
}

std::string CodecLockNameOfPort(std::string_view base, const std::string& port) {
  std::string name(base);
  if (!port.empty()) name += "@" + port;
  return name;
}
