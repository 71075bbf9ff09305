#include "platform/clock.h"

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
  std::this_thread::yield();
}

bool VirtualClock::WaitEvent(Event& event, std::uint32_t ms) {
  if (event.TryWait()) return true;
  // Give other threads of the process a chance to set it, then let the
  // time-out pass in simulated time.
  std::this_thread::yield();
  if (event.TryWait()) return true;
  nowUs_ += std::uint64_t(ms) * 1000;
  return event.TryWait();
}

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace platform
