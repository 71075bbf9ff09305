#pragma once
// The error numbers the device layer speaks: the platform errors of the
// original design, and their HRESULT form. Every USB backend maps its own
// failures onto these.
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorNotReady = 21;
inline constexpr std::uint32_t kErrorGenFailure = 31;  // the transfer's USB status failed (stall)
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;
inline constexpr std::uint32_t kErrorTimeout = 1460;

inline constexpr std::int32_t HResultFromWin32(std::uint32_t error) {
  return error == 0 ? 0 : static_cast<std::int32_t>((error & 0xFFFF) | 0x80070000u);
}

inline constexpr std::int32_t kEInvalidArg = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t kENotImpl = static_cast<std::int32_t>(0x80004001u);
inline constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kHrDeviceNotConnected = HResultFromWin32(kErrorDeviceNotConnected);

}  // namespace platform
