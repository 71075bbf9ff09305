#pragma once
// A machine-wide named mutex: excludes other processes (flock on a file in the
// lock folder) and other threads of this process, and lets the owning thread
// enter again (each Lock needs its Unlock).
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class Clock;

inline constexpr std::uint32_t kWaitInfinite = 0xFFFFFFFF;

class NamedMutex {
 public:
  explicit NamedMutex(std::string name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Waits up to timeoutMs (kWaitInfinite: no limit), polling through the
  // clock; a hold by another process is waited for until the limit has
  // passed in real time as well. True when the calling thread owns the mutex.
  bool Lock(std::uint32_t timeoutMs, Clock& clock);
  void Unlock();
  const std::string& Name() const { return name_; }

  struct Shared;

 private:
  std::string name_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace platform
