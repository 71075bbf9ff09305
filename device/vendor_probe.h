#pragma once
// The few vendor requests and extension-unit commands that describing a
// device needs: the status words over the vendor-request channel, the
// one-byte vendor read, and the extension unit's signature check. The
// command channels build their full request sets on the same encodings.
#include <cstdint>
#include <span>

#include "device/proxy_driver_channel.h"

// "MORVANE" and a zero byte: the answer of a codec that speaks the protocol.
inline constexpr std::uint8_t kVendorSignature[8] = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
// Where the signature sits among the status words.
inline constexpr std::size_t kSignatureOffset = 24;

// Status words from index 0 with request 0x07, one 8-byte word per request;
// a tail shorter than a word is read as a whole word. Fails on the first
// failed or short word.
std::uint32_t VendorStatusRead(ProxyDriverChannel& channel, DeviceToken token, std::span<std::uint8_t> out);
// Request 0x06: one byte read with the given value.
std::uint32_t VendorOneByteRead(ProxyDriverChannel& channel, DeviceToken token, std::uint16_t value,
                                std::uint8_t& byte);
// The extension unit's signature check: command class 0x00 opcode 0xD0 with
// length 8 on the command control, then 8 bytes from the data control. True
// when they are the signature.
bool ExtensionUnitSignatureCheck(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t unitId,
                                 std::uint8_t interfaceNumber);
bool HasVendorSignature(std::span<const std::uint8_t> status);
