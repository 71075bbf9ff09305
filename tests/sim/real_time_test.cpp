// A bench in real time: every modelled duration is asked of the wall clock
// (here a recording double), and a bench in virtual time never asks it.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "platform/event.h"
#include "sim/sim_host.h"
#include "sim/timing_model.h"
#include "tests/sim/sim_fixture.h"

namespace {

using platform::kErrorSuccess;

// A wall clock that only records what it is asked to wait.
class RecordingWall final : public platform::Clock {
 public:
  std::uint64_t NowMs() override { return nowUs / 1000; }
  std::uint64_t NowUs() override { return nowUs; }
  void SleepMs(std::uint32_t ms) override {
    sleeps.push_back(ms);
    nowUs += std::uint64_t(ms) * 1000;
  }
  bool WaitEvent(platform::Event& event, std::uint32_t ms) override {
    if (event.TryWait()) return true;
    SleepMs(ms);
    return event.TryWait();
  }
  std::uint64_t SleptMs() const { return std::accumulate(sleeps.begin(), sleeps.end(), std::uint64_t(0)); }

  std::uint64_t nowUs = 0;
  std::vector<std::uint32_t> sleeps;
};

class RealTimeBench : public testing::Test {
 protected:
  void Open(bool realTime) {
    folder_ = simtest::TempBenchFolder();
    simtest::MakeBench(folder_, {simtest::CodecSpec{}});
    std::string error;
    if (realTime) {  // the bench setting, stored as tessaload-sim create DIR --real-time stores it
      auto bench = sim::Bench::Load(folder_, error);
      ASSERT_TRUE(bench) << error;
      bench->realTime = true;
      ASSERT_TRUE(bench->Save(error)) << error;
    }
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    ASSERT_EQ(bench->realTime, realTime);
    host_ = std::make_unique<sim::SimHost>(std::move(bench), &wall_);
    for (const auto& node : host_->Nodes()) {
      if (!node.audioInterface) continue;
      std::uint32_t openError = 0;
      device_ = host_->Open(node.instance, openError);
      ASSERT_EQ(openError, kErrorSuccess);
      channels_ = std::make_unique<simtest::Channels>(*device_);
    }
    ASSERT_TRUE(channels_);
  }
  void TearDown() override {
    channels_.reset();
    device_.reset();
    host_.reset();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // A chip erase over the extension unit, then a reset into the boot ROM
  // and the polls of a program until the codec is back on the bus.
  void EraseAndReset() {
    ASSERT_EQ(channels_->Command(0x02, 0x04, 0, 0), kErrorSuccess);  // chip erase
    ASSERT_EQ(channels_->VendorOut(0x20, 6, 0), kErrorSuccess);      // into the boot ROM's update mode
    channels_.reset();
    device_.reset();
    platform::Clock& clock = host_->HostClock();
    const std::uint64_t start = clock.NowMs();
    for (;;) {
      const auto nodes = host_->Nodes();
      if (std::any_of(nodes.begin(), nodes.end(), [](const auto& n) { return n.audioInterface; })) break;
      ASSERT_LT(clock.NowMs() - start, 5000u) << "the codec never came back";
      clock.SleepMs(10);
    }
  }

  RecordingWall wall_;
  std::string folder_;
  std::unique_ptr<sim::SimHost> host_;
  std::unique_ptr<platform::UsbDevice> device_;
  std::unique_ptr<simtest::Channels> channels_;
};

TEST_F(RealTimeBench, EveryModelledDurationIsWaitedOnTheWallClock) {
  Open(true);
  platform::Clock& clock = host_->HostClock();
  const std::uint64_t start = clock.NowUs();
  EraseAndReset();
  const std::uint64_t modelledMs = (clock.NowUs() - start) / 1000;
  // The erase is one wait of its whole modelled time, in the transfer that
  // started it; the re-enumeration passes in the program's polls.
  ASSERT_FALSE(wall_.sleeps.empty());
  const std::uint32_t longest = *std::max_element(wall_.sleeps.begin(), wall_.sleeps.end());
  EXPECT_GE(longest, sim::TimingModel::kFlashChipEraseUs / 1000);
  EXPECT_LT(longest, sim::TimingModel::kFlashChipEraseUs / 1000 + 10);
  EXPECT_GE(modelledMs, sim::TimingModel::kFlashChipEraseUs / 1000 + sim::TimingModel::kSettleUs / 1000);
  // Nothing modelled is left out (under a millisecond may be owed).
  EXPECT_LE(wall_.SleptMs(), modelledMs);
  EXPECT_GE(wall_.SleptMs() + 1, modelledMs);
}

TEST_F(RealTimeBench, AVirtualBenchNeverWaitsOnTheWallClock) {
  Open(false);
  EraseAndReset();
  EXPECT_TRUE(wall_.sleeps.empty());
}

// Time that passed in another process already is not waited again.
TEST(RealTimeClock, MovingUpToAnotherProcesssTimeIsNotWaited) {
  RecordingWall wall;
  platform::VirtualClock clock(5000);
  clock.PaceWith(wall);
  clock.MoveUpToUs(900'000);
  clock.MoveUpToUs(100);  // never back
  EXPECT_EQ(clock.NowUs(), 900'000u);
  EXPECT_TRUE(wall.sleeps.empty());
  clock.AdvanceUs(400);
  clock.AdvanceUs(700);  // 1.1 ms owed: one whole millisecond is waited
  EXPECT_EQ(wall.sleeps, std::vector<std::uint32_t>{1});
}

}  // namespace
