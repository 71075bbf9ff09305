// The worker thread and the window's message delivery, without a window: jobs
// run one at a time in posting order, posting never waits, and window
// messages reach the window's thread in the order they were posted.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app/notify.h"
#include "app/program_state.h"
#include "ui/core/vex_thread.h"
#include "ui/core/window_mailbox.h"

namespace {

// Records the jobs it runs; a job with wparam 99 holds the worker until
// Release(), so a test can post while a job runs.
class RecordingJobs final : public WorkerJobs {
 public:
  void Run(const WorkerJob& job) override {
    if (running_.fetch_add(1) != 0) overlapped_ = true;
    if (job.wparam == 99) {
      std::unique_lock lock(mutex_);
      holding_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    }
    {
      std::lock_guard lock(mutex_);
      ran_.push_back(job.id);
    }
    running_.fetch_sub(1);
  }
  void WaitUntilHolding() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return holding_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  std::vector<std::uint32_t> Ran() {
    std::lock_guard lock(mutex_);
    return ran_;
  }
  std::atomic<bool> overlapped_{false};

 private:
  std::atomic<int> running_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false, released_ = false;
  std::vector<std::uint32_t> ran_;
};

// A window thread's view: the mailbox is the notification sink while the
// test runs, and Collect() delivers what waits.
class WindowSide : public testing::Test {
 protected:
  void SetUp() override { SetNotifySink(&mailbox_); }
  void TearDown() override { SetNotifySink(nullptr); }
  std::vector<WindowMessage> Collect() {
    std::vector<WindowMessage> got;
    mailbox_.Deliver([&](const WindowMessage& m) { got.push_back(m); });
    return got;
  }
  WindowMailbox mailbox_;
};

using WorkerThread = WindowSide;

TEST_F(WorkerThread, RunsJobsOneAtATimeInPostingOrderAndEndsAfterThemOnQuit) {
  RecordingJobs jobs;
  {
    CVexThread worker(jobs);
    worker.Post(kJobCloseDevice);
    worker.Post(kJobDeviceList, 1);
    worker.Post(kJobDeviceListAfterReset);
    worker.Post(kJobCloseDevice);
    worker.PostQuit();
    EXPECT_FALSE(worker.Post(kJobDeviceList));  // nothing runs after the quit
  }
  EXPECT_EQ(jobs.Ran(), (std::vector<std::uint32_t>{kJobCloseDevice, kJobDeviceList, kJobDeviceListAfterReset,
                                                    kJobCloseDevice}));
  EXPECT_FALSE(jobs.overlapped_);
  const auto got = Collect();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].id, kMsgWorkerEnded);
}

TEST_F(WorkerThread, PostingDoesNotWaitForTheRunningJobAndBusyLastsUntilTheQueueIsEmpty) {
  RecordingJobs jobs;
  std::atomic<int> idle{0};
  CVexThread worker(jobs, [&] { ++idle; });
  EXPECT_FALSE(worker.Busy());
  worker.Post(kJobDeviceList, 99);
  jobs.WaitUntilHolding();
  worker.Post(kJobCloseDevice);  // returns although the worker is held
  worker.Post(kJobDeviceList, 0);
  EXPECT_TRUE(worker.Busy());
  EXPECT_EQ(jobs.Ran().size(), 0u);
  jobs.Release();
  worker.PostQuit();
  while (!worker.Ended()) std::this_thread::yield();
  EXPECT_FALSE(worker.Busy());
  EXPECT_EQ(jobs.Ran().size(), 3u);
  EXPECT_EQ(idle.load(), 1);  // once, after the last of the three
}

TEST_F(WorkerThread, ADeviceListJobThatWaitsAlreadyIsNotPostedTwice) {
  RecordingJobs jobs;
  CVexThread worker(jobs);
  worker.Post(kJobCloseDevice, 99);
  jobs.WaitUntilHolding();
  worker.PostUnlessWaiting(kJobDeviceList, 0);
  worker.PostUnlessWaiting(kJobDeviceList, 0);
  worker.PostUnlessWaiting(kJobDeviceList, 1);  // another reason counts as another job
  jobs.Release();
  worker.PostQuit();
  while (!worker.Ended()) std::this_thread::yield();
  EXPECT_EQ(jobs.Ran(), (std::vector<std::uint32_t>{kJobCloseDevice, kJobDeviceList, kJobDeviceList}));
}

TEST_F(WorkerThread, TheEndLeavesAFailureStatusAndClearsASuccess) {
  RecordingJobs jobs;
  LastStatusCode = 41705;
  { CVexThread worker(jobs); }
  EXPECT_EQ(LastStatusCode.load(), 41705);
  LastStatusCode = 41755;
  { CVexThread worker(jobs); }
  EXPECT_EQ(LastStatusCode.load(), 0);
}

using MessageDelivery = WindowSide;

TEST_F(MessageDelivery, MessagesOfSeveralThreadsArriveInTheOrderEachPostedThem) {
  std::atomic<int> wakes{0};
  mailbox_.SetWaker([&] { ++wakes; });
  constexpr int kPerThread = 500;
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t)
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) NotifyUI(kMsgProgress, i, t);
    });
  std::vector<WindowMessage> got;
  // The window thread delivers while the others still post.
  while (got.size() < 3u * kPerThread) {
    mailbox_.Deliver([&](const WindowMessage& m) { got.push_back(m); });
    std::this_thread::yield();
  }
  for (auto& p : posters) p.join();
  std::vector<int> next(3, 0);
  for (const WindowMessage& m : got) {
    ASSERT_EQ(m.wparam, next[std::size_t(m.lparam)]) << "thread " << m.lparam;
    ++next[std::size_t(m.lparam)];
  }
  EXPECT_EQ(wakes.load(), 3 * kPerThread);
}

TEST_F(MessageDelivery, AHandlerThatRunsAModalLoopIsNotOvertaken) {
  NotifyUI(kMsgSuccess, 41755, 0);
  NotifyUI(kMsgDeviceInfo, 41906, 1);
  std::vector<std::uint32_t> order;
  mailbox_.Deliver([&](const WindowMessage& m) {
    order.push_back(m.id);
    if (m.id == kMsgSuccess) {
      // A question box pumps the event loop, which delivers again.
      NotifyUI(kMsgProgress, 0, 0);
      mailbox_.Deliver([&](const WindowMessage& inner) { order.push_back(inner.id + 0x10000); });
    }
  });
  EXPECT_EQ(order, (std::vector<std::uint32_t>{kMsgSuccess, kMsgDeviceInfo, kMsgProgress}));
}

TEST_F(MessageDelivery, AClosedMailboxDropsPostsButNotifyStillRecordsTheStatus) {
  mailbox_.Close();
  EXPECT_EQ(NotifyUI(kMsgFailure, 41705, 0), 0);
  EXPECT_EQ(LastStatusCode.load(), 41705);
  EXPECT_TRUE(Collect().empty());
}

}  // namespace
