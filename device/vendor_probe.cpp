#include "device/vendor_probe.h"

#include <algorithm>

#include "platform/error_codes.h"

using namespace platform;

namespace {
constexpr std::uint32_t kRequestTimeoutMs = 5000;
constexpr std::uint8_t kStatusRequest = 0x07;
constexpr std::uint8_t kOneByteRequest = 0x06;
constexpr std::uint8_t kCommandControl = 10;
constexpr std::uint8_t kDataControl = 11;
constexpr std::uint8_t kSetCur = 0x01;
constexpr std::uint8_t kGetCur = 0x81;
}  // namespace

std::uint32_t VendorStatusRead(ProxyDriverChannel& channel, DeviceToken token, std::span<std::uint8_t> out) {
  for (std::size_t at = 0, word = 0; at < out.size(); at += 8, ++word) {
    std::uint8_t unit[8] = {};
    std::uint32_t moved = 0;
    std::uint32_t error = VendorDeviceRequest(channel, token, 0xC0, kStatusRequest, std::uint16_t(word & 0xFF), 0,
                                              unit, 8, true, &moved, kRequestTimeoutMs);
    if (error != kErrorSuccess) return error;
    if (moved < 8) return kErrorInvalidData;
    std::copy_n(unit, std::min<std::size_t>(8, out.size() - at), out.begin() + std::ptrdiff_t(at));
  }
  return kErrorSuccess;
}

std::uint32_t VendorOneByteRead(ProxyDriverChannel& channel, DeviceToken token, std::uint16_t value,
                                std::uint8_t& byte) {
  return VendorDeviceRequest(channel, token, 0xC0, kOneByteRequest, value, 0, &byte, 1, true, nullptr,
                             kRequestTimeoutMs);
}

bool ExtensionUnitSignatureCheck(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t unitId,
                                 std::uint8_t interfaceNumber) {
  std::uint8_t command[8] = {0x00, 0xD0, 0, 0, 8, 0, 0, 0};
  if (ClassInterfaceRequest(channel, token, 0x21, kSetCur, kCommandControl, unitId, interfaceNumber, command, 8,
                            false, nullptr, kRequestTimeoutMs) != kErrorSuccess)
    return false;
  std::uint8_t answer[8] = {};
  std::uint32_t moved = 0;
  return ClassInterfaceRequest(channel, token, 0xA1, kGetCur, kDataControl, unitId, interfaceNumber, answer, 8,
                               true, &moved, kRequestTimeoutMs) == kErrorSuccess &&
         moved == 8 && std::equal(answer, answer + 8, kVendorSignature);
}

bool HasVendorSignature(std::span<const std::uint8_t> status) {
  return status.size() >= kSignatureOffset + 8 &&
         std::equal(kVendorSignature, kVendorSignature + 8, status.begin() + kSignatureOffset);
}
