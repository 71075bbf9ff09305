// Installing and removing the proxy driver against scripted system services.
#include <gtest/gtest.h>

#include <map>

#include "device/linux_proxy_services.h"
#include "device/proxy_install.h"
#include "platform/clock.h"
#include "platform/error_codes.h"
#include "tests/support/fake_usb_host.h"

namespace {

// A Windows-like machine: files whose version block is their first eight
// bytes (four 16-bit numbers), one service and a control device that opens
// while the service runs.
class ScriptedServices final : public ProxyOsServices {
 public:
  platform::Clock& WaitClock() override { return clock; }
  bool HasIsWow64Process2() override { return hasWow64Process2; }
  bool IsWow64Process2(std::uint16_t& process, std::uint16_t& native) override {
    process = processMachine;
    native = nativeMachine;
    return true;
  }
  bool HasIsWow64Process() override { return false; }
  bool IsWow64Process(bool&) override { return false; }
  std::uint16_t NativeProcessorArchitecture() override { return 0; }
  bool DisableFsRedirection() override { return ++redirections, true; }
  void RevertFsRedirection() override { --redirections; }
  bool UsesDriverFile() override { return true; }
  std::string SystemDirectory() override { return "C:\\Windows\\System32"; }
  std::string TempDirectory() override { return "C:\\Temp\\"; }
  bool CanOpenForReading(const std::string& path) override { return files.count(path); }
  bool WriteWholeFile(const std::string& path, std::span<const std::uint8_t> bytes) override {
    files[path].assign(bytes.begin(), bytes.end());
    return true;
  }
  bool FileExists(const std::string& path) override { return files.count(path); }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    copies.push_back(from + " -> " + to);
    files[to] = files.at(from);
    return true;
  }
  bool DeleteFile(const std::string& path) override { return files.erase(path); }
  bool ReadFileVersion(const std::string& path, FileVersion& v) override {
    auto it = files.find(path);
    if (it == files.end() || it->second.size() < 8) return false;
    const auto& b = it->second;
    v = {std::uint16_t(b[0] | b[1] << 8), std::uint16_t(b[2] | b[3] << 8), std::uint16_t(b[4] | b[5] << 8),
         std::uint16_t(b[6] | b[7] << 8)};
    return true;
  }
  bool ReadRefCount(const std::string&, std::uint32_t& count) override { return count = refCount, true; }
  bool OpenServiceManager() override { return true; }
  void CloseServiceManager() override {}
  std::uint32_t OpenService(const std::string&) override {
    return serviceExists ? platform::kErrorSuccess : kErrorServiceDoesNotExist;
  }
  void CloseService() override {}
  bool QueryServiceState(std::uint32_t& state) override { return state = running ? 4 : kServiceStopped, true; }
  bool StopService(std::uint32_t& state) override {
    calls.push_back("stop");
    running = false;
    state = kServiceStopped;
    return true;
  }
  bool CreateService(const std::string&, const std::string& binary) override {
    calls.push_back("create " + binary);
    serviceExists = true;
    return true;
  }
  bool StartService() override {
    calls.push_back("start");
    running = files.count(kTarget) > 0;
    return running;
  }
  bool DeleteService() override {
    calls.push_back("delete");
    serviceExists = false;
    return true;
  }
  std::unique_ptr<ProxyControlDevice> OpenControlDevice(const std::string& path) override;

  static constexpr const char* kTarget = "C:\\Windows\\System32\\drivers\\VexUapx.sys";
  static constexpr const char* kStaged = "C:\\Temp\\VexUapx_n.sys";
  platform::VirtualClock clock;
  bool hasWow64Process2 = true;
  std::uint16_t processMachine = kMachineI386, nativeMachine = kMachineAmd64;
  int redirections = 0;
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::vector<std::string> copies, calls;
  std::uint32_t refCount = 0;
  bool serviceExists = false, running = false;
  std::string openedPath;
};

class NullControlDevice final : public ProxyControlDevice {
 public:
  std::uint32_t DeviceControl(std::uint32_t, std::uint8_t*, std::size_t) override { return 0; }
};

std::unique_ptr<ProxyControlDevice> ScriptedServices::OpenControlDevice(const std::string& path) {
  openedPath = path;
  if (!running) return nullptr;
  return std::make_unique<NullControlDevice>();
}

// An image whose version block reads major.minor.build.revision, then a mark.
std::vector<std::uint8_t> Image(std::uint16_t major, std::uint16_t minor, std::uint16_t build,
                                std::uint16_t revision, std::uint8_t mark) {
  return {std::uint8_t(major), 0, std::uint8_t(minor), 0, std::uint8_t(build), 0, std::uint8_t(revision), 0, mark};
}

class Install : public ::testing::Test {
 protected:
  Install() {
    for (int i : {0, 1, 3}) {
      images[i] = Image(2, 1, 7, 0, std::uint8_t(0xA0 + i));
      channel.images[size_t(i)] = images[i];
    }
  }
  std::vector<std::uint8_t> images[4];
  ProxyDriverChannel channel;
  ScriptedServices os;
};

