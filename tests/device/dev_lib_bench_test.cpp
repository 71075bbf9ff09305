// The device library, its channels and its resets against simulated codecs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <numeric>
#include <sstream>

#include "device/cam_dev.h"
#include "device/dev_lib.h"
#include "device/device_enumeration.h"
#include "device/linux_proxy_services.h"
#include "device/proxy_install.h"
#include "device/proxy_control_pipe.h"
#include "device/reset_and_find.h"
#include "device/vendor_request_direct.h"
#include "device/user_space_proxy.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/listing_counting_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using simtest::CodecSpec;

Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(seed + i * 7);
  return b;
}

// One parsed line of the bench's transfer log.
struct Transfer {
  unsigned pid = 0;
  std::string codec;
  unsigned type = 0, request = 0, value = 0, index = 0, length = 0, error = 0;
  std::string data;
  bool IsXuCommand() const { return type == 0x21 && request == 0x01 && value == 0x0A00; }
  bool IsXuStatus() const { return type == 0xA1 && request == 0x81 && value == 0x0A00; }
  bool IsXuData() const { return value == 0x0B00 && (type == 0x21 || type == 0xA1); }
};

class DevLibBench : public testing::Test {
 protected:
  void Start(const std::vector<CodecSpec>& specs = {CodecSpec{}}, int libType = 0, bool log = false) {
    folder_ = simtest::TempBenchFolder();
    simtest::MakeBench(folder_, specs);
    if (log) std::ofstream(folder_ + "/" + sim::kTransferLogName);
    OpenHost(libType);
  }
  void OpenHost(int libType = 0) {
    std::string error;
    host_ = sim::OpenBench(folder_, error);
    ASSERT_TRUE(host_) << error;
    ASSERT_EQ(DevLib_InitWithHost(libType, host_.get()), 1);
  }
  void TearDown() override {
    DevLib_Uninit();
    host_.reset();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  platform::VirtualClock& Clock() { return static_cast<sim::SimHost&>(*host_).Clock(); }
  std::vector<Transfer> Log() {
    std::vector<Transfer> out;
    std::ifstream in(folder_ + "/" + sim::kTransferLogName);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream s(line);
      Transfer t;
      s >> std::dec >> t.pid >> t.codec >> std::hex >> t.type >> t.request >> t.value >> t.index >> std::dec >>
          t.length >> t.error >> t.data;
      out.push_back(t);
    }
    return out;
  }
  void ClearLog() { std::ofstream(folder_ + "/" + sim::kTransferLogName, std::ios::trunc); }
  std::uint32_t Open() {
    const std::uint32_t handle = DevLib_OpenDevice(0);
    EXPECT_NE(handle, 0u);
    return handle;
  }
  void DriveEepromWpLow(std::uint32_t h) {
    std::uint8_t dir = 0, out = 0;
    ASSERT_EQ(DevLib_ReadMem(h, 0xFEA0, 1, &dir, 0), 1);
    ASSERT_EQ(DevLib_ReadMem(h, 0xFEA6, 1, &out, 0), 1);
    dir |= 0x20;
    out &= std::uint8_t(~0x20);
    ASSERT_EQ(DevLib_WriteMem(h, 0xFEA0, 1, &dir, 0), 1);
    ASSERT_EQ(DevLib_WriteMem(h, 0xFEA6, 1, &out, 0), 1);
  }

  std::string folder_;
  std::unique_ptr<platform::UsbHost> host_;
};

TEST_F(DevLibBench, OpensByPositionAndKeepsOneCurrentDevice) {
  Start({CodecSpec{"a", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {1}}, {}, "both"},
         CodecSpec{"b", "VMC2230", sim::MemoryKind::kSpiFlash, {1, {2}}, {}, "both"}});
  EXPECT_EQ(DevLib_GetDeviceCount(), 2);
  EXPECT_EQ(DevLib_OpenDevice(2), 0u);  // past the end
  EXPECT_EQ(DevLib_GetDeviceInstance(), 0u);
  const std::uint32_t first = DevLib_OpenDevice(0);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(DevLib_OpenDevice(1), first);  // a current device stays current
  std::uint16_t vid = 0, pid = 0, rev = 0;
  std::string manufacturer;
  ASSERT_EQ(DevLib_GetIdentityAndManufacturer(first, vid, pid, rev, manufacturer), 1);
  EXPECT_EQ(vid, 0x3C5A);
  EXPECT_EQ(pid, 0x2232);
  EXPECT_EQ(rev, 0x0100);
  EXPECT_EQ(manufacturer, "Morvane");
  std::uint32_t port = 0, parent = 0;
  EXPECT_EQ(DevLib_GetPortAndParent(first, port, parent), 1);
  EXPECT_EQ(port, 1u);
  DevLib_CloseDevice(first);
  const std::uint32_t second = DevLib_OpenDevice(1);
  ASSERT_NE(second, 0u);
  EXPECT_NE(second, first);
  ASSERT_EQ(DevLib_GetIdentity(second, vid, pid, rev), 1);
  EXPECT_EQ(pid, 0x2230);
}

