#pragma once
// The command channels' requests as the proxy driver carries them: for one
// opened device (its token) on the process-wide driver channel.
#include "device/control_pipe.h"
#include "device/proxy_driver_channel.h"

class ProxyControlPipe final : public ControlPipe {
 public:
  ProxyControlPipe(ProxyDriverChannel& channel, DeviceToken token) : channel_(channel), token_(token) {}

  std::uint32_t ClassRequest(std::uint8_t requestType, std::uint8_t request, std::uint8_t controlSelector,
                             std::uint8_t entity, std::uint8_t interfaceNumber, std::uint8_t* data,
                             std::uint16_t length, std::uint32_t timeoutMs, std::uint32_t* transferred) override {
    return ClassInterfaceRequest(channel_, token_, requestType, request, controlSelector, entity, interfaceNumber,
                                 data, length, (requestType & 0x80) != 0, transferred, timeoutMs);
  }
  std::uint32_t VendorRequest(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                              std::uint16_t index, std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs,
                              std::uint32_t* transferred) override {
    return VendorDeviceRequest(channel_, token_, requestType, request, value, index, data, length,
                               (requestType & 0x80) != 0, transferred, timeoutMs);
  }

 private:
  ProxyDriverChannel& channel_;
  DeviceToken token_;
};