TEST_F(Install, FreshMachineStagesCreatesAndStartsTheService) {
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(channel.architecture, kArchX64);
  EXPECT_TRUE(channel.wow64);
  EXPECT_EQ(os.files.at(ScriptedServices::kStaged), images[1]);
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), images[1]);
  EXPECT_FALSE(os.files.count("C:\\Temp\\VexUapx_s.sys"));  // the scratch file is gone
  EXPECT_EQ(os.calls, (std::vector<std::string>{std::string("create ") + ScriptedServices::kTarget, "start"}));
  EXPECT_EQ(os.openedPath, "\\\\.\\VexUapx");
  EXPECT_EQ(os.redirections, 0);  // switched off and back on
  EXPECT_TRUE(InstallProxyDriver(channel, os));  // already open: nothing more
  EXPECT_EQ(os.calls.size(), 2u);
}

TEST_F(Install, Arm64MachineGetsTheArm64ImageAndTheWideLayout) {
  os.nativeMachine = kMachineArm64;
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(channel.architecture, kArchArm64);
  EXPECT_EQ(channel.layout, ProxyLayout::kWide);
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), images[3]);
}

TEST_F(Install, NativeX86UsesTheNarrowLayoutAndUnknownMachinesFail) {
  os.processMachine = kMachineUnknown;
  os.nativeMachine = kMachineI386;
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(channel.layout, ProxyLayout::kNarrow);
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), images[0]);

  ProxyDriverChannel other;
  os.nativeMachine = 0x01C4;  // ARM (32-bit): no image
  EXPECT_FALSE(InstallProxyDriver(other, os));
  EXPECT_EQ(other.architecture, kArchUnknown);
}

TEST_F(Install, StagedFileOfTheSameVersionIsKept) {
  os.files[ScriptedServices::kStaged] = Image(2, 1, 7, 0, 0x55);
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(os.files.at(ScriptedServices::kStaged), Image(2, 1, 7, 0, 0x55));
}

TEST_F(Install, StagedFileOfALowerBuildIsReplaced) {
  os.files[ScriptedServices::kStaged] = Image(2, 1, 6, 9, 0x55);
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(os.files.at(ScriptedServices::kStaged), images[1]);
}

TEST_F(Install, TargetNewerInEveryNumberStaysInPlace) {
  os.files[ScriptedServices::kTarget] = Image(3, 2, 8, 1, 0x77);
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), Image(3, 2, 8, 1, 0x77));
  for (const auto& copy : os.copies) EXPECT_EQ(copy.find(std::string("-> ") + ScriptedServices::kTarget), std::string::npos);
}

TEST_F(Install, TargetNewerInOnlySomeNumbersIsReplaced) {
  os.files[ScriptedServices::kTarget] = Image(3, 0, 0, 0, 0x77);  // 3.0.0.0 is not as new as 2.1.7.0
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), images[1]);
}

TEST_F(Install, AnotherUsersDriverIsLeftAloneAndNotRemovedAtExit) {
  os.serviceExists = os.running = true;
  os.refCount = 1;
  os.files[ScriptedServices::kTarget] = Image(1, 0, 0, 0, 0x11);
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_TRUE(os.calls.empty());
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), Image(1, 0, 0, 0, 0x11));
  ASSERT_NE(channel.controlDevice, nullptr);

  EXPECT_TRUE(RemoveProxyDriver(channel, os));
  EXPECT_EQ(channel.controlDevice, nullptr);
  EXPECT_EQ(channel.installLock, nullptr);
  EXPECT_TRUE(os.calls.empty());
  EXPECT_TRUE(os.files.count(ScriptedServices::kTarget));
}

TEST_F(Install, UnusedRunningDriverIsReplacedAndRemovedAtExit) {
  os.serviceExists = os.running = true;
  os.files[ScriptedServices::kTarget] = Image(1, 0, 0, 0, 0x11);
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"stop", "start"}));
  EXPECT_EQ(os.files.at(ScriptedServices::kTarget), images[1]);

  os.calls.clear();
  EXPECT_TRUE(RemoveProxyDriver(channel, os));
  EXPECT_EQ(os.calls, (std::vector<std::string>{"stop", "delete"}));
  EXPECT_FALSE(os.files.count(ScriptedServices::kTarget));
}

TEST_F(Install, MissingControlDeviceFailsAndDropsTheLock) {
  os.serviceExists = true;  // stopped; the start will fail without a file
  channel.images[1] = {};
  EXPECT_FALSE(InstallProxyDriver(channel, os));  // no image to stage
  EXPECT_EQ(channel.installLock, nullptr);
  EXPECT_EQ(os.redirections, 0);
}

// The Linux binding: no service manager, no file; installing opens the
// user-space proxy's control device.
TEST(LinuxInstall, OpensTheUserSpaceProxy) {
  FakeUsbHost host;
  ProxyDriverChannel channel;
  UserSpaceProxy proxy(host, channel.memory);
  LinuxProxyServices os(proxy, host.Clock());
  ASSERT_TRUE(InstallProxyDriver(channel, os));
  ASSERT_NE(channel.controlDevice, nullptr);
  EXPECT_FALSE(channel.wow64);
  DeviceToken token = 1;
  EXPECT_EQ(ProxyOpenDevice(channel, 0x1234, token), platform::kErrorInvalidHandle);  // no such device file
  EXPECT_TRUE(RemoveProxyDriver(channel, os));
  EXPECT_EQ(channel.controlDevice, nullptr);
}

}  // namespace
