#pragma once
// A machine-wide lock held by a process rather than a thread: an flock on a
// file in the lock folder, taken and let go from any thread of the holder.
// The system lets it go when the holder ends, however it ends.
#include <cstdint>
#include <string>

namespace platform {

class Clock;

class ProcessLock {
 public:
  explicit ProcessLock(std::string name);
  ~ProcessLock();
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

  // Waits up to timeoutMs, polling through the clock; a holder runs in real
  // time whatever clock this process keeps, so the limit must have passed in
  // real time as well. True when this object holds the lock.
  bool Lock(std::uint32_t timeoutMs, Clock& clock);
  void Unlock();
  bool Held() const { return held_; }
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace platform
