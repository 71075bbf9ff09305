#pragma once
// The operating-system services that installing and removing the proxy
// driver relies on: architecture queries, files and their version blocks,
// the driver's reference count, the service manager and the control device.
// The Linux binding (LinuxProxyServices) has no service manager and keeps no
// driver file; tests use a scripted double.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "device/proxy_driver.h"

namespace platform {
class Clock;
}

inline constexpr std::uint16_t kMachineUnknown = 0x0000;
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;

inline constexpr std::uint16_t kProcessorArchitectureIntel = 0;
inline constexpr std::uint16_t kProcessorArchitectureAmd64 = 9;
inline constexpr std::uint16_t kProcessorArchitectureArm64 = 12;

inline constexpr std::uint32_t kServiceStopped = 1;
inline constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;

// A file's fixed version block.
struct FileVersion {
  std::uint16_t major = 0, minor = 0, build = 0, revision = 0;
};

class ProxyOsServices {
 public:
  virtual ~ProxyOsServices() = default;

  // The clock the install lock is waited on.
  virtual platform::Clock& WaitClock() = 0;

  // Architecture. IsWow64Process2 and IsWow64Process may be missing.
  virtual bool HasIsWow64Process2() = 0;
  virtual bool IsWow64Process2(std::uint16_t& processMachine, std::uint16_t& nativeMachine) = 0;
  virtual bool HasIsWow64Process() = 0;
  virtual bool IsWow64Process(bool& wow64) = 0;
  virtual std::uint16_t NativeProcessorArchitecture() = 0;
  // File-system redirection of the calling thread; Disable is false when the
  // functions are missing or the switch fails.
  virtual bool DisableFsRedirection() = 0;
  virtual void RevertFsRedirection() = 0;

  // False when the platform's driver lives in no file (nothing to stage,
  // copy or delete).
  virtual bool UsesDriverFile() = 0;
  virtual std::string SystemDirectory() = 0;  // without a trailing separator
  virtual std::string TempDirectory() = 0;    // with its trailing separator
  virtual bool CanOpenForReading(const std::string& path) = 0;
  // Creates or truncates the file.
  virtual bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool CopyFileOver(const std::string& from, const std::string& to) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool ReadFileVersion(const std::string& path, FileVersion& version) = 0;

  // The driver's "RefCount" value; false when it cannot be read.
  virtual bool ReadRefCount(const std::string& driverName, std::uint32_t& count) = 0;

  // The service manager with full access, and one service at a time in it.
  virtual bool OpenServiceManager() = 0;
  virtual void CloseServiceManager() = 0;
  // kErrorSuccess when opened, kErrorServiceDoesNotExist, or another error.
  virtual std::uint32_t OpenService(const std::string& name) = 0;
  virtual void CloseService() = 0;
  virtual bool QueryServiceState(std::uint32_t& state) = 0;
  // Sends the stop control; `state` is the state reported afterwards.
  virtual bool StopService(std::uint32_t& state) = 0;
  // Creates (and opens) a demand-start kernel-driver service named `name`
  // with the binary at `binaryPath`.
  virtual bool CreateService(const std::string& name, const std::string& binaryPath) = 0;
  virtual bool StartService() = 0;
  virtual bool DeleteService() = 0;

  // Opens the driver's control device exclusively; null when it is missing.
  virtual std::unique_ptr<ProxyControlDevice> OpenControlDevice(const std::string& path) = 0;
};