// Opening a codec lists the bus once after its lock is held: the list it is
// found in, the open and the description of the device come from one
// listing (a listing of real hardware is a whole enumeration).
TEST_F(DevLibBench, OpeningACodecListsTheBusOnce) {
  Start({CodecSpec{"a", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {1}}, {}, "both"},
         CodecSpec{"b", "VMC2230", sim::MemoryKind::kSpiFlash, {1, {2}}, {}, "both"}});
  DevLib_Uninit();
  ListingCountingHost counting(*host_);
  ASSERT_EQ(DevLib_InitWithHost(0, &counting), 1);
  const int before = counting.listings;
  const std::uint32_t h = DevLib_OpenDevice(1);
  ASSERT_NE(h, 0u);
  std::string port;
  ASSERT_EQ(DevLib_GetPortPath(h, port), 1);
  EXPECT_EQ(port, "1-2");
  EXPECT_EQ(counting.listings - before, 2) << "the position's codec, then the list again under its lock";
  DevLib_CloseDevice(h);
  {
    const DevLibPortBinding binding("1-1");
    const int bound = counting.listings;
    const std::uint32_t onPort = DevLib_OpenDevice(0);
    ASSERT_NE(onPort, 0u);
    ASSERT_EQ(DevLib_GetPortPath(onPort, port), 1);
    EXPECT_EQ(port, "1-1");
    EXPECT_EQ(counting.listings - bound, 1) << "a job bound to its port lists once";
    DevLib_CloseDevice(onPort);
  }
  DevLib_Uninit();
}

TEST_F(DevLibBench, MemoriesReadBackWhatWasWrittenThroughBothChannels) {
  Start();
  const std::uint32_t h = Open();
  for (std::uint32_t writeFlags : {0u, kAccessExtUnit}) {
    const std::uint32_t readFlags = writeFlags ^ kAccessExtUnit;
    const Bytes data = Pattern(40, std::uint8_t(writeFlags + 1));
    Bytes back(40);
    ASSERT_EQ(DevLib_WriteMem(h, 0x8000, 40, data.data(), writeFlags), 1);
    ASSERT_EQ(DevLib_ReadMem(h, 0x8000, 40, back.data(), readFlags), 1);
    EXPECT_EQ(back, data) << "data memory, flags " << writeFlags;
  }

  ASSERT_EQ(DevLib_SpiWriteSr(h, 0x00, 0), 1);  // block protection off
  ASSERT_EQ(DevLib_SpiEraseChip(h, 0, 30000), 1);
  const Bytes image = Pattern(0x2345, 3);  // more than one vendor piece, a tail on the extension unit
  ASSERT_EQ(DevLib_SpiWrite(h, 0x10000, 0x1000, image.data(), 0), 1);
  ASSERT_EQ(DevLib_SpiWrite(h, 0x11000, 0x1345, image.data() + 0x1000, kAccessExtUnit), 1);
  for (std::uint32_t flags : {0u, kAccessExtUnit}) {
    Bytes back(image.size());
    ASSERT_EQ(DevLib_SpiRead(h, 0x10000, std::uint32_t(back.size()), back.data(), flags), 1);
    EXPECT_EQ(back, image) << "flash, flags " << flags;
  }
}

