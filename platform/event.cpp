#include "platform/event.h"

#include <chrono>

namespace platform {

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  if (manual_)
    cv_.notify_all();
  else
    cv_.notify_one();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::TryWait() {
  std::lock_guard lock(mutex_);
  if (!set_) return false;
  if (!manual_) set_ = false;
  return true;
}

bool Event::WaitRealMs(std::uint32_t ms) {
  std::unique_lock lock(mutex_);
  if (!cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_; })) return false;
  if (!manual_) set_ = false;
  return true;
}

bool Event::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

}  // namespace platform
