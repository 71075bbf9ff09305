#pragma once
// Every wait of the program goes through a Clock: sleeps, time-outs and polls.
// SteadyClock is the machine's monotonic clock; VirtualClock is simulated time
// that only moves when somebody waits, so runs against the simulated codec
// take no real time.
#include <atomic>
#include <cstdint>

namespace platform {

class Event;

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start (the tick count).
  virtual std::uint64_t NowMs() = 0;
  // Microseconds since the same start (the performance counter).
  virtual std::uint64_t NowUs() = 0;
  virtual void SleepMs(std::uint32_t ms) = 0;
  // Waits up to ms for the event; true when it was signalled (an automatic
  // reset event is consumed).
  virtual bool WaitEvent(Event& event, std::uint32_t ms) = 0;
};

class SteadyClock final : public Clock {
 public:
  std::uint64_t NowMs() override;
  std::uint64_t NowUs() override;
  void SleepMs(std::uint32_t ms) override;
  bool WaitEvent(Event& event, std::uint32_t ms) override;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::uint64_t startUs = 0) : nowUs_(startUs) {}
  std::uint64_t NowMs() override { return nowUs_ / 1000; }
  std::uint64_t NowUs() override { return nowUs_; }
  void SleepMs(std::uint32_t ms) override;
  // An unsignalled event is waited for in virtual time: the clock moves on by
  // the whole time-out unless the event is set meanwhile by another thread.
  bool WaitEvent(Event& event, std::uint32_t ms) override;
  // Moves simulated time on without a wait (bus time of a transfer, say).
  void AdvanceUs(std::uint64_t us);
  // Moves simulated time up to `us` without a wait even when paced: time
  // that has passed elsewhere already (another process's changes).
  void MoveUpToUs(std::uint64_t us);

  // Real time: from now on every sleep, event wait and advance also waits on
  // `wall` for as long (the machine's clock for a real-time bench). Set it
  // before the clock is shared between threads.
  void PaceWith(Clock& wall) { wall_ = &wall; }
  bool Paced() const { return wall_ != nullptr; }

 private:
  std::atomic<std::uint64_t> nowUs_;
  Clock* wall_ = nullptr;
  std::atomic<std::uint64_t> owedUs_{0};  // advanced but not yet waited on the wall (under 1 ms)
};

// The machine's steady clock, shared by the whole program.
Clock& SystemClock();

}  // namespace platform