TEST_F(DevLibBench, EepromAndOtpRoundTrips) {
  Start({CodecSpec{"e", "VMC2232", sim::MemoryKind::kEeprom16, {1, {1}}, {}, "both"},
         CodecSpec{"o", "VMC2232", sim::MemoryKind::kOtp, {1, {2}}, {}, "both"}});
  std::uint32_t h = Open();
  DriveEepromWpLow(h);
  const Bytes data = Pattern(300, 9);
  ASSERT_EQ(DevLib_Eep16Write(h, 0x100, 300, data.data(), 0), 1);
  Bytes back(300);
  ASSERT_EQ(DevLib_Eep16Read(h, 0x100, 300, back.data(), kAccessExtUnit), 1);
  EXPECT_EQ(back, data);
  DevLib_CloseDevice(h);

  h = DevLib_OpenDevice(1);
  ASSERT_NE(h, 0u);
  const Bytes code = Pattern(64, 0x21);
  ASSERT_EQ(DevLib_OtpWrite(h, 0x40, 0, 64, code.data(), 0), 1);
  Bytes otp(64);
  ASSERT_EQ(DevLib_OtpRead(h, 0x40, 64, otp.data(), 0), 1);
  EXPECT_EQ(otp, code);
}

TEST_F(DevLibBench, AFailedExtensionUnitCommandReadsTheStatusAndClears) {
  Start({CodecSpec{}}, 0, true);
  // Armed from outside while no program runs, as tessaload-sim does.
  DevLib_Uninit();
  host_.reset();
  {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    std::map<std::uint32_t, std::uint8_t> stuck;
    ASSERT_TRUE(sim::ApplyFaultSpec("stall=xu:00:C2*1", bench->Find("codec")->Faults(), stuck, error)) << error;
    ASSERT_TRUE(bench->Save(error)) << error;
  }
  OpenHost();
  const std::uint32_t again = Open();
  ClearLog();
  std::uint8_t b[8];
  EXPECT_EQ(DevLib_ReadMem(again, 0x8000, 8, b, kAccessExtUnit), 0);
  const auto log = Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0].IsXuCommand());
  EXPECT_NE(log[0].error, 0u);
  EXPECT_TRUE(log[1].IsXuStatus());
  EXPECT_TRUE(log[2].IsXuCommand());
  EXPECT_EQ(log[2].data, "FF00000000000000");  // the clear command
  EXPECT_EQ(DevLib_ReadMem(again, 0x8000, 8, b, kAccessExtUnit), 1);  // the fault hit once
}

TEST_F(DevLibBench, ADisconnectedDeviceGetsNoStatusReadOrClear) {
  Start({CodecSpec{}}, 0, true);
  ASSERT_NE(DevLib_OpenDevice(0), 0u);
  const std::size_t opening = Log().size();  // opening is the same every time
  DevLib_Uninit();
  host_.reset();
  {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    std::map<std::uint32_t, std::uint8_t> stuck;
    const std::string spec = "disconnect-after=" + std::to_string(opening + 1);
    ASSERT_TRUE(sim::ApplyFaultSpec(spec, bench->Find("codec")->Faults(), stuck, error)) << error;
    ASSERT_TRUE(bench->Save(error));
  }
  ClearLog();
  OpenHost();
  const std::uint32_t h = Open();
  std::uint8_t b[8];
  EXPECT_EQ(DevLib_ReadMem(h, 0x8000, 8, b, kAccessExtUnit), 0);  // power lost after the command
  const auto log = Log();
  ASSERT_GE(log.size(), opening);
  for (std::size_t i = opening; i < log.size(); ++i) {
    EXPECT_FALSE(log[i].IsXuStatus()) << i;
    EXPECT_NE(log[i].data, "FF00000000000000") << i;
  }
}

TEST_F(DevLibBench, LibraryRefusesWhatItCannotSend) {
  Start({CodecSpec{"v", "VMC2232", sim::MemoryKind::kEeprom16, {1, {1}}, {}, "vendor"}}, 1, true);
  std::uint16_t size = 64;
  EXPECT_EQ(DevLib_ChangeDataControlSize(0, size), 0);  // no device
  const std::uint32_t h = Open();
  ClearLog();
  Bytes b(8);
  EXPECT_EQ(DevLib_Eep16Read(h, 0, 8, b.data(), 0), 0);  // library type 1: no extension-unit call
  EXPECT_EQ(DevLib_OtpRead(h, 0, 8, b.data(), 0), 0);
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(DevLib_ReadMem(h, 0x8000, 8, b.data(), 0), 1);  // vendor requests still work
  EXPECT_EQ(DevLib_ChangeDataControlSize(h, size), 0);     // the codec's extension unit is off
  EXPECT_EQ(size, 8);
}

