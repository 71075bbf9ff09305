#pragma once
// The two kinds of control transfer the command channels send to an opened
// codec: class requests to an entity of its audio-control interface, and
// vendor requests to the device. In the program they travel through the proxy
// driver channel with the device token of the opened record; tests put a
// scripted codec behind them.
#include <cstdint>

class ControlPipe {
 public:
  virtual ~ControlPipe() = default;
  // bmRequestType bit 7 set: device to host. wValue = control selector << 8,
  // wIndex = entity << 8 | interface. Returns 0 or the platform error number
  // (platform/error_codes.h); `transferred` holds the bytes moved on success.
  virtual std::uint32_t ClassRequest(std::uint8_t requestType, std::uint8_t request, std::uint8_t controlSelector,
                                     std::uint8_t entity, std::uint8_t interfaceNumber, std::uint8_t* data,
                                     std::uint16_t length, std::uint32_t timeoutMs,
                                     std::uint32_t* transferred) = 0;
  virtual std::uint32_t VendorRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                      std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                                      std::uint32_t timeoutMs, std::uint32_t* transferred) = 0;
};
