#include "device/device_enumeration.h"
#include "device/ext_unit_direct.h"
#include "device/le_bytes.h"
#include "device/proxy_control_pipe.h"
#include "device/vendor_probe.h"
#include "device/vendor_request_direct.h"
#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/vendor.h"

using namespace platform;

namespace {

constexpr std::uint8_t kInterfaceDescriptor = 4;
constexpr std::uint8_t kClassSpecificInterface = 0x24;
constexpr std::uint8_t kExtensionUnitUac1 = 8;
constexpr std::uint8_t kExtensionUnitUac2 = 9;
constexpr std::size_t kConfigHeaderSize = 9;
constexpr std::size_t kStatusProbeBytes = 32;

// The whole configuration descriptor: its header, then wTotalLength bytes.
std::uint32_t ReadConfigDescriptor(DeviceAccess& access, DeviceToken token, std::vector<std::uint8_t>& config) {
  std::uint8_t header[kConfigHeaderSize];
  std::uint32_t error = GetConfigDescriptor(access.channel, token, header, kConfigHeaderSize);
  if (error != kErrorSuccess) return error;
  const std::uint16_t total = GetLe16(header + 2);
  if (total < kConfigHeaderSize) return kErrorInvalidData;
  config.assign(total, 0);
  return GetConfigDescriptor(access.channel, token, config.data(), total);
}

}  // namespace

int FindExtensionUnit(std::span<const std::uint8_t> config) {
  bool afterInterface = false;
  for (std::size_t at = 0; at + 2 <= config.size();) {
    const std::uint8_t length = config[at];
    const std::uint8_t type = config[at + 1];
    if (length < 2 || at + length > config.size()) break;  // malformed: stop rather than run off
    if (!afterInterface) {
      afterInterface = type == kInterfaceDescriptor;
    } else {
      if (type != kClassSpecificInterface) break;
      const std::uint8_t subtype = length > 2 ? config[at + 2] : 0;
      if ((subtype == kExtensionUnitUac1 || subtype == kExtensionUnitUac2) && length >= 6 &&
          GetLe16(&config[at + 4]) == kVendorId)
        return config[at + 3];
    }
    at += length;
  }
  return -1;
}

int ReadDeviceCaps(DeviceAccess& access, DeviceRecord& record, int force) {
  if (!force && record.caps) return 1;
  auto caps = std::make_unique<DeviceCaps>();
  if (GetDeviceDescriptor(access.channel, record.token, caps->deviceDescriptor.data()) != kErrorSuccess ||
      ReadConfigDescriptor(access, record.token, caps->configDescriptor) != kErrorSuccess)
    return 0;

  const int unit = FindExtensionUnit(caps->configDescriptor);
  if (unit >= 0) {
    caps->extensionUnitPresent = true;
    caps->unitId = std::uint32_t(unit);
    ProxyControlPipe pipe(access.channel, record.token);
    const ExtUnitAddress address{pipe, std::uint8_t(unit), std::uint8_t(record.interfaceNumber),
                                 access.host.HostClock(), record.location};
    std::array<std::uint8_t, 96> status{};
    if (VendorStatusRead(pipe, 0, std::uint32_t(status.size()), status.data()) == kErrorSuccess &&
        HasVendorSignature(status)) {
      caps->status = status;
      caps->vendorSignature = caps->vendorChannel = true;
      caps->extensionUnitAnswers = ExtUnitSignatureCheck(address) == 1;
    } else {
      std::uint8_t ignored = 0;
      VendorOneByteRead(pipe, 0, ignored);
      // A codec that answers only its extension unit speaks the protocol there.
      if (ExtUnitSignatureCheck(address) == 1 &&
          ExtUnitStatusRead(address, std::uint32_t(status.size()), status.data()) == 1 &&
          HasVendorSignature(status)) {
        caps->status = status;
        caps->vendorSignature = caps->extensionUnitAnswers = true;
      }
    }
  }
  record.caps = std::move(caps);
  return 1;
}

bool CheckDeviceChannels(DeviceAccess& access, DeviceRecord& record, std::uint32_t& unitId, bool& oneByteRead,
                         bool& vendorSignature) {
  unitId = 0;
  oneByteRead = false;  // no check here establishes the one-byte channel
  vendorSignature = false;
  std::vector<std::uint8_t> config;
  if (ReadConfigDescriptor(access, record.token, config) != kErrorSuccess) return false;
  ProxyControlPipe pipe(access.channel, record.token);
  std::array<std::uint8_t, kStatusProbeBytes> status{};
  vendorSignature = VendorStatusRead(pipe, 0, std::uint32_t(status.size()), status.data()) == kErrorSuccess &&
                    HasVendorSignature(status);
  bool unitAnswered = false;
  if (record.kind == kKindMedia || record.kind == kKindUsb) {
    const int unit = FindExtensionUnit(config);
    if (unit >= 0) {
      unitId = std::uint32_t(unit);
      unitAnswered = ExtUnitSignatureCheck({pipe, std::uint8_t(unit), std::uint8_t(record.interfaceNumber),
                                            access.host.HostClock()}) == 1;
    }
  }
  return vendorSignature || unitAnswered;
}
