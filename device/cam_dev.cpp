#include "device/cam_dev.h"

#include "device/chip_registers.h"
#include "device/device_enumeration.h"
#include "platform/usb_host.h"

CCamDev::CCamDev(DeviceAccess& access, const DeviceRecord& given) : access_(access) {
  if (!given.Valid()) return;
  if (OpenDeviceRecord(access_, record_, given.deviceInstance) != platform::kErrorSuccess) return;
  record_.name = given.name;
  if (given.caps) {
    caps_ = std::make_unique<DeviceCaps>(*given.caps);
  } else if (ReadDeviceCaps(access_, record_, 1) && record_.caps) {
    caps_ = std::make_unique<DeviceCaps>(*record_.caps);
  }
}

CCamDev::~CCamDev() { CloseDeviceRecord(access_, record_); }

CVexCam::CVexCam(DeviceAccess& access, const DeviceRecord& given) : CCamDev(access, given) { CreateChannels(); }

CVexCam::~CVexCam() {
  extUnit_.reset();
  vendor_.reset();
  pipe_.reset();
}

void CVexCam::CreateChannels() {
  extUnit_.reset();
  vendor_.reset();
  pipe_.reset();
  if (!caps_ || record_.token == 0) return;
  pipe_ = std::make_unique<ProxyControlPipe>(access_.channel, record_.token);
  platform::Clock& clock = access_.host.HostClock();
  if (caps_->extensionUnitPresent)
    extUnit_ = std::make_unique<CExtUnit>(*pipe_, std::uint8_t(caps_->unitId), std::uint8_t(record_.interfaceNumber),
                                          clock, record_.location);
  if (caps_->vendorChannel) vendor_ = std::make_unique<CVendorRequestV2>(*pipe_, clock);
}

void CVexCam::RefreshChannels() {
  if (!record_.caps) ReadDeviceCaps(access_, record_, 0);
  if (record_.caps) caps_ = std::make_unique<DeviceCaps>(*record_.caps);
  CreateChannels();
}

CVendorCmdCommon* CVexCam::PreferredChannel() {
  if (caps_ && caps_->vendorChannel && vendor_) return vendor_.get();
  return ExtUnitChannel();
}

int CVexCam::BootMode() { return caps_ ? BootModeFromStatus(caps_->status.data()) : -1; }

namespace {
constexpr std::int32_t kNoChannel = platform::kEFail;
}  // namespace

std::int32_t CVexCam::EnableWriteProtect() {
  CVendorCmdCommon* c = PreferredChannel();
  return c ? ::EnableWriteProtect(*c) : kNoChannel;
}

std::int32_t CVexCam::DisableWriteProtect() {
  CVendorCmdCommon* c = PreferredChannel();
  return c ? ::DisableWriteProtect(*c, access_.host.HostClock()) : kNoChannel;
}

std::int32_t CVexCam::GpioSetA() {
  CVendorCmdCommon* c = PreferredChannel();
  return c ? ::GpioSetA(*c) : kNoChannel;
}

std::int32_t CVexCam::GpioSetB() {
  CVendorCmdCommon* c = PreferredChannel();
  return c ? ::GpioSetB(*c) : kNoChannel;
}

std::int32_t CVexCam::SpiEraseByRegisters(std::uint8_t opcode, std::uint32_t address) {
  CVendorCmdCommon* c = PreferredChannel();
  return c ? ::SpiEraseByRegisters(*c, access_.host.HostClock(), opcode, address) : kNoChannel;
}

std::unique_ptr<CCamDev> CreateDeviceObject(DeviceAccess& access, DeviceRecord& opened) {
  if (!ReadDeviceCaps(access, opened, 0) || !opened.caps) return nullptr;
  std::unique_ptr<CCamDev> device;
  if (opened.caps->vendorSignature)
    device = std::make_unique<CVexCam>(access, opened);
  else
    device = std::make_unique<CCamDev>(access, opened);
  if (!device->Valid()) return nullptr;
  return device;
}