TEST_F(DevLibBench, DataControlSizeChangesThroughTheExtensionUnit) {
  Start();
  const std::uint32_t h = Open();
  std::uint16_t size = 64;
  EXPECT_EQ(DevLib_ChangeDataControlSize(h, size), 1);
  const Bytes data = Pattern(200, 5);
  Bytes back(200);
  ASSERT_EQ(DevLib_WriteMem(h, 0x9000, 200, data.data(), kAccessExtUnit), 1);
  ASSERT_EQ(DevLib_ReadMem(h, 0x9000, 200, back.data(), kAccessExtUnit), 1);
  EXPECT_EQ(back, data);
  size = 8;
  EXPECT_EQ(DevLib_ChangeDataControlSize(h, size), 1);
}

TEST_F(DevLibBench, ResetToRomIsFoundAgainWithANewHandle) {
  Start({CodecSpec{}}, 0, true);
  std::uint32_t h = Open();
  const std::uint64_t before = Clock().NowMs();
  std::uint32_t handle = h;
  ASSERT_EQ(DevLib_ResetRom(handle, 0, 5000), 1);
  EXPECT_NE(handle, h);
  EXPECT_EQ(handle, DevLib_GetDeviceInstance());
  EXPECT_LT(Clock().NowMs() - before, 1000u);  // found once back, not after the whole settle time
  std::uint8_t b[2];
  EXPECT_EQ(DevLib_ReadMem(handle, 0xFE21, 2, b, 0), 1);  // the refreshed channels work
  EXPECT_EQ(b[1] & 0xF0, 0xF0);
}

TEST_F(DevLibBench, ResetWithValue2NeitherSettlesNorNeedsANewDevice) {
  Start({CodecSpec{}}, 0, true);
  std::uint32_t handle = Open();
  const std::uint64_t before = Clock().NowMs();
  ASSERT_EQ(DevLib_ResetUpdate(handle, 0, 5000, 2), 1);
  EXPECT_LT(Clock().NowMs() - before, 5000u);
}

TEST_F(DevLibBench, ExtensionUnitResetSwapsValues0And1) {
  Start({CodecSpec{}}, 0, true);
  for (std::uint16_t value : {0, 1}) {
    std::uint32_t handle = DevLib_OpenDevice(0);
    ASSERT_NE(handle, 0u);
    ClearLog();
    ASSERT_EQ(DevLib_ResetUpdate(handle, kAccessExtUnit, 1000, value), 1) << value;
    bool seen = false;
    for (const auto& t : Log()) {
      if (t.IsXuCommand() && t.data.rfind("0007", 0) == 0) {
        EXPECT_EQ(t.data.substr(4, 2), value == 0 ? "01" : "00");
        seen = true;
      }
    }
    EXPECT_TRUE(seen);
    DevLib_CloseDevice(handle);
  }
}

