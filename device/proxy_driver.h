#pragma once
// What the program talks to: the proxy driver's control device, and the
// device files (opened device interfaces) whose handles the driver turns into
// device tokens.
#include <cstddef>
#include <cstdint>

// An opened control device of the proxy driver.
class ProxyControlDevice {
 public:
  virtual ~ProxyControlDevice() = default;
  // Runs one driver request on the record (input and, for the open request,
  // output). kErrorSuccess or the error number of the failed request.
  virtual std::uint32_t DeviceControl(std::uint32_t code, std::uint8_t* record, std::size_t size) = 0;
};

// Opening and closing a device's interface, as the device layer does before
// it asks the driver for a token.
class DeviceFiles {
 public:
  static constexpr std::uint32_t kInvalidHandle = 0xFFFFFFFF;

  virtual ~DeviceFiles() = default;
  // The handle of the node's device interface, or kInvalidHandle with `error`
  // set.
  virtual std::uint32_t OpenDeviceFile(std::uint32_t instance, std::uint32_t& error) = 0;
  virtual void CloseDeviceFile(std::uint32_t handle) = 0;
};
