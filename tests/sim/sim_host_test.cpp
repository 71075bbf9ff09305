// The simulated bus through the platform::UsbHost interface.
#include <gtest/gtest.h>

#include "platform/usb_paths.h"
#include "sim_fixture.h"

namespace simtest {
namespace {

using platform::kErrorSuccess;

const platform::UsbNode* FindNode(const std::vector<platform::UsbNode>& nodes, const std::string& path) {
  for (const auto& node : nodes) {
    if (node.instancePath == path) return &node;
  }
  return nullptr;
}

class SimBus : public BenchTest {
 protected:
  void SetUp() override {
    CodecSpec a;
    a.name = "a";
    CodecSpec b;
    b.name = "b";
    b.chip = "VMC2270";
    b.port = {2, {3, 2}};
    Start({a, b});
  }
};

TEST_F(SimBus, TreeHasRootHubsHubsCodecsAndTheirFunctionsWithRenderedPaths) {
  const auto nodes = host_->Nodes();
  const auto* root2 = FindNode(nodes, platform::RootHubInstancePath(1, false));
  const auto* root3 = FindNode(nodes, platform::RootHubInstancePath(2, true));
  ASSERT_TRUE(root2 && root3);
  EXPECT_TRUE(root3->isHub);

  const auto* hub = FindNode(nodes, platform::DeviceInstancePath(0x3C5A, 0x0100, "", 2, {3}));
  ASSERT_NE(hub, nullptr);
  EXPECT_EQ(hub->parent, root3->instance);
  EXPECT_EQ(hub->locationPath, platform::ChildLocationPath(platform::RootHubLocationPath(2), 3));

  const auto* device = FindNode(nodes, platform::DeviceInstancePath(0x3C5A, 0x2270, "", 2, {3, 2}));
  const auto* function = FindNode(nodes, platform::FunctionInstancePath(0x3C5A, 0x2270, 0, 2, {3, 2}));
  ASSERT_TRUE(device && function);
  EXPECT_EQ(device->parent, hub->instance);
  EXPECT_EQ(device->address, 2u);
  EXPECT_EQ(device->setupClass, "USB");
  EXPECT_EQ(function->parent, device->instance);
  EXPECT_EQ(device->children, std::vector<std::uint32_t>{function->instance});
  EXPECT_EQ(function->setupClass, "Media");
  EXPECT_TRUE(function->audioInterface);
  EXPECT_EQ(function->locationPath, platform::FunctionLocationPath(device->locationPath, 0));
  EXPECT_EQ(function->friendlyName, "VMC2270 USB Audio");

  // Parents come before their children.
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (std::size_t j = i + 1; j < nodes.size(); ++j) EXPECT_NE(nodes[i].parent, nodes[j].instance);
  }
}

TEST_F(SimBus, HubPortsAndTheirStringDescriptors) {
  const auto nodes = host_->Nodes();
  const auto* hub = FindNode(nodes, platform::DeviceInstancePath(0x3C5A, 0x0100, "", 2, {3}));
  ASSERT_NE(hub, nullptr);
  std::vector<platform::UsbPortInfo> ports;
  ASSERT_TRUE(host_->HubPorts(hub->instance, ports));
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_FALSE(ports[0].connected);
  EXPECT_TRUE(ports[1].connected);
  EXPECT_FALSE(ports[1].isHub);
  EXPECT_EQ(ports[1].speed, 2);
  EXPECT_EQ(ports[1].deviceDescriptor[10] | ports[1].deviceDescriptor[11] << 8, 0x2270);

  std::vector<std::uint8_t> text;
  ASSERT_TRUE(host_->PortStringDescriptor(hub->instance, 2, 1, 0x0409, text));
  EXPECT_EQ(text, (std::vector<std::uint8_t>{16, 3, 'M', 0, 'o', 0, 'r', 0, 'v', 0, 'a', 0, 'n', 0, 'e', 0}));
  EXPECT_FALSE(host_->PortStringDescriptor(hub->instance, 1, 1, 0x0409, text));
  EXPECT_FALSE(host_->HubPorts(0x7FFFFFFF, ports));

  std::vector<platform::UsbPortInfo> rootPorts;
  ASSERT_TRUE(host_->HubPorts(2, rootPorts));
  EXPECT_TRUE(rootPorts[2].isHub);
  EXPECT_EQ(rootPorts[2].speed, 3);
}

TEST_F(SimBus, ResetLeavesTheBusAndComesBackWithANewInstanceAfterTheSettleTime) {
  std::vector<std::pair<bool, std::uint32_t>> events;
  host_->SetHotplugCallback([&](bool arrived, std::uint32_t instance) { events.push_back({arrived, instance}); });
  const std::string path = platform::FunctionInstancePath(0x3C5A, 0x2232, 0, 1, {1});
  const std::uint32_t before = FindNode(host_->Nodes(), path)->instance;
  platform::Clock& clock = host_->HostClock();

  ASSERT_EQ(channels_->VendorOut(0x20, 6, 0), kErrorSuccess);  // into the boot ROM's update mode
  std::vector<std::uint8_t> byte(1);
  EXPECT_EQ(channels_->VendorIn(0x06, 0, 0, byte), platform::kErrorDeviceNotConnected);
  EXPECT_EQ(FindNode(host_->Nodes(), path), nullptr);

  clock.SleepMs(300);
  EXPECT_EQ(FindNode(host_->Nodes(), path), nullptr) << "back before its settle time";
  const std::uint64_t start = clock.NowMs();
  clock.SleepMs(400);
  const auto nodes = host_->Nodes();
  const auto* back = FindNode(nodes, path);
  ASSERT_NE(back, nullptr);
  EXPECT_NE(back->instance, before);
  EXPECT_LT(clock.NowMs() - start, 1000u) << "virtual time, no real waiting";

  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[1], std::make_pair(false, before));
  EXPECT_EQ(events.back(), std::make_pair(true, back->instance));
  host_->SetHotplugCallback({});
}