// A job bound to its codec's port opens it, and finds it again after a reset,
// while a codec before it on the bus leaves and comes back (the bench's
// unplug and plug); none of its transfers reaches another codec.
TEST_F(DevLibBench, ABoundJobKeepsItsCodecWhileAnotherLeavesAndArrives) {
  Start({CodecSpec{"a", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {1}}, {}, "both"},
         CodecSpec{"b", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {2}}, {}, "both"},
         CodecSpec{"c", "VMC2232", sim::MemoryKind::kSpiFlash, {1, {3}}, {}, "both"}},
        0, true);
  const auto power = [&](const std::string& name, bool on) {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    sim::CodecLock lock(*bench, name);
    sim::Codec* codec = lock.Held() ? bench->Reload(name) : nullptr;
    ASSERT_TRUE(codec);
    on ? codec->PowerOn() : codec->PowerOff();
    ASSERT_TRUE(bench->Commit(name, bench->TimeOf(name)));
  };
  ASSERT_EQ(DevLib_GetDeviceCount(), 3);  // the job listed c at position 2
  power("b", false);
  const DevLibPortBinding binding("1-3");
  ClearLog();
  std::uint32_t handle = DevLib_OpenDevice(2);
  ASSERT_NE(handle, 0u);
  std::string port;
  ASSERT_EQ(DevLib_GetPortPath(handle, port), 1);
  EXPECT_EQ(port, "1-3");
  // b arrives before c while c is off the bus for its reset.
  const std::uint32_t before = DevLib_GetDeviceInstance();
  bool plugged = false;
  host_->SetHotplugCallback([&](bool arrived, std::uint32_t instance) {
    if (arrived || instance != before || plugged) return;
    plugged = true;
    power("b", true);
  });
  ASSERT_EQ(DevLib_ResetRom(handle, 0, 5000), 1);
  host_->SetHotplugCallback(nullptr);
  EXPECT_TRUE(plugged);
  EXPECT_EQ(DevLib_GetDeviceCount(), 3);
  ASSERT_EQ(DevLib_GetPortPath(handle, port), 1);
  EXPECT_EQ(port, "1-3");
  std::uint8_t b[2];
  EXPECT_EQ(DevLib_ReadMem(handle, 0xFE21, 2, b, 0), 1);
  DevLib_CloseDevice(handle);
  // Closed and opened again at its old position, which is b's again.
  handle = DevLib_OpenDevice(1);
  ASSERT_NE(handle, 0u);
  ASSERT_EQ(DevLib_GetPortPath(handle, port), 1);
  EXPECT_EQ(port, "1-3");
  const auto log = Log();
  ASSERT_FALSE(log.empty());
  for (const Transfer& t : log) EXPECT_EQ(t.codec, "c") << std::hex << t.type << " " << t.request;
  // A port that holds no codec opens none.
  DevLib_CloseDevice(handle);
  const DevLibPortBinding empty("1-5");
  EXPECT_EQ(DevLib_OpenDevice(0), 0u);
}

// ResetAndFind on a record of the test's own, over the bench's host.
// A re-enumerating reset (kind 9) over the vendor channel, with the record's
// known facts and a settle wait of `settleMs`.
ResetRequest VendorReset(std::uint32_t settleMs) {
  ResetRequest request;
  request.kind = 9;
  request.useKnownFacts = true;
  request.vendorChannel = true;
  request.settleMs = settleMs;
  return request;
}

class ResetAndFindBench : public DevLibBench {
 protected:
  void SetUp() override { Begin({CodecSpec{}}); }
  // A new bench of these codecs, with `faults` armed on the first.
  void Begin(const std::vector<CodecSpec>& specs, const std::string& faults = "") {
    if (access_) CloseDeviceRecord(*access_, record_);
    if (os_) RemoveProxyDriver(channel_, *os_);
    os_.reset();
    access_.reset();
    files_.reset();
    DevLibBench::TearDown();
    Start(specs);
    if (!faults.empty()) {
      std::string error;
      auto bench = sim::Bench::Load(folder_, error);
      ASSERT_TRUE(bench) << error;
      sim::Codec& c = *bench->Find(specs[0].name);
      ASSERT_TRUE(sim::ApplyFaultSpec(faults, c.Faults(), c.Memory().StuckBits(), error)) << error;
      ASSERT_TRUE(bench->Save(error)) << error;
      DevLib_Uninit();
      host_.reset();
      OpenHost();
    }
    DevLib_Uninit();  // the test drives the proxy itself
    files_ = std::make_unique<UserSpaceProxy>(*host_, channel_.memory);
    os_ = std::make_unique<LinuxProxyServices>(*files_, host_->HostClock());
    access_ = std::make_unique<DeviceAccess>(DeviceAccess{*host_, *files_, channel_});
    ASSERT_TRUE(InstallProxyDriver(channel_, *os_));
    ASSERT_EQ(OpenDeviceByPosition(*access_, record_, 0), 0u);
  }
  void TearDown() override {
    if (access_) CloseDeviceRecord(*access_, record_);
    if (os_) RemoveProxyDriver(channel_, *os_);
    DevLibBench::TearDown();
  }
  ProxyDriverChannel channel_;
  std::unique_ptr<UserSpaceProxy> files_;
  std::unique_ptr<LinuxProxyServices> os_;
  std::unique_ptr<DeviceAccess> access_;
  DeviceRecord record_;
};

TEST_F(ResetAndFindBench, GivesUpWhenTheDeviceIsNotBackWithinTheLimit) {
  ResetRequest request = VendorReset(0);
  request.limitMs = 300;  // the codec needs 600 ms to come back
  const std::uint64_t before = Clock().NowMs();
  EXPECT_EQ(ResetAndFind(*access_, record_, request), platform::kErrorTimeout);
  EXPECT_GT(Clock().NowMs() - before, 300u);
}

