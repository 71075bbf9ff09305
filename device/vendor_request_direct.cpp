#include "device/vendor_request_direct.h"

#include <cstring>

#include "device/control_pipe.h"
#include "device/vendor_request_v2.h"
#include "platform/error_codes.h"

namespace {
constexpr std::uint8_t kOut = 0x40, kIn = 0xC0;
}  // namespace

std::uint32_t VendorStatusRead(ControlPipe& pipe, std::uint32_t start, std::uint32_t count, std::uint8_t* out) {
  for (std::uint32_t w = 0; w * 8 < count; ++w) {
    std::uint8_t word[8] = {};
    std::uint32_t got = 0;
    if (std::uint32_t e = pipe.VendorRequest(kIn, 0x07, std::uint8_t(start + w), 0, word, 8,
                                             kVendorRequestTimeoutMs, &got))
      return e;
    if (got < 8) return std::uint32_t(platform::kEFail);
    std::memcpy(out + w * 8, word, count - w * 8 < 8 ? count - w * 8 : 8);
  }
  return 0;
}

std::uint32_t VendorMemoryRead(ControlPipe& pipe, std::uint16_t address, std::uint16_t length, std::uint8_t* out) {
  std::uint32_t got = 0;
  return pipe.VendorRequest(kIn, 0x25, 0, address, out, length, kVendorRequestTimeoutMs, &got);
}

std::uint32_t VendorMemoryWrite(ControlPipe& pipe, std::uint16_t address, std::uint16_t length,
                                const std::uint8_t* data) {
  std::uint32_t got = 0;
  return pipe.VendorRequest(kOut, 0x24, 0, address, const_cast<std::uint8_t*>(data), length,
                            kVendorRequestTimeoutMs, &got);
}

std::uint32_t VendorReset(ControlPipe& pipe, std::uint16_t value, int kind) {
  if (kind < 7 || kind > 9) return std::uint32_t(platform::kEInvalidArg);
  std::uint32_t got = 0;
  return pipe.VendorRequest(kOut, std::uint8_t(0x20 + (kind - 7)), value, 0, nullptr, 0, kVendorRequestTimeoutMs,
                            &got);
}

std::uint32_t VendorOneByteRead(ControlPipe& pipe, std::uint16_t value, std::uint8_t& out) {
  std::uint32_t got = 0;
  return pipe.VendorRequest(kIn, 0x06, value, 0, &out, 1, kVendorRequestTimeoutMs, &got);
}

std::uint32_t VendorIndexedReset(ControlPipe& pipe, std::uint16_t value, std::uint16_t kind) {
  std::uint32_t got = 0;
  return pipe.VendorRequest(kOut, 0x01, value, kind, nullptr, 0, kVendorRequestTimeoutMs, &got);
}