TEST_F(SimBus, ResetValueTwoSwitchesModeWithoutLeaving) {
  ASSERT_EQ(channels_->VendorOut(0x20, 2, 0), kErrorSuccess);
  std::vector<std::uint8_t> byte(1);
  EXPECT_EQ(channels_->VendorIn(0x06, 0, 0, byte), kErrorSuccess);
}

TEST_F(SimBus, NotReadyResetsAndPowerLossFaults) {
  device_.reset();
  host_.reset();
  std::string error;
  {
    auto bench = sim::Bench::Load(folder_, error);
    auto& codec = *bench->Find("a");
    ASSERT_TRUE(sim::ApplyFaultSpec("not-ready-resets=2,disconnect-after=4", codec.Faults(), codec.Memory().StuckBits(), error));
    ASSERT_TRUE(bench->Save(error));
  }
  host_ = sim::OpenBench(folder_, error);
  Reopen();
  EXPECT_EQ(channels_->VendorOut(0x22, 0, 0), platform::kErrorNotReady);
  EXPECT_EQ(channels_->VendorOut(0x22, 0, 0), platform::kErrorNotReady);
  std::vector<std::uint8_t> byte(1);
  EXPECT_EQ(channels_->VendorIn(0x06, 0, 0, byte), kErrorSuccess);
  EXPECT_EQ(channels_->VendorIn(0x06, 0, 0, byte), kErrorSuccess);
  EXPECT_EQ(channels_->VendorIn(0x06, 0, 0, byte), platform::kErrorDeviceNotConnected);
  host_->HostClock().SleepMs(5000);
  EXPECT_EQ(FindNode(host_->Nodes(), platform::DeviceInstancePath(0x3C5A, 0x2232, "", 1, {1})), nullptr)
      << "a codec that lost power stays off the bus until it is plugged in";
}

TEST_F(SimBus, ASecondHostSeesTheChangesOfTheFirst) {
  ASSERT_EQ(FlashWrite(0x40, {0x5A, 0xA5}), kErrorSuccess);
  device_.reset();  // closing the device saves the bench
  std::string error;
  auto second = sim::OpenBench(folder_, error);
  ASSERT_TRUE(second) << error;
  auto bench = sim::Bench::Load(folder_, error);
  EXPECT_EQ(bench->Find("a")->Memory().Read(0x40), 0x5A);
  EXPECT_EQ(bench->Find("a")->Counters().vendor, 1u);
  EXPECT_GE(second->HostClock().NowUs(), host_->HostClock().NowUs() - 1);
}

TEST(OpenBench, MissingBenchIsNamed) {
  std::string error;
  EXPECT_EQ(sim::OpenBench("/nonexistent/bench", error), nullptr);
  EXPECT_NE(error.find("no bench"), std::string::npos);
}

}  // namespace
}  // namespace simtest
