#pragma once
// The channel to the proxy driver: the process-wide record, the driver's
// three requests and the builders of the control transfers the program uses.
//
// Every function returns kErrorSuccess or an error number: the driver
// request's own failure (kErrorDeviceNotConnected, kErrorTimeout,
// kErrorNotReady, ...), or kErrorGenFailure when the request went through but
// the URB's USB status reports a failure (a stall).
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "device/proxy_driver.h"
#include "device/proxy_layout.h"
#include "device/proxy_memory.h"
#include "platform/named_mutex.h"

// The 64-bit value by which the driver knows an opened device; 0 is none.
using DeviceToken = std::uint64_t;

// Processor architectures, as indices of the driver images.
inline constexpr int kArchX86 = 0;
inline constexpr int kArchX64 = 1;
inline constexpr int kArchArm64 = 3;
inline constexpr int kArchUnknown = 4;

inline constexpr char kInstallLockName[] = "RefCountMutex_2021_07_08";

struct ProxyDriverChannel {
  std::string driverName = "VexUapx";
  // Driver images by architecture index (2 has none).
  std::array<std::span<const std::uint8_t>, 4> images{};
  // The opened control device; null while not open.
  std::unique_ptr<ProxyControlDevice> controlDevice;
  bool wow64 = false;
  int architecture = kArchX86;
  std::unique_ptr<platform::NamedMutex> installLock;
  // The record layout, fixed when the library starts: wide under WOW64.
  ProxyLayout layout = ProxyLayout::kNarrow;
  // The caller's memory as the driver sees it.
  ProxyMemory memory;
  // Running totals of the control transfers submitted on this channel and
  // the bytes they moved (data stages that completed).
  std::uint64_t transfers = 0;
  std::uint64_t bytes = 0;
};

inline constexpr std::uint32_t kDescriptorTimeoutMs = 5000;

// The token of the device whose interface `deviceFileHandle` is open. The
// token is zeroed first in every case.
std::uint32_t ProxyOpenDevice(ProxyDriverChannel& channel, std::uint32_t deviceFileHandle, DeviceToken& token);
std::uint32_t ProxyCloseDevice(ProxyDriverChannel& channel, DeviceToken token);
// Runs the URB (UrbSize bytes of the channel's layout, mapped by the caller)
// on the device; the driver writes status, length and data in place.
std::uint32_t ProxySubmitUrb(ProxyDriverChannel& channel, DeviceToken token, std::uint32_t urbAddress,
                             std::uint32_t timeoutMs);

// A class request to an interface's entity (the extension unit):
// wValue = control selector << 8, wIndex = entity << 8 | interface.
// `transferred`, when given, is set only on success.
std::uint32_t ClassInterfaceRequest(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t requestType,
                                    std::uint8_t request, std::uint8_t controlSelector, std::uint8_t entityId,
                                    std::uint8_t interfaceNumber, std::uint8_t* buffer, std::uint16_t length,
                                    bool deviceToHost, std::uint32_t* transferred, std::uint32_t timeoutMs);
// A vendor request to the device (endpoint 0).
std::uint32_t VendorDeviceRequest(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t requestType,
                                  std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                  std::uint8_t* buffer, std::uint16_t length, bool deviceToHost,
                                  std::uint32_t* transferred, std::uint32_t timeoutMs);
// The 18-byte device descriptor; fails unless exactly 18 bytes came back.
std::uint32_t GetDeviceDescriptor(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t* buffer18);
// The configuration descriptor's first `length` bytes; fails unless exactly
// that many came back.
std::uint32_t GetConfigDescriptor(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t* buffer,
                                  std::uint16_t length);
// A string descriptor; `transferred`, when given, receives its length.
std::uint32_t GetStringDescriptor(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t* buffer,
                                  std::uint16_t length, std::uint8_t index, std::uint16_t language,
                                  std::uint32_t* transferred = nullptr);
