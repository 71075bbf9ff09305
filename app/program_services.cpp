#include "app/program_services.h"

#include "app/file_routines.h"
#include "app/program_state.h"
#include "app/settings_check.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "app/usb_backend.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/dev_flow.h"
#include "flow/flow_host.h"
#include "image/ic_type_ini.h"

bool ProgramServices::Start(const ServiceOptions& options) {
  if (running_) Stop();
  running_ = true;
  // A second round starts from the values a new process has.
  SilentMode = 0;
  CodeReadSize = kDefaultCodeReadSize;

  if (options.settingsText)
    settings_.LoadSettingsFrom(*options.settingsText, "");
  else
    settings_.LoadSettings();
  if (options.settingsWarnings) CheckSettings(options.settingsWarnings);
  if (setting::Get(setting::kDebugLog) != 0) capture_.Start(ProgramFolderPathWithSeparator() + "DebugLog.txt");
  TraceInit();
  IniType = setting::Get(setting::kIniType);

  ICTypeStore().DiscoverDescriptions();
  ICTypeStore().SelectInitialDescription();
  MemoryType = options.memoryType;
  CreateFlow();

  usbError_.clear();
  host_ = options.usbHost;
  if (!host_) {
    ownHost_ = OpenUsbBackend(usbError_);
    host_ = ownHost_.get();
  }
  return DevLib_InitWithHost(setting::Get(setting::kLibType), host_) == 1;
}

int ProgramServices::RunJob(FlowHost* host, bool silent, const std::function<int()>& job) {
  SilentMode = silent ? 1 : 0;
  if (host) SetFlowHost(host);
  const int result = job();
  CloseFlowDevice();
  if (host) SetFlowHost(nullptr);
  return result;
}

int ProgramServices::Stop() {
  if (!running_) return ExitCodeForStatus(LastStatusCode.load());
  running_ = false;
  DestroyFlow();
  DevLib_Uninit();
  ownHost_.reset();
  host_ = nullptr;
  capture_.Stop();
  TraceShutdown();
  DestroySettingsStore();
  SilentMode = 0;
  const int code = ExitCodeForStatus(LastStatusCode.load());
  LastStatusCode = code;
  return code;
}

void CloseFlowDevice() {
  TraceScope scope("CDevFlow::DEV_CloseDevice", kTraceFlow);
  CDevFlow* flow = CurrentFlow();
  if (flow && flow->m_hDevice) {
    DevLib_CloseDevice(flow->m_hDevice);
    flow->m_hDevice = 0;
  }
}
