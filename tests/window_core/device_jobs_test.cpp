// The worker's jobs on a simulated codec: the download job with its loop-test
// decisions and the stop flag, and the device-list and close jobs.
#include <gtest/gtest.h>

#include "app/notify.h"
#include "app/status_codes.h"
#include "image/image_load.h"
#include "tests/support/station_bench.h"
#include "ui/core/device_jobs.h"
#include "ui/core/job_window.h"
#include "ui/core/window_flow_host.h"

namespace {

class FakeJobWindow final : public JobWindow {
 public:
  explicit FakeJobWindow(WindowMailbox& mailbox) : mailbox_(mailbox) {}
  int LoopTestFlag() const override { return loopTest; }
  int RunsLeft() const override { return runsLeft; }
  void DisableStart() override { mailbox_.Post(kMsgDisableStart, 0, 0); }
  void SetLoopText(const std::string& text) override { mailbox_.Post(WindowMessage{kMsgSetLoopText, 0, 0, text, {}}); }
  void PostStart() override { mailbox_.Post(kMsgCommand, kIdStart, 0); }
  int loopTest = 0;
  int runsLeft = 1;

 private:
  WindowMailbox& mailbox_;
};

class DeviceJobsTest : public testing::Test {
 protected:
  void Start(const std::vector<simtest::CodecSpec>& codecs, const std::string& settings = "",
             const std::string& faults = "") {
    bench_.Start(codecs, settings, faults);
    SetNotifySink(&mailbox_);
    SetFlowHost(&host_);
    jobs_ = std::make_unique<DeviceJobs>(bench_.Host().Clock());
    CurrentFlow()->DEV_GetDefaultDeviceForAllInOne();
  }
  void TearDown() override {
    SetNotifySink(nullptr);
    bench_.Stop();
  }
  // What Start gives the job: the device's built-in image.
  void ChooseBuiltInImage() {
    CDevFlow& flow = *CurrentFlow();
    ASSERT_EQ(FindDeviceImage(flow.download, ICTypeStore(), flow.hardwareIdentity), 1);
  }
  std::vector<WindowMessage> Collect() {
    std::vector<WindowMessage> got;
    mailbox_.Deliver([&](const WindowMessage& m) { got.push_back(m); });
    return got;
  }
  static std::vector<std::uint32_t> Ids(const std::vector<WindowMessage>& messages) {
    std::vector<std::uint32_t> ids;
    for (const auto& m : messages) ids.push_back(m.id);
    return ids;
  }
  static bool Has(const std::vector<WindowMessage>& messages, std::uint32_t id, std::intptr_t wparam) {
    for (const auto& m : messages)
      if (m.id == id && m.wparam == wparam) return true;
    return false;
  }

