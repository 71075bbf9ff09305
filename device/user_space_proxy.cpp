#include "device/user_space_proxy.h"

#include "device/proxy_layout.h"

using namespace platform;

namespace {

class ForwardingControlDevice final : public ProxyControlDevice {
 public:
  explicit ForwardingControlDevice(UserSpaceProxy& proxy) : proxy_(proxy) {}
  std::uint32_t DeviceControl(std::uint32_t code, std::uint8_t* record, std::size_t size) override {
    return proxy_.DeviceControl(code, record, size);
  }

 private:
  UserSpaceProxy& proxy_;
};

// The setup packet a URB stands for; false for a function the proxy does not
// run or a request type that contradicts the URB's function and direction.
struct Setup {
  std::uint8_t requestType, request;
  std::uint16_t value, index;
};
bool SetupOf(const ProxyUrb& urb, Setup& s) {
  const bool in = urb.transferFlags & kUsbdTransferDirectionIn;
  std::uint8_t base;
  switch (urb.function) {
    case kUrbFunctionGetDescriptorFromDevice:
      s = {0x80, 0x06, std::uint16_t((urb.descriptorType << 8) | urb.descriptorIndex), urb.languageId};
      return true;
    case kUrbFunctionClassInterface:
      base = 0x21;
      break;
    case kUrbFunctionVendorDevice:
      base = 0x40;
      break;
    default:
      return false;
  }
  const std::uint8_t expected = std::uint8_t(base | (in ? 0x80 : 0));
  if ((urb.requestTypeReservedBits | expected) != expected) return false;
  s = {expected, urb.request, urb.value, urb.index};
  return true;
}

std::uint32_t UrbStatusOf(std::uint32_t error) {
  switch (error) {
    case kErrorSuccess:
      return kUsbdStatusSuccess;
    case kErrorGenFailure:
      return kUsbdStatusStallPid;
    case kErrorDeviceNotConnected:
      return kUsbdStatusDeviceGone;
    case kErrorTimeout:
      return kUsbdStatusTimeout;
    default:
      return kUsbdStatusRequestFailed;
  }
}

}  // namespace

std::uint32_t UserSpaceProxy::OpenDeviceFile(std::uint32_t instance, std::uint32_t& error) {
  std::unique_ptr<UsbDevice> device = host_.Open(instance, error);
  if (!device) return kInvalidHandle;
  std::lock_guard lock(mutex_);
  const std::uint32_t handle = nextHandle_;
  nextHandle_ += 4;
  files_[handle] = std::move(device);
  error = kErrorSuccess;
  return handle;
}

void UserSpaceProxy::CloseDeviceFile(std::uint32_t handle) {
  Device device;  // released outside the lock
  std::lock_guard lock(mutex_);
  auto it = files_.find(handle);
  if (it == files_.end()) return;
  device = std::move(it->second);
  files_.erase(it);
}

std::unique_ptr<ProxyControlDevice> UserSpaceProxy::OpenControlDevice() {
  return std::make_unique<ForwardingControlDevice>(*this);
}

std::uint32_t UserSpaceProxy::DeviceControl(std::uint32_t code, std::uint8_t* record, std::size_t size) {
  ProxyLayout layout;
  ProxyRequestRecord r;
  if (!record || !LayoutOfRecordSize(size, layout) || !DecodeRequestRecord(layout, record, size, r))
    return kErrorInvalidParameter;
  const std::uint64_t token = (std::uint64_t(r.tokenHigh) << 32) | r.tokenLow;
  Device device;
  {
    std::lock_guard lock(mutex_);
    switch (code) {
      case kProxyOpenDeviceCode: {
        auto it = files_.find(r.deviceFileHandle);
        if (it == files_.end()) return kErrorInvalidHandle;
        const std::uint64_t newToken = nextToken_++;
        tokens_[newToken] = it->second;
        r.tokenLow = std::uint32_t(newToken);
        r.tokenHigh = std::uint32_t(newToken >> 32);
        const auto bytes = EncodeRequestRecord(layout, r);
        std::copy(bytes.begin(), bytes.end(), record);
        return kErrorSuccess;
      }
      case kProxyCloseDeviceCode: {
        auto it = tokens_.find(token);
        if (it == tokens_.end()) return kErrorInvalidHandle;
        device = std::move(it->second);
        tokens_.erase(it);
        return kErrorSuccess;
      }
      case kProxySubmitUrbCode: {
        auto it = tokens_.find(token);
        if (it == tokens_.end()) return kErrorInvalidHandle;
        device = it->second;
        break;
      }
      default:
        return kErrorInvalidParameter;
    }
  }
  return Submit(device, r.urbAddress, layout, r.timeoutMs);
}

std::uint32_t UserSpaceProxy::Submit(const Device& device, std::uint32_t urbAddress, ProxyLayout layout,
                                     std::uint32_t timeoutMs) {
  std::uint8_t* urbBytes = memory_.Resolve(urbAddress, UrbSize(layout));
  ProxyUrb urb;
  if (!urbBytes || !DecodeUrb(layout, urbBytes, urb)) return kErrorInvalidParameter;
  Setup setup;
  if (!SetupOf(urb, setup)) {
    WriteUrbResult(layout, urbBytes, kUsbdStatusInvalidUrbFunction, 0);
    return kErrorInvalidParameter;
  }
  std::uint8_t* data = nullptr;
  if (urb.transferBufferLength > 0xFFFF ||
      (urb.transferBufferLength > 0 && !(data = memory_.Resolve(urb.transferBuffer, urb.transferBufferLength)))) {
    WriteUrbResult(layout, urbBytes, kUsbdStatusInvalidParameter, 0);
    return kErrorInvalidParameter;
  }
  std::uint32_t transferred = 0;
  const std::uint32_t error = device->ControlTransfer(setup.requestType, setup.request, setup.value, setup.index,
                                                      data, std::uint16_t(urb.transferBufferLength), timeoutMs,
                                                      transferred);
  WriteUrbResult(layout, urbBytes, UrbStatusOf(error), error == kErrorSuccess ? transferred : 0);
  // A bus-level failure is the URB's business; the request itself went through.
  return error == kErrorGenFailure ? kErrorSuccess : error;
}
