#pragma once
// An in-process event, manual or automatic reset.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class Event {
 public:
  explicit Event(bool manualReset, bool initiallySet = false)
      : manual_(manualReset), set_(initiallySet) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when signalled; consumes the signal of an automatic-reset event.
  bool TryWait();
  // Waits in real time; use Clock::WaitEvent instead where time may be virtual.
  bool WaitRealMs(std::uint32_t ms);
  bool IsSet() const;

 private:
  const bool manual_;
  bool set_;
  mutable std::mutex mutex_;
  std::condition_variable cv_;
};

}  // namespace platform
