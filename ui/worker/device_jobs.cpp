#include "ui/worker/device_jobs.h"

#include "app/notify.h"
#include "app/quillox_app.h"
#include "flow/create_flow.h"
#include "platform/clock.h"
#include "ui/worker/job_window.h"

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
  flow->PrepareJobFlags();
  CloseFlowDevice();
  // Without a device at the remembered place the job ends quietly; device
  // selection has reported what it found.
  if (!flow->Dev_OpenDeviceForMultiCamera()) return;
  window.DisableStart();
  flow->m_accessFlags = kDownloadAccessFlags;
  const int result = flow->Download() != 0 ? 1 : 0;  // a reset may pass on another non-zero value
  lastResult_ = result;
  if (!window.LoopTestFlag()) return;
  if (result && window.RunsLeft() > 0) {
    clock_.SleepMs(kLoopPauseMs);
    window.PostStart();
  }
  if (window.RunsLeft() == 0) {
    window.SetLoopText("Left : 0");
    NotifyUI(kMsgPhase, 0, 0);
  }
}
