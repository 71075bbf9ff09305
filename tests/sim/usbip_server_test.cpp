// The USB/IP server over a bench, with the host controller played by the
// test: attaching, a codec leaving the bus and coming back as a new device,
// and codecs switched off from outside.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "sim/timing_model.h"
#include "sim/usbip_server.h"
#include "tests/sim/sim_fixture.h"

namespace sim {
namespace {

// Keeps the kernel's end of each attached connection.
struct FakeVhci final : VhciAttacher {
  struct Attached {
    int port, fd;
    std::uint32_t devid, speed;
  };
  bool Attach(int port, int fd, std::uint32_t devid, std::uint32_t speed, std::string& error) override {
    ++calls;
    if (refuse) {
      error = "busy";
      return false;
    }
    attached.push_back({port, dup(fd), devid, speed});
    return true;
  }
  ~FakeVhci() override {
    for (const Attached& a : attached) close(a.fd);
  }
  bool PortReleased(int port) override { return !oldDevices.count(port); }
  bool refuse = false;
  std::set<int> oldDevices;  // ports where the host still has the device of a closed connection
  int calls = 0;
  std::vector<Attached> attached;
};

// The kernel side: 0 when the server closed the connection, else the bytes read.
ssize_t ReadFrom(int fd, std::vector<std::uint8_t>& out) {
  std::uint8_t buffer[4096];
  const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n > 0) out.insert(out.end(), buffer, buffer + n);
  return n;
}

std::vector<std::uint8_t> RomReset(std::uint32_t seqnum) {
  std::vector<std::uint8_t> b(48, 0);
  b[3] = 1;  // CMD_SUBMIT, direction out, endpoint 0, no data
  b[7] = std::uint8_t(seqnum);
  b[35] = b[34] = b[33] = b[32] = 0xFF;  // not isochronous
  b[40] = 0x40;
  b[41] = 0x22;
  return b;
}

class UsbipServerTest : public testing::Test {
 protected:
  void Start(const std::vector<simtest::CodecSpec>& specs) {
    folder_ = simtest::TempBenchFolder();
    simtest::MakeBench(folder_, specs);
    std::string error;
    auto bench = Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    server_ = std::make_unique<UsbipServer>(std::move(bench), vhci_, real_, log_);
  }
  void TearDown() override {
    server_.reset();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  // Runs rounds until `us` of real time have passed.
  void RunFor(std::uint64_t us) {
    const std::uint64_t end = real_.NowUs() + us;
    do {
      server_->RunOnce(0);
      real_.AdvanceUs(1000);
    } while (real_.NowUs() < end);
  }

  std::string folder_;
  FakeVhci vhci_;
  platform::VirtualClock real_{1'000'000};
  std::ostringstream log_;
  std::unique_ptr<UsbipServer> server_;
};

TEST_F(UsbipServerTest, AttachesEachCodecOnItsPortAtItsSpeed) {
  Start({{"hs", "VMC2232", MemoryKind::kSpiFlash, {1, {1}}, {}, "both"},
         {"fs", "VMC2230", MemoryKind::kSpiFlash, {1, {4}}, {}, "both"}});
  server_->RunOnce(0);
  ASSERT_EQ(vhci_.attached.size(), 2u);
  EXPECT_EQ(server_->AttachedCount(), 2);
  EXPECT_EQ(vhci_.attached[0].port, 0);
  EXPECT_EQ(vhci_.attached[0].speed, kUsbSpeedHigh);
  EXPECT_EQ(vhci_.attached[1].port, 3);
  EXPECT_EQ(vhci_.attached[1].speed, kUsbSpeedFull);
  EXPECT_NE(vhci_.attached[0].devid, vhci_.attached[1].devid);
}

TEST_F(UsbipServerTest, ACodecThatResetsIsDetachedAndAttachedAgainAfterItsSettleTime) {
  Start({{}});
  server_->RunOnce(0);
  ASSERT_EQ(vhci_.attached.size(), 1u);
  const int kernel = vhci_.attached[0].fd;
  const auto reset = RomReset(7);
  ASSERT_EQ(send(kernel, reset.data(), reset.size(), 0), ssize_t(reset.size()));
  RunFor(2000);
  std::vector<std::uint8_t> reply;
  ASSERT_GT(ReadFrom(kernel, reply), 0);
  ASSERT_EQ(reply.size(), 48u);
  EXPECT_EQ(reply[7], 7);     // the reset was acknowledged
  RunFor(100'000);            // the host stays quiet
  EXPECT_EQ(ReadFrom(kernel, reply), 0);  // then the connection ends
  EXPECT_EQ(server_->AttachedCount(), 0);

  RunFor(TimingModel::kSettleUs - 200'000);
  EXPECT_EQ(vhci_.attached.size(), 1u);  // still off the bus
  // The host has not removed the old device yet: attached now, the codec
  // would be taken for it and never re-enumerate.
  vhci_.oldDevices = {0};
  RunFor(1'000'000);
  EXPECT_EQ(vhci_.calls, 1) << "the codec is not attached while the host still has its old device";
  vhci_.oldDevices.clear();
  vhci_.refuse = true;                   // the port is still being torn down
  RunFor(300'000);
  EXPECT_EQ(vhci_.attached.size(), 1u);
  vhci_.refuse = false;
  RunFor(60'000);
  ASSERT_EQ(vhci_.attached.size(), 2u);  // back, as a new device
  EXPECT_NE(vhci_.attached[1].devid, vhci_.attached[0].devid);
  EXPECT_NE(log_.str().find("left the bus"), std::string::npos);
  EXPECT_NE(log_.str().find("attach refused: busy"), std::string::npos);
  EXPECT_NE(log_.str().find("waits until the host has removed its old device on virtual port 0"), std::string::npos);
}

// The host's device on a root port of the controller, as sysfs shows it.
TEST(SysfsVhci, APortIsReleasedWhenNoBusOfTheControllerHasADeviceOnIt) {
  const std::filesystem::path controller = simtest::TempBenchFolder();
  std::filesystem::create_directories(controller / "usb3" / "3-2");  // a device on port 2 of the USB 2 bus
  std::filesystem::create_directories(controller / "usb4");           // its USB 3 bus, empty
  std::filesystem::create_directories(controller / "usb3" / "3-0:1.0");  // the root hub's own interface
  SysfsVhciAttacher vhci((controller / "attach").string());
  EXPECT_TRUE(vhci.PortReleased(0));
  EXPECT_FALSE(vhci.PortReleased(1));
  EXPECT_TRUE(vhci.PortReleased(2));
  std::filesystem::remove_all(controller / "usb3" / "3-2");
  EXPECT_TRUE(vhci.PortReleased(1)) << "gone once the host removed it";
  std::filesystem::remove_all(controller);
}

TEST_F(UsbipServerTest, ACodecSwitchedOffFromOutsideLeavesAndComesBackWhenPlugged) {
  Start({{}});
  server_->RunOnce(0);
  ASSERT_EQ(server_->AttachedCount(), 1);
  const auto setPlugged = [&](bool plugged) {
    std::string error;
    auto bench = Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    Codec& codec = *bench->Find("codec");
    if (plugged) {
      codec.PowerOn();
    } else {
      codec.PowerOff();
    }
    ASSERT_TRUE(bench->Save(error)) << error;
  };
  setPlugged(false);
  RunFor(300'000);
  EXPECT_EQ(server_->AttachedCount(), 0);
  std::vector<std::uint8_t> bytes;
  EXPECT_EQ(ReadFrom(vhci_.attached[0].fd, bytes), 0);
  setPlugged(true);
  RunFor(300'000);
  EXPECT_EQ(server_->AttachedCount(), 1);
  EXPECT_EQ(vhci_.attached.size(), 2u);
}

TEST(UsbipPlace, OnlyRootPortsOfBus1HaveAVirtualPort) {
  CodecConfig config;
  int port = -1;
  std::uint32_t speed = 0;
  std::string error;
  const struct {
    PortPath at;
    bool ok;
  } cases[] = {{{1, {1}}, true}, {{1, {8}}, true}, {{1, {2, 3}}, false}, {{2, {1}}, false}, {{1, {9}}, false}};
  for (const auto& c : cases) {
    config.port = c.at;
    EXPECT_EQ(VhciPlaceOf(config, port, speed, error), c.ok) << PortPathText(c.at);
  }
}

}  // namespace
}  // namespace sim
