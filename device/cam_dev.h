#pragma once
// The device object: owns an opened codec's record and capabilities and, for
// a codec that answers the vendor signature, its two command channels.
#include <cstdint>
#include <memory>

#include "device/device_record.h"
#include "device/ext_unit.h"
#include "device/proxy_control_pipe.h"
#include "device/vendor_request_v2.h"
#include "platform/event.h"

class CCamDev {
 public:
  // Opens its own record of the given record's device and copies (or, when
  // the given record has none, reads) the capabilities.
  CCamDev(DeviceAccess& access, const DeviceRecord& given);
  virtual ~CCamDev();
  CCamDev(const CCamDev&) = delete;
  CCamDev& operator=(const CCamDev&) = delete;

  bool Valid() const { return record_.Valid() && caps_ != nullptr; }
  DeviceRecord& Record() { return record_; }
  const DeviceCaps* Caps() const { return caps_.get(); }
  DeviceAccess& Access() { return access_; }

 protected:
  DeviceAccess& access_;
  DeviceRecord record_;
  std::unique_ptr<DeviceCaps> caps_;
};

class CVexCam final : public CCamDev {
 public:
  CVexCam(DeviceAccess& access, const DeviceRecord& given);
  ~CVexCam() override;

  // -1 unknown, else the boot mode shown by the status words.
  virtual int BootMode();
  virtual std::int32_t EnableWriteProtect();
  virtual std::int32_t DisableWriteProtect();
  virtual std::int32_t GpioSetA();
  virtual std::int32_t GpioSetB();
  virtual std::int32_t SpiEraseByRegisters(std::uint8_t opcode, std::uint32_t address);
  // Ends a post-reset settle wait early; any thread may call it.
  virtual void CancelWait() { cancel_.Set(); }

  // The vendor-request channel when the device answers it, else the
  // extension unit's; null when neither exists.
  CVendorCmdCommon* PreferredChannel();
  // The extension unit when it answers; null for a codec that answers only
  // vendor requests.
  CExtUnit* ExtUnitChannel() {
    return caps_ && caps_->extensionUnitPresent && caps_->extensionUnitAnswers ? extUnit_.get() : nullptr;
  }
  CVendorRequestV2* VendorChannel() { return vendor_.get(); }
  // After a reset: the record describes the re-enumerated device; rebuild
  // both channels for it.
  void RefreshChannels();
  platform::Event& CancelEvent() { return cancel_; }

 private:
  void CreateChannels();

  std::unique_ptr<ProxyControlPipe> pipe_;
  std::unique_ptr<CExtUnit> extUnit_;
  std::unique_ptr<CVendorRequestV2> vendor_;
  platform::Event cancel_{true};
};

// The device object for an opened record: a CVexCam when the capabilities
// show the vendor signature, otherwise a plain CCamDev; null when the
// capabilities cannot be read.
std::unique_ptr<CCamDev> CreateDeviceObject(DeviceAccess& access, DeviceRecord& opened);
