#include "ui/core/vex_thread.h"

#include "app/notify.h"

CVexThread::CVexThread(WorkerJobs& jobs, std::function<void()> onIdle)
    : jobs_(jobs), onIdle_(std::move(onIdle)), thread_([this] { Loop(); }) {}

CVexThread::~CVexThread() {
  PostQuit();
  if (thread_.joinable()) thread_.join();
}

bool CVexThread::Enqueue(const WorkerJob& job) {
  ++pending_;
  if (queue_.Post(job)) return true;
  --pending_;
  return false;
}

bool CVexThread::Post(std::uint32_t job, std::intptr_t wparam) { return Enqueue({job, wparam, nullptr}); }

bool CVexThread::PostDownload(JobWindow& window) { return Enqueue({kJobDownload, 0, &window}); }

bool CVexThread::PostUnlessWaiting(std::uint32_t job, std::intptr_t wparam) {
  const WorkerJob wanted{job, wparam, nullptr};
  const auto same = [](const WorkerJob& a, const WorkerJob& b) { return a.id == b.id && a.wparam == b.wparam; };
  if (queue_.Holds(wanted, same)) return true;
  return Enqueue(wanted);
}

void CVexThread::PostQuit() {
  queue_.Post({kJobQuit, 0, nullptr});
  queue_.Close();
}

void CVexThread::Loop() {
  while (auto job = queue_.Take()) {
    if (job->id == kJobQuit) break;
    jobs_.Run(*job);
    if (--pending_ == 0 && onIdle_) onIdle_();
  }
  // Tell the window, which closes on this message; NotifyUI also turns a
  // success status left over into 0.
  NotifyUI(kMsgWorkerEnded, 0, 0);
  ended_ = true;
}