// The settle wait ends when the codec has left the bus, and the search finds
// it as soon as it is back at its place with a new node; "Wait Time" (5 s
// here) and the search limit (15 s) stay the upper limits.
TEST_F(ResetAndFindBench, SettlesUntilTheCodecHasLeftAndFindsItWhenItIsBack) {
  struct Case {
    const char* what;
    std::uint32_t reenumerateMs;
    std::string faults;
    std::uint32_t status;
    std::uint64_t fromMs, toMs;  // the whole reset, in virtual time
  };
  // A search pass opens the codec and its neighbour, each asked at once.
  constexpr std::uint64_t kOpens = 40;
  const Case cases[] = {
      {"leaves at once, back in 100 ms", 100, "", 0, 100, 100 + kOpens},
      {"leaves at once, back in 4 s", 4000, "", 0, 4000, 4000 + kOpens},
      {"leaves after 1 s, back 100 ms later", 100, "leave-late=1000", 0, 1100, 1100 + kOpens},
      {"leaves after 1 s, back 4 s later", 4000, "leave-late=1000", 0, 5000, 5000 + kOpens},
      {"back before it was seen gone", 0, "", 0, 0, kOpens},
      {"never leaves: the whole settle time, then the search limit", 100, "leave-late=600000", platform::kErrorTimeout,
       20000, 20000 + kOpens},
      {"never comes back: no settle time, the search limit", 60000, "", platform::kErrorTimeout, 15000, 15000 + kOpens},
      {"never comes back, late leaver", 60000, "leave-late=1000", platform::kErrorTimeout, 16000, 16000 + kOpens},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CodecSpec codec, neighbour;
    codec.reenumerateMs = c.reenumerateMs;
    neighbour.name = "neighbour";
    neighbour.port = {1, {2}};
    Begin({codec, neighbour}, c.faults);
    if (::testing::Test::HasFatalFailure()) return;
    const std::string location = record_.location;
    const std::uint32_t instance = record_.deviceInstance;
    ResetRequest request = VendorReset(5000);
    const std::uint64_t before = Clock().NowMs();
    EXPECT_EQ(ResetAndFind(*access_, record_, request), c.status);
    const std::uint64_t took = Clock().NowMs() - before;
    EXPECT_GE(took, c.fromMs);
    EXPECT_LE(took, c.toMs);
    if (c.status != 0) continue;
    EXPECT_EQ(record_.location, location);
    EXPECT_NE(record_.deviceInstance, instance);
    ProxyControlPipe pipe(channel_, record_.token);
    std::uint8_t byte = 0;
    EXPECT_EQ(VendorOneByteRead(pipe, 0, byte), 0u) << "the codec found answers";
  }
}

// The bench's host, with every listing of the bus taking `listingMs` of the
// clock, as a whole enumeration does on a busy machine.
class SlowListingHost final : public platform::UsbHost {
 public:
  SlowListingHost(platform::UsbHost& host, std::uint32_t listingMs) : host_(host), listingMs_(listingMs) {}
  std::vector<platform::UsbNode> Nodes() override {
    ++listings;
    host_.HostClock().SleepMs(listingMs_);
    return host_.Nodes();
  }
  std::unique_ptr<platform::UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override {
    return host_.Open(instance, error);
  }
  bool HubPorts(std::uint32_t hub, std::vector<platform::UsbPortInfo>& ports) override {
    return host_.HubPorts(hub, ports);
  }
  bool PortStringDescriptor(std::uint32_t hub, std::uint32_t port, std::uint8_t index, std::uint16_t language,
                            std::vector<std::uint8_t>& out) override {
    return host_.PortStringDescriptor(hub, port, index, language, out);
  }
  void SetHotplugCallback(std::function<void(bool, std::uint32_t)> cb) override { host_.SetHotplugCallback(cb); }
  platform::Clock& HostClock() override { return host_.HostClock(); }
  int listings = 0;

 private:
  platform::UsbHost& host_;
  std::uint32_t listingMs_;
};

