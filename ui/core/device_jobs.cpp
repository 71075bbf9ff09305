#include "ui/core/device_jobs.h"

#include "app/notify.h"
#include "app/status_codes.h"
#include "app/quillox_app.h"
#include "flow/create_flow.h"
#include "flow/job_phase_marks.h"
#include "platform/clock.h"
#include "ui/core/job_window.h"

namespace {
constexpr std::uint32_t kLoopPauseMs = 1000;
constexpr std::uint32_t kDownloadAccessFlags = 0x40;
}  // namespace

void DeviceJobs::Run(const WorkerJob& job) {
  CDevFlow* flow = CurrentFlow();
  switch (job.id) {
    case kJobDownload:
      if (job.window) Download(*job.window);
      break;
    case kJobDeviceList:
      if (flow) flow->DEV_GetDeviceListForAllInOne(int(job.wparam));
      break;
    case kJobDeviceListAfterReset:
      if (flow) {
        flow->defaultListPosition = int(job.wparam);
        flow->DEV_GetDeviceListAfterReset();
      }
      break;
    case kJobCloseDevice:
      CloseFlowDevice();
      break;
    default:
      break;
  }
}

void DeviceJobs::Download(JobWindow& window) {
  CDevFlow* flow = CurrentFlow();
  if (!flow) return;
  BeginJobPhases();
  flow->PrepareJobFlags();
  CloseFlowDevice();
  if (!flow->Dev_OpenDeviceForMultiCamera()) {
    // Without a chosen device, device selection has reported so (0x418 with
    // 41511). A device that is no longer at its place, or a stop request,
    // must end the run too, or the window would stay busy for good.
    if (flow->defaultIndex >= 0) NotifyUI(kMsgFailure, kStsDetectDeviceFail, 0);
    EndJobPhases();
    return;
  }
  window.DisableStart();
  flow->m_accessFlags = kDownloadAccessFlags;
  const int result = flow->Download() != 0 ? 1 : 0;  // a reset may pass on another non-zero value
  EndJobPhases();
  lastResult_ = result;
  if (!window.LoopTestFlag()) return;
  if (result) {
    // The window shows the firmware the codec runs after each run.
    flow->MP_GetDeviceInfo();
    window.LoopRunEnded();
  }
  if (result && window.RunsLeft() > 0) {
    clock_.SleepMs(kLoopPauseMs);
    window.PostStart();
  }
  if (window.RunsLeft() == 0) {
    window.SetLoopText("Left : 0");
    NotifyUI(kMsgPhase, 0, 0);
  }
}
