#pragma once
// An opened codec as the device layer describes it, and what enumeration
// lists. Texts are UTF-8.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/proxy_driver_channel.h"
#include "platform/usb_host.h"

// "VXCD" read as a little-endian 32-bit value: marks a valid record.
inline constexpr std::uint32_t kDeviceRecordTag = 0x44435856;
inline constexpr std::size_t kMaxParentChain = 31;

// What the device layer works on: the USB host's device tree, the device
// files, and the proxy driver channel.
struct DeviceAccess {
  platform::UsbHost& host;
  DeviceFiles& files;
  ProxyDriverChannel& channel;
};

struct DeviceListEntry {
  std::uint32_t deviceInstance = 0;  // the USB device after the matching pass
  std::string name;
  std::string identityPrefix;  // the function's instance path before "&MI_"
  std::string location;        // the function's location path
};

struct DeviceCaps {
  std::array<std::uint8_t, 18> deviceDescriptor{};
  std::vector<std::uint8_t> configDescriptor;  // wTotalLength bytes
  // The codec speaks the vendor protocol, on one of its channels at least.
  bool vendorSignature = false;
  bool extensionUnitPresent = false;  // the configuration names the vendor's unit
  bool extensionUnitAnswers = false;  // and the unit answers its signature check
  bool vendorChannel = false;         // vendor requests answer with the signature
  std::uint32_t unitId = 0;
  std::array<std::uint8_t, 96> status{};  // status words 0 to 11
};

// Setup classes of a record.
inline constexpr std::uint32_t kKindMedia = 0;
inline constexpr std::uint32_t kKindUsb = 1;

struct DeviceRecord {
  std::uint32_t tag = 0;
  std::uint32_t reserved = 0;
  DeviceToken token = 0;
  std::uint32_t deviceInstance = 0;  // the opened function's own node
  std::uint32_t interfaceHandle = DeviceFiles::kInvalidHandle;
  std::uint32_t hubSpeedClass = 0;  // 3, 2 or 1
  std::string name;
  std::uint32_t kind = kKindMedia;
  std::uint32_t address = 0;
  std::array<std::uint32_t, kMaxParentChain> parentChain{};  // nearest parent first
  std::string location;
  std::uint32_t interfaceNumber = 0;
  // One more than the parents recorded (a fresh record holds 1).
  std::uint32_t chainLength = 0;
  std::unique_ptr<DeviceCaps> caps;

  bool Valid() const { return tag == kDeviceRecordTag && deviceInstance != 0; }
  std::span<const std::uint32_t> Parents() const {
    return {parentChain.data(), chainLength > 0 ? chainLength - 1 : 0};
  }
};

// What the hub walk reports for a USB device on a hub port.
struct HubWalkEntry {
  std::uint32_t deviceInstance = 0;
  std::string interfacePath;  // the device's instance path
  std::uint16_t bcdDevice = 0;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::uint32_t port = 0;
  std::string serialNumber;
  std::string manufacturer;
};
