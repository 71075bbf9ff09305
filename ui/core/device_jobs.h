#pragma once
// The bodies of the worker's jobs: they run on the current flow object, which
// reports to the window through NotifyUI.
#include <atomic>

#include "ui/core/vex_thread.h"

namespace platform {
class Clock;
}

class DeviceJobs final : public WorkerJobs {
 public:
  // The loop test's pause between runs goes through `clock`.
  explicit DeviceJobs(platform::Clock& clock) : clock_(clock) {}
  void Run(const WorkerJob& job) override;

  // Result of the last download: 1 success, 0 failure.
  int LastResult() const { return lastResult_.load(); }

 private:
  void Download(JobWindow& window);

  platform::Clock& clock_;
  std::atomic<int> lastResult_{0};
};
