#pragma once
// The proxy driver on a platform without a kernel proxy: a user-space proxy
// that opens device files on the USB host, hands out device tokens, decodes
// the request records and URBs and runs them as control transfers, writing
// status, length and data back into the caller's URB and buffer as a kernel
// driver would.
//
// A request that reached the device but failed on the bus (a stall) succeeds
// as a request and reports the failure in the URB's status; a device that is
// gone, a time-out or a device that is not ready fails the request itself with
// that error number, so that callers can react to it.
#include <map>
#include <memory>
#include <mutex>

#include "device/proxy_driver.h"
#include "device/proxy_layout.h"
#include "device/proxy_memory.h"
#include "platform/usb_host.h"

class UserSpaceProxy final : public DeviceFiles {
 public:
  UserSpaceProxy(platform::UsbHost& host, ProxyMemory& memory) : host_(host), memory_(memory) {}

  std::uint32_t OpenDeviceFile(std::uint32_t instance, std::uint32_t& error) override;
  void CloseDeviceFile(std::uint32_t handle) override;

  // A handle to the control device; it forwards to this proxy, which must
  // outlive it.
  std::unique_ptr<ProxyControlDevice> OpenControlDevice();

  std::uint32_t DeviceControl(std::uint32_t code, std::uint8_t* record, std::size_t size);

 private:
  using Device = std::shared_ptr<platform::UsbDevice>;
  std::uint32_t Submit(const Device& device, std::uint32_t urbAddress, ProxyLayout layout, std::uint32_t timeoutMs);

  platform::UsbHost& host_;
  ProxyMemory& memory_;
  std::mutex mutex_;  // guards the tables; never held during a transfer
  std::map<std::uint32_t, Device> files_;
  std::map<std::uint64_t, Device> tokens_;
  std::uint32_t nextHandle_ = 4;
  std::uint64_t nextToken_ = 0x0000000100000001ull;
};
