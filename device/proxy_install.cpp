#include "device/proxy_install.h"

#include "platform/named_mutex.h"

namespace {

int ArchitectureOfMachine(std::uint16_t machine) {
  switch (machine) {
    case kMachineI386:
      return kArchX86;
    case kMachineAmd64:
      return kArchX64;
    case kMachineArm64:
      return kArchArm64;
    default:
      return kArchUnknown;
  }
}

int ArchitectureOfProcessor(std::uint16_t architecture) {
  switch (architecture) {
    case kProcessorArchitectureIntel:
      return kArchX86;
    case kProcessorArchitectureAmd64:
      return kArchX64;
    case kProcessorArchitectureArm64:
      return kArchArm64;
    default:
      return kArchUnknown;
  }
}

std::string InTemp(ProxyOsServices& os, const std::string& file) {
  std::string dir = os.TempDirectory();
  if (dir.empty() || dir.back() != '\\') dir += '\\';
  return dir + file;
}

std::string TargetPath(ProxyDriverChannel& channel, ProxyOsServices& os) {
  return os.SystemDirectory() + "\\drivers\\" + channel.driverName + ".sys";
}

// Picks the file the service should run: an override file, or the stored
// image staged in the temporary folder, or the installed target when that is
// at least as new. False when the image cannot be staged.
bool ChooseSource(ProxyDriverChannel& channel, ProxyOsServices& os, const std::string& target,
                  std::string& source) {
  const std::string overrideFile = "C:\\" + channel.driverName + ".sys";
  if (os.CanOpenForReading(overrideFile)) {
    source = overrideFile;
    return true;
  }
  const auto image = channel.images[size_t(channel.architecture)];
  if (image.empty()) return false;  // no image for this machine: nothing to install
  const std::string staged = InTemp(os, channel.driverName + "_n.sys");
  const std::string scratch = InTemp(os, channel.driverName + "_s.sys");
  if (!os.WriteWholeFile(scratch, image)) return false;
  bool staging = true;
  if (!os.FileExists(staged) || !AtLeastAsNew(os, staged, scratch)) staging = os.CopyFileOver(scratch, staged);
  os.DeleteFile(scratch);
  // A staged file that could not be refreshed is older than the image: do
  // not install it.
  if (!staging) return false;
  source = os.FileExists(target) && AtLeastAsNew(os, target, staged) ? target : staged;
  return true;
}

// Installs or replaces and starts the service; the manager is open.
bool ServiceStep(ProxyOsServices& os, const std::string& name, const std::string& target,
                 const std::string& source, std::uint32_t refCount) {
  const std::uint32_t openError = os.OpenService(name);
  const bool opened = openError == 0;
  const bool exists = openError != kErrorServiceDoesNotExist;
  std::uint32_t state = 0;
  // A state that cannot be read counts as running: never replace a file
  // under a driver that may be in use.
  bool running = exists && (!opened || !os.QueryServiceState(state) || state != kServiceStopped);
  auto replaceFile = [&] {
    if (source != target) os.CopyFileOver(source, target);
  };
  if (opened && running && refCount == 0) {
    if (os.StopService(state) && state == kServiceStopped) {
      replaceFile();
      running = false;
    }
  } else if (!running) {
    replaceFile();
  }

  if (!exists && !os.CreateService(name, target)) return false;
  if (exists && !opened) return true;
  const bool result = running || os.StartService();
  os.CloseService();
  return result;
}

}  // namespace

void DetectProxyArchitecture(ProxyDriverChannel& channel, ProxyOsServices& os) {
  if (os.HasIsWow64Process2()) {
    std::uint16_t processMachine = 0, nativeMachine = 0;
    if (os.IsWow64Process2(processMachine, nativeMachine)) {
      channel.wow64 = processMachine != kMachineUnknown;
      channel.architecture = ArchitectureOfMachine(nativeMachine);
    } else {
      channel.wow64 = false;
    }
  } else if (os.HasIsWow64Process()) {
    channel.architecture = ArchitectureOfProcessor(os.NativeProcessorArchitecture());
    bool wow64 = false;
    channel.wow64 = os.IsWow64Process(wow64) && wow64;
  } else {
    channel.wow64 = false;
  }
  channel.layout = channel.wow64 ? ProxyLayout::kWide : ProxyLayout::kNarrow;
}

bool AtLeastAsNew(ProxyOsServices& os, const std::string& a, const std::string& b) {
  FileVersion va, vb;
  if (!os.ReadFileVersion(a, va) || !os.ReadFileVersion(b, vb)) return false;
  return va.major >= vb.major && va.minor >= vb.minor && va.build >= vb.build && va.revision >= vb.revision;
}

namespace {
// No wait is without a limit: a lock that another process never gives back
// must not hang the start or the end of this one. The steps it orders are
// carried out after the limit as after the lock.
constexpr std::uint32_t kInstallLockWaitMs = 30000;
}  // namespace

bool InstallProxyDriver(ProxyDriverChannel& channel, ProxyOsServices& os) {
  if (channel.controlDevice) return true;
  if (!channel.installLock) channel.installLock = std::make_unique<platform::NamedMutex>(kInstallLockName);
  DetectProxyArchitecture(channel, os);
  if (channel.architecture == kArchUnknown) return false;
  if (channel.wow64 && !os.DisableFsRedirection()) return false;

  auto fail = [&] {
    if (channel.wow64) os.RevertFsRedirection();
    channel.installLock.reset();
    return false;
  };
  std::string target, source;
  if (os.UsesDriverFile()) {
    target = TargetPath(channel, os);
    if (!ChooseSource(channel, os, target, source)) return fail();
  }

  channel.installLock->Lock(kInstallLockWaitMs, os.WaitClock());
  std::uint32_t refCount = 0;
  if (!os.ReadRefCount(channel.driverName, refCount)) refCount = 0;
  if (os.OpenServiceManager()) {
    const bool ok = ServiceStep(os, channel.driverName, target, source, refCount);
    os.CloseServiceManager();
    if (!ok) {
      channel.installLock->Unlock();
      return fail();
    }
  }
  auto device = os.OpenControlDevice("\\\\.\\" + channel.driverName);
  channel.installLock->Unlock();
  if (!device) return fail();
  channel.controlDevice = std::move(device);
  if (channel.wow64) os.RevertFsRedirection();
  return true;
}

bool RemoveProxyDriver(ProxyDriverChannel& channel, ProxyOsServices& os) {
  if (channel.controlDevice) {
    if (!channel.installLock) channel.installLock = std::make_unique<platform::NamedMutex>(kInstallLockName);
    channel.installLock->Lock(kInstallLockWaitMs, os.WaitClock());
    channel.controlDevice.reset();
    std::uint32_t refCount = 0;
    if (os.ReadRefCount(channel.driverName, refCount) && refCount == 0) {
      if (os.OpenServiceManager()) {
        if (os.OpenService(channel.driverName) == 0) {
          std::uint32_t state = 0;
          if (os.StopService(state) && state == kServiceStopped) os.DeleteService();
          os.CloseService();
        }
        os.CloseServiceManager();
      }
      if (os.UsesDriverFile()) {
        const bool redirected = channel.wow64 && os.DisableFsRedirection();
        os.DeleteFile(TargetPath(channel, os));
        if (redirected) os.RevertFsRedirection();
      }
    }
    channel.installLock->Unlock();
  }
  channel.installLock.reset();
  return true;
}
