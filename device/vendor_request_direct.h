#pragma once
// Vendor requests sent without a channel object, while a device is opened or
// reset. Results are 0 or the platform error number.
#include <cstdint>

class ControlPipe;

// wValue of the memory form: address bits 16-19 in bits 8-11, length bits
// 16-19 in bits 12-15, a parameter byte in bits 0-7.
constexpr std::uint16_t MemoryFormValue(std::uint32_t address, std::uint32_t length, std::uint8_t parameter) {
  return std::uint16_t(((address >> 16) & 0x0F) << 8 | ((length >> 16) & 0x0F) << 12 | parameter);
}

// 8-byte status words from `start`; a tail is read as a whole word.
std::uint32_t VendorStatusRead(ControlPipe& pipe, std::uint32_t start, std::uint32_t count, std::uint8_t* out);
std::uint32_t VendorMemoryRead(ControlPipe& pipe, std::uint16_t address, std::uint16_t length, std::uint8_t* out);
std::uint32_t VendorMemoryWrite(ControlPipe& pipe, std::uint16_t address, std::uint16_t length,
                                const std::uint8_t* data);
// Kind 7, 8 or 9 (requests 0x20, 0x21, 0x22); any other kind: E_INVALIDARG.
std::uint32_t VendorReset(ControlPipe& pipe, std::uint16_t value, int kind);
std::uint32_t VendorOneByteRead(ControlPipe& pipe, std::uint16_t value, std::uint8_t& out);
std::uint32_t VendorIndexedReset(ControlPipe& pipe, std::uint16_t value, std::uint16_t kind);
