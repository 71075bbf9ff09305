#pragma once
// The worker thread: runs every device job of the window mode, one at a time,
// in the order the jobs were posted. Posting never waits; jobs already queued
// are not cancelled. When it receives the quit job the thread ends after the
// jobs before it and posts 0x412 to the window.
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "ui/core/posted_queue.h"

inline constexpr std::uint32_t kJobDownload = 0x431;
inline constexpr std::uint32_t kJobDeviceList = 0x43C;            // wparam 0: device change, 1: after an outcome
inline constexpr std::uint32_t kJobDeviceListAfterReset = 0x43D;  // wparam: the chosen list position
inline constexpr std::uint32_t kJobCloseDevice = 0x441;
inline constexpr std::uint32_t kJobQuit = 0x0012;  // WM_QUIT

class JobWindow;

struct WorkerJob {
  std::uint32_t id = 0;
  std::intptr_t wparam = 0;
  JobWindow* window = nullptr;  // the window that posted a download
};

// Runs one job on the worker thread.
class WorkerJobs {
 public:
  virtual ~WorkerJobs() = default;
  virtual void Run(const WorkerJob& job) = 0;
};

class CVexThread {
 public:
  // `onIdle` runs on the worker thread each time the last waiting job ended.
  CVexThread(WorkerJobs& jobs, std::function<void()> onIdle = {});
  // Posts the quit job if nobody did, and waits for the thread to end.
  ~CVexThread();
  CVexThread(const CVexThread&) = delete;
  CVexThread& operator=(const CVexThread&) = delete;

  // False once the quit job was posted.
  bool Post(std::uint32_t job, std::intptr_t wparam = 0);
  bool PostDownload(JobWindow& window);
  // As Post, but nothing is posted when the same job waits already.
  bool PostUnlessWaiting(std::uint32_t job, std::intptr_t wparam = 0);
  void PostQuit();

  // True while a job runs or waits.
  bool Busy() const { return pending_.load() > 0; }
  // True once the thread has ended.
  bool Ended() const { return ended_.load(); }

 private:
  bool Enqueue(const WorkerJob& job);
  void Loop();

  WorkerJobs& jobs_;
  std::function<void()> onIdle_;
  PostedQueue<WorkerJob> queue_;
  std::atomic<int> pending_{0};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};