  StationBench bench_;
  WindowMailbox mailbox_;
  CThreadFlag stop_;
  WindowFlowHost host_{stop_, mailbox_};
  FakeJobWindow window_{mailbox_};
  std::unique_ptr<DeviceJobs> jobs_;
};

TEST_F(DeviceJobsTest, DownloadUpdatesTheChosenCodecAndReportsPhasesProgressAndSuccess) {
  Start({StationBench::Codec("4.119.0000-0000.0007")});
  const auto identified = Collect();
  ASSERT_TRUE(Has(identified, kMsgDeviceInfo, kStsCheckDeviceInfoOk));
  EXPECT_EQ(host_.SelectedDeviceText(), "VID_3C5A&PID_2230&REV_0100");
  ChooseBuiltInImage();

  jobs_->Run({kJobDownload, 0, &window_});

  const auto got = Collect();
  EXPECT_EQ(got.front().id, kMsgDisableStart);
  EXPECT_TRUE(Has(got, kMsgPhase, kStsPhaseErasing));
  EXPECT_TRUE(Has(got, kMsgProgress, 100));
  EXPECT_EQ(got.back().id, kMsgSuccess);
  EXPECT_EQ(got.back().wparam, kStsFirmwareUpdateOk);
  EXPECT_EQ(jobs_->LastResult(), 1);
  EXPECT_EQ(bench_.RunningVersion(), StationBench::kBuiltInVersion);
}

TEST_F(DeviceJobsTest, AStopRequestBeforeTheDeviceOpensEndsTheRunWithFailure) {
  Start({StationBench::Codec("4.119.0000-0000.0007")});
  ChooseBuiltInImage();
  Collect();
  stop_.RequestStop();
  jobs_->Run({kJobDownload, 0, &window_});
  const auto got = Collect();
  EXPECT_EQ(Ids(got), std::vector<std::uint32_t>{kMsgFailure});  // the window leaves its busy state
  EXPECT_EQ(jobs_->LastResult(), 0);
  EXPECT_EQ(bench_.RunningVersion(), "4.119.0000-0000.0007");  // nothing was written
}

TEST_F(DeviceJobsTest, WithoutAChosenDeviceTheDownloadEndsAtTheOpenWithoutAnOutcome) {
  Start({});
  EXPECT_TRUE(Has(Collect(), kMsgDeviceInfo, kStsDetectDeviceFail));
  jobs_->Run({kJobDownload, 0, &window_});
  const auto got = Collect();
  EXPECT_EQ(Ids(got), std::vector<std::uint32_t>{kMsgDeviceInfo});  // 41511 again: it ends the busy state
  EXPECT_EQ(got[0].wparam, kStsDetectDeviceFail);
}

// The loop test's decision after a run, by its result and the runs left.
struct LoopCase {
  const char* name;
  bool codecFails;
  int runsLeft;
  bool nextStart;
  bool loopEnds;
};

class LoopTestDecision : public DeviceJobsTest, public testing::WithParamInterface<LoopCase> {};

TEST_P(LoopTestDecision, AfterARun) {
  const LoopCase& c = GetParam();
  // Reads of flash address 0x100 come back changed: the verify fails.
  Start({StationBench::Codec("4.119.0000-0000.0007")}, "", c.codecFails ? "flip-read=100:01" : "");
  ChooseBuiltInImage();
  Collect();
  window_.loopTest = 1;
  window_.runsLeft = c.runsLeft;
  const std::uint64_t before = bench_.Host().Clock().NowMs();
  jobs_->Run({kJobDownload, 0, &window_});
  const auto got = Collect();
  EXPECT_EQ(Has(got, kMsgSuccess, kStsFirmwareUpdateOk), !c.codecFails);
  EXPECT_EQ(Has(got, kMsgCommand, kIdStart), c.nextStart);
  if (c.nextStart) {
    EXPECT_GE(bench_.Host().Clock().NowMs() - before, 1000u);
  }
  EXPECT_EQ(Has(got, kMsgSetLoopText, 0), c.loopEnds);
  if (c.loopEnds) {
    EXPECT_EQ(got.back().id, kMsgPhase);  // the loop text is shown by a phase message of 0
    EXPECT_EQ(got.back().wparam, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoopTestDecision,
                         testing::Values(LoopCase{"SuccessWithRunsLeft", false, 2, true, false},
                                         LoopCase{"SuccessOfTheLastRun", false, 0, false, true},
                                         LoopCase{"FailureWithRunsLeft", true, 2, false, false},
                                         LoopCase{"FailureOfTheLastRun", true, 0, false, true}),
                         [](const auto& info) { return info.param.name; });

TEST_F(DeviceJobsTest, DeviceListJobReportsTheReasonAndTheCloseJobLeavesNoDeviceOpen) {
  Start({StationBench::Codec("4.119.0000-0000.0007")});
  Collect();
  ASSERT_TRUE(CurrentFlow()->Dev_OpenDeviceForMultiCamera());
  jobs_->Run({kJobCloseDevice});
  EXPECT_EQ(CurrentFlow()->m_hDevice, 0u);
  jobs_->Run({kJobDeviceList, 1});
  auto got = Collect();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].id, kMsgDeviceInfo);
  EXPECT_EQ(got[0].wparam, kStsCheckDeviceInfoOk);
  EXPECT_EQ(got[0].lparam, 1);
  const auto list = host_.DeviceList();
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].identity, "VID_3C5A&PID_2230&REV_0100");
  EXPECT_EQ(list.entries[0].port, 1u);  // the codec's USB location, which tells it from a twin
  EXPECT_NE(list.entries[0].parent, 0u);
  EXPECT_EQ(list.selected, 0);
}

}  // namespace