// While the codec re-enumerates, a search whose listings are slow pauses at
// least as long as a listing took: it lists the bus for at most half of the
// wait (listing again at once would keep a CPU busy, away from the kernel and
// the other jobs), and still finds the codec within a pause of its return.
TEST_F(ResetAndFindBench, SlowListingsArePausedAsLongAsTheyTake) {
  CodecSpec codec;
  codec.reenumerateMs = 4000;
  Begin({codec});
  if (::testing::Test::HasFatalFailure()) return;
  for (const std::uint32_t listingMs : {0u, 30u, 200u}) {
    SCOPED_TRACE(std::to_string(listingMs) + " ms per listing");
    SlowListingHost slow(*host_, listingMs);
    DeviceAccess access{slow, *files_, channel_};
    ResetRequest request = VendorReset(5000);
    const std::uint64_t before = Clock().NowMs();
    ASSERT_EQ(ResetAndFind(access, record_, request), 0u);
    const std::uint64_t took = Clock().NowMs() - before;
    EXPECT_GE(took, 4000u);
    // Back after 4 s: found within one pause and one search pass (three listings and the opens).
    EXPECT_LE(took, 4000u + std::max(10u, listingMs) + 4 * listingMs + 40);
    if (listingMs > 10) {
      EXPECT_LE(std::uint64_t(slow.listings) * listingMs, took / 2 + 4 * listingMs) << slow.listings;
    } else {
      EXPECT_GE(slow.listings, 300) << "fast listings are looked at every 10 ms";
    }
  }
}

// A search pass lists the bus once: the list, the open of the codec found
// and its port all come from one listing (a listing of real hardware is a
// whole enumeration). The next pass lists anew, so a codec that came back
// while the search paused is seen.
TEST_F(ResetAndFindBench, EachSearchPassListsTheBusOnceAndAnew) {
  for (const std::uint32_t backMs : {0u, 4000u}) {
    SCOPED_TRACE("back after " + std::to_string(backMs) + " ms");
    CodecSpec codec, neighbour;
    codec.reenumerateMs = backMs;
    neighbour.name = "neighbour";
    neighbour.port = {1, {2}};
    Begin({codec, neighbour});
    if (::testing::Test::HasFatalFailure()) return;
    ListingCountingHost counting(*host_);
    DeviceAccess access{counting, *files_, channel_};
    const std::string location = record_.location;
    ResetRequest request = VendorReset(5000);
    const std::uint64_t before = Clock().NowMs();
    ASSERT_EQ(ResetAndFind(access, record_, request), 0u);
    const std::uint64_t took = Clock().NowMs() - before;
    EXPECT_EQ(record_.location, location);
    EXPECT_GE(took, backMs);
    EXPECT_LE(took, backMs + 50);
    if (backMs == 0) {
      EXPECT_EQ(counting.listings, 2) << "one look to see the old node gone, one search pass";
    } else {
      // A look every 10 ms of the wait, and one for the pass that finds it.
      EXPECT_LE(counting.listings, int(took / 10) + 2);
      EXPECT_GE(counting.listings, int(backMs / 20));
    }
  }
}

TEST_F(ResetAndFindBench, RefusesAnInvalidRecord) {
  DeviceRecord empty;
  EXPECT_EQ(ResetAndFind(*access_, empty, ResetRequest{}), platform::kErrorInvalidParameter);
}

TEST_F(DevLibBench, TwoProcessesNeverInterleaveExtensionUnitCommands) {
  Start({CodecSpec{}}, 0, true);
  DevLib_Uninit();
  host_.reset();
  pid_t children[2];
  for (pid_t& child : children) {
    child = fork();
    if (child == 0) {
      std::string error;
      auto host = sim::OpenBench(folder_, error);
      DevLib_InitWithHost(0, host.get());
      const std::uint32_t h = DevLib_OpenDevice(0);
      Bytes b(40);
      int ok = h != 0;
      for (int i = 0; i < 30 && ok; ++i) ok = DevLib_ReadMem(h, 0x8000, 40, b.data(), kAccessExtUnit);
      DevLib_Uninit();
      host.reset();
      _exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Every command's data phase comes from the process that sent the command.
  unsigned owner = 0;
  int commands = 0;
  for (const auto& t : Log()) {
    if (t.IsXuCommand()) {
      owner = t.pid;
      ++commands;
    } else if (t.IsXuData()) {
      EXPECT_EQ(t.pid, owner);
    }
  }
  EXPECT_GE(commands, 60);
}

}  // namespace
