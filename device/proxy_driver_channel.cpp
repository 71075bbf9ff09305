#include "device/proxy_driver_channel.h"

#include <vector>

#include "platform/error_codes.h"

using namespace platform;

namespace {

std::uint32_t Request(ProxyDriverChannel& channel, std::uint32_t code, std::vector<std::uint8_t>& record) {
  if (!channel.controlDevice) return kErrorPathNotFound;
  return channel.controlDevice->DeviceControl(code, record.data(), record.size());
}

ProxyRequestRecord RecordFor(DeviceToken token) {
  ProxyRequestRecord r;
  r.tokenLow = std::uint32_t(token);
  r.tokenHigh = std::uint32_t(token >> 32);
  return r;
}

// Maps the buffer and the URB, submits it and reads back status and length.
std::uint32_t RunUrb(ProxyDriverChannel& channel, DeviceToken token, ProxyUrb urb, std::uint8_t* buffer,
                     std::uint16_t length, std::uint32_t timeoutMs, std::uint32_t& transferred) {
  if (!channel.controlDevice) return kErrorPathNotFound;
  ProxyMapping data(channel.memory, buffer, length);
  std::uint8_t bytes[0x88];
  ProxyMapping urbMapping(channel.memory, bytes, UrbSize(channel.layout));
  if (!data.Address() || !urbMapping.Address()) return kErrorNotEnoughMemory;
  urb.transferBuffer = data.Address();
  urb.transferBufferLength = length;
  EncodeUrb(channel.layout, urb, bytes);
  // Every control transfer of the program passes here: the running totals
  // count each one submitted, and the bytes of each that completed.
  ++channel.transfers;
  std::uint32_t error = ProxySubmitUrb(channel, token, urbMapping.Address(), timeoutMs);
  if (error != kErrorSuccess) return error;
  ProxyUrb done;
  if (!DecodeUrb(channel.layout, bytes, done)) return kErrorInvalidData;
  if (done.status != kUsbdStatusSuccess) return kErrorGenFailure;
  if (done.transferBufferLength > length) return kErrorInvalidData;
  transferred = done.transferBufferLength;
  channel.bytes += transferred;
  return kErrorSuccess;
}

std::uint32_t DescriptorRequest(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t type,
                                std::uint8_t index, std::uint16_t language, std::uint8_t* buffer,
                                std::uint16_t length, std::uint32_t& transferred) {
  ProxyUrb urb;
  urb.function = kUrbFunctionGetDescriptorFromDevice;
  urb.descriptorType = type;
  urb.descriptorIndex = index;
  urb.languageId = language;
  return RunUrb(channel, token, urb, buffer, length, kDescriptorTimeoutMs, transferred);
}

}  // namespace

std::uint32_t ProxyOpenDevice(ProxyDriverChannel& channel, std::uint32_t deviceFileHandle, DeviceToken& token) {
  token = 0;
  if (deviceFileHandle == DeviceFiles::kInvalidHandle) return kErrorInvalidParameter;
  if (!channel.controlDevice) return kErrorPathNotFound;
  ProxyRequestRecord r;
  r.deviceFileHandle = deviceFileHandle;
  auto record = EncodeRequestRecord(channel.layout, r);
  std::uint32_t error = Request(channel, kProxyOpenDeviceCode, record);
  if (error != kErrorSuccess) return error;
  if (!DecodeRequestRecord(channel.layout, record.data(), record.size(), r)) return kErrorInvalidData;
  token = (DeviceToken(r.tokenHigh) << 32) | r.tokenLow;
  return kErrorSuccess;
}

std::uint32_t ProxyCloseDevice(ProxyDriverChannel& channel, DeviceToken token) {
  auto record = EncodeRequestRecord(channel.layout, RecordFor(token));
  return Request(channel, kProxyCloseDeviceCode, record);
}

std::uint32_t ProxySubmitUrb(ProxyDriverChannel& channel, DeviceToken token, std::uint32_t urbAddress,
                             std::uint32_t timeoutMs) {
  ProxyRequestRecord r = RecordFor(token);
  r.urbAddress = urbAddress;
  r.timeoutMs = timeoutMs;
  auto record = EncodeRequestRecord(channel.layout, r);
  return Request(channel, kProxySubmitUrbCode, record);
}

std::uint32_t ClassInterfaceRequest(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t requestType,
                                    std::uint8_t request, std::uint8_t controlSelector, std::uint8_t entityId,
                                    std::uint8_t interfaceNumber, std::uint8_t* buffer, std::uint16_t length,
                                    bool deviceToHost, std::uint32_t* transferred, std::uint32_t timeoutMs) {
  ProxyUrb urb;
  urb.function = kUrbFunctionClassInterface;
  urb.transferFlags = deviceToHost ? kUsbdTransferDirectionIn : 0;
  urb.requestTypeReservedBits = requestType;
  urb.request = request;
  urb.value = std::uint16_t(controlSelector << 8);
  urb.index = std::uint16_t((entityId << 8) + interfaceNumber);
  std::uint32_t moved = 0;
  std::uint32_t error = RunUrb(channel, token, urb, buffer, length, timeoutMs, moved);
  if (error == kErrorSuccess && transferred) *transferred = moved;
  return error;
}

std::uint32_t VendorDeviceRequest(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t requestType,
                                  std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                  std::uint8_t* buffer, std::uint16_t length, bool deviceToHost,
                                  std::uint32_t* transferred, std::uint32_t timeoutMs) {
  ProxyUrb urb;
  urb.function = kUrbFunctionVendorDevice;
  urb.transferFlags = deviceToHost ? kUsbdTransferDirectionIn : 0;
  urb.requestTypeReservedBits = requestType;
  urb.request = request;
  urb.value = value;
  urb.index = index;
  std::uint32_t moved = 0;
  std::uint32_t error = RunUrb(channel, token, urb, buffer, length, timeoutMs, moved);
  if (error == kErrorSuccess && transferred) *transferred = moved;
  return error;
}

std::uint32_t GetDeviceDescriptor(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t* buffer18) {
  std::uint32_t moved = 0;
  std::uint32_t error = DescriptorRequest(channel, token, 1, 0, 0, buffer18, 18, moved);
  if (error == kErrorSuccess && moved != 18) return kErrorInvalidData;
  return error;
}

std::uint32_t GetConfigDescriptor(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t* buffer,
                                  std::uint16_t length) {
  std::uint32_t moved = 0;
  std::uint32_t error = DescriptorRequest(channel, token, 2, 0, 0, buffer, length, moved);
  if (error == kErrorSuccess && moved != length) return kErrorInvalidData;
  return error;
}

std::uint32_t GetStringDescriptor(ProxyDriverChannel& channel, DeviceToken token, std::uint8_t* buffer,
                                  std::uint16_t length, std::uint8_t index, std::uint16_t language,
                                  std::uint32_t* transferred) {
  std::uint32_t moved = 0;
  std::uint32_t error = DescriptorRequest(channel, token, 3, index, language, buffer, length, moved);
  if (error == kErrorSuccess && transferred) *transferred = moved;
  return error;
}
