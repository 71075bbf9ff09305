#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "platform/event.h"

namespace {

TEST(VirtualClock, SleepsAndTimeOutsPassInSimulatedTime) {
  platform::VirtualClock clock;
  clock.SleepMs(15000);
  EXPECT_EQ(clock.NowMs(), 15000u);
  platform::Event event(true);
  EXPECT_FALSE(clock.WaitEvent(event, 300));
  EXPECT_EQ(clock.NowMs(), 15300u);
  event.Set();
  EXPECT_TRUE(clock.WaitEvent(event, 300));
  EXPECT_EQ(clock.NowMs(), 15300u);
  clock.AdvanceUs(1500);
  EXPECT_EQ(clock.NowUs(), 15301500u);
}

TEST(Event, ManualAndAutomaticReset) {
  platform::Event manual(true);
  manual.Set();
  EXPECT_TRUE(manual.TryWait());
  EXPECT_TRUE(manual.TryWait());
  manual.Reset();
  EXPECT_FALSE(manual.IsSet());

  platform::Event automatic(false, true);
  EXPECT_TRUE(automatic.TryWait());
  EXPECT_FALSE(automatic.TryWait());
}

TEST(Event, SteadyWaitWakesWhenSetByAnotherThread) {
  platform::Event event(false);
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(platform::SystemClock().WaitEvent(event, 10000));
  setter.join();
  EXPECT_FALSE(event.IsSet());
}

}  // namespace
