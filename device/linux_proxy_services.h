#pragma once
// The proxy driver's operating-system services on Linux. There is no service
// manager and no driver file: the driver is the in-process user-space proxy,
// so installing comes down to opening its control device, and removing to
// closing it. The records use the narrow layout: the program is native, not
// a 32-bit program on a 64-bit system, and the proxy reads either layout.
#include "device/proxy_os_services.h"
#include "device/user_space_proxy.h"

class LinuxProxyServices final : public ProxyOsServices {
 public:
  LinuxProxyServices(UserSpaceProxy& proxy, platform::Clock& clock) : proxy_(proxy), clock_(clock) {}

  platform::Clock& WaitClock() override { return clock_; }
  bool HasIsWow64Process2() override { return true; }
  // The machine the program was built for; false for one that has no driver
  // image index, which leaves the index at x86 (nothing is written on Linux).
  bool IsWow64Process2(std::uint16_t& processMachine, std::uint16_t& nativeMachine) override;
  bool HasIsWow64Process() override { return false; }
  bool IsWow64Process(bool&) override { return false; }
  std::uint16_t NativeProcessorArchitecture() override { return 0xFFFF; }
  bool DisableFsRedirection() override { return false; }
  void RevertFsRedirection() override {}

  bool UsesDriverFile() override { return false; }
  std::string SystemDirectory() override { return {}; }
  std::string TempDirectory() override { return {}; }
  bool CanOpenForReading(const std::string&) override { return false; }
  bool WriteWholeFile(const std::string&, std::span<const std::uint8_t>) override { return false; }
  bool FileExists(const std::string&) override { return false; }
  bool CopyFileOver(const std::string&, const std::string&) override { return false; }
  bool DeleteFile(const std::string&) override { return false; }
  bool ReadFileVersion(const std::string&, FileVersion&) override { return false; }

  bool ReadRefCount(const std::string&, std::uint32_t&) override { return false; }
  bool OpenServiceManager() override { return false; }
  void CloseServiceManager() override {}
  std::uint32_t OpenService(const std::string&) override { return kErrorServiceDoesNotExist; }
  void CloseService() override {}
  bool QueryServiceState(std::uint32_t&) override { return false; }
  bool StopService(std::uint32_t&) override { return false; }
  bool CreateService(const std::string&, const std::string&) override { return false; }
  bool StartService() override { return false; }
  bool DeleteService() override { return false; }

  std::unique_ptr<ProxyControlDevice> OpenControlDevice(const std::string&) override {
    return proxy_.OpenControlDevice();
  }

 private:
  UserSpaceProxy& proxy_;
  platform::Clock& clock_;
};
