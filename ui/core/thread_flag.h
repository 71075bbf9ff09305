#pragma once
// The stop flag of the main window and its lock: the window sets it to cancel
// the running job, the flows read it between chunks of work. The lock is held
// for one read or write only.
#include <mutex>

class CThreadFlag {
 public:
  bool StopRequested() const {
    std::lock_guard lock(lock_);
    return stop_ != 0;
  }
  void RequestStop() { Store(1); }
  void ResetStop() { Store(0); }

 private:
  void Store(int value) {
    std::lock_guard lock(lock_);
    stop_ = value;
  }

  mutable std::mutex lock_;
  int stop_ = 0;
};
