#pragma once
// The bytes exchanged with the proxy driver: the request record of its three
// requests and the URBs of the five control-transfer kinds, each in the
// narrow layout (32-bit pointers) and the wide layout (64-bit pointers).
//
// Pointers in records and URBs are addresses of the caller's memory as the
// driver sees it (ProxyMemory): 32-bit values, zero-extended in the record
// and, as the wide URB requires, sign-extended in the URB's buffer field.
#include <cstddef>
#include <cstdint>
#include <vector>

enum class ProxyLayout { kNarrow, kWide };

// Driver request codes.
inline constexpr std::uint32_t kProxyOpenDeviceCode = 0x222C4C;
inline constexpr std::uint32_t kProxyCloseDeviceCode = 0x222C44;
inline constexpr std::uint32_t kProxySubmitUrbCode = 0x222C48;

// URB function codes.
inline constexpr std::uint16_t kUrbFunctionGetDescriptorFromDevice = 0x0B;
inline constexpr std::uint16_t kUrbFunctionVendorDevice = 0x17;
inline constexpr std::uint16_t kUrbFunctionClassInterface = 0x1B;

// URB status values the driver writes back (0 is success).
inline constexpr std::uint32_t kUsbdStatusSuccess = 0;
inline constexpr std::uint32_t kUsbdStatusStallPid = 0xC0000004;
inline constexpr std::uint32_t kUsbdStatusTimeout = 0xC0006000;
inline constexpr std::uint32_t kUsbdStatusDeviceGone = 0xC0007000;
inline constexpr std::uint32_t kUsbdStatusInvalidUrbFunction = 0x80000200;
inline constexpr std::uint32_t kUsbdStatusInvalidParameter = 0x80000300;
inline constexpr std::uint32_t kUsbdStatusRequestFailed = 0x80000500;

inline constexpr std::uint32_t kUsbdTransferDirectionIn = 1;

std::size_t RequestRecordSize(ProxyLayout layout);  // 24 or 40
std::size_t UrbSize(ProxyLayout layout);            // 0x50 or 0x88
// The layout of a record of the given size; false for any other size.
bool LayoutOfRecordSize(std::size_t size, ProxyLayout& layout);

struct ProxyRequestRecord {
  std::uint32_t deviceFileHandle = 0;
  std::uint32_t tokenLow = 0;
  std::uint32_t tokenHigh = 0;
  std::uint32_t urbAddress = 0;
  std::uint32_t timeoutMs = 0;
};

std::vector<std::uint8_t> EncodeRequestRecord(ProxyLayout layout, const ProxyRequestRecord& record);
// False when the size does not fit the layout or a pointer's high half is
// not zero.
bool DecodeRequestRecord(ProxyLayout layout, const std::uint8_t* bytes, std::size_t size,
                         ProxyRequestRecord& record);

// The fields of a URB that the program and the driver use. For the
// descriptor request, `value` carries nothing and `descriptorIndex`,
// `descriptorType` and `languageId` the descriptor's identity.
struct ProxyUrb {
  std::uint16_t function = 0;
  std::uint32_t status = 0;
  std::uint32_t transferFlags = 0;
  std::uint32_t transferBufferLength = 0;
  std::uint32_t transferBuffer = 0;
  std::uint8_t requestTypeReservedBits = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint8_t descriptorIndex = 0;
  std::uint8_t descriptorType = 0;
  std::uint16_t languageId = 0;
};

// Writes the whole URB (UrbSize bytes, all unset bytes zero).
void EncodeUrb(ProxyLayout layout, const ProxyUrb& urb, std::uint8_t* bytes);
// False when the header's length does not match the layout or the buffer
// pointer is not a sign-extended 32-bit address.
bool DecodeUrb(ProxyLayout layout, const std::uint8_t* bytes, ProxyUrb& urb);
// What the driver writes back after running a URB: status and bytes moved.
void WriteUrbResult(ProxyLayout layout, std::uint8_t* bytes, std::uint32_t status, std::uint32_t transferred);
