#include "platform/clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/event.h"

namespace platform {

namespace {
using Steady = std::chrono::steady_clock;
const Steady::time_point kStart = Steady::now();
}  // namespace

std::uint64_t SteadyClock::NowMs() { return NowUs() / 1000; }

std::uint64_t SteadyClock::NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - kStart).count();
}

void SteadyClock::SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SteadyClock::WaitEvent(Event& event, std::uint32_t ms) { return event.WaitRealMs(ms); }

void VirtualClock::SleepMs(std::uint32_t ms) {
  nowUs_ += std::uint64_t(ms) * 1000;
  if (wall_) {
    wall_->SleepMs(ms);
    return;
  }
  std::this_thread::yield();
}

bool VirtualClock::WaitEvent(Event& event, std::uint32_t ms) {
  if (event.TryWait()) return true;
  if (wall_) {
    const std::uint64_t start = wall_->NowUs();
    const bool set = wall_->WaitEvent(event, ms);
    nowUs_ += std::min<std::uint64_t>(wall_->NowUs() - start, std::uint64_t(ms) * 1000);
    return set;
  }
  // Give other threads of the process a chance to set it, then let the
  // time-out pass in simulated time.
  std::this_thread::yield();
  if (event.TryWait()) return true;
  nowUs_ += std::uint64_t(ms) * 1000;
  return event.TryWait();
}

void VirtualClock::AdvanceUs(std::uint64_t us) {
  nowUs_ += us;
  if (!wall_) return;
  // Whole milliseconds are waited at once; the rest is owed to the next advance.
  const std::uint64_t owed = owedUs_.fetch_add(us) + us;
  const std::uint64_t ms = owed / 1000;
  if (ms == 0) return;
  owedUs_.fetch_sub(ms * 1000);
  wall_->SleepMs(static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, 0xFFFFFFFF)));
}

void VirtualClock::MoveUpToUs(std::uint64_t us) {
  std::uint64_t now = nowUs_.load();
  while (now < us && !nowUs_.compare_exchange_weak(now, us)) {
  }
}

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace platform
