#include "app/text_case.h"
#include "app/quillox_app.h"


#include <cstdio>

#include "app/file_routines.h"
#include "app/notify.h"
#include "app/parse_arg.h"
#include "app/program_state.h"
#include "app/settings_check.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/subcommand_line.h"
#include "app/subcommand_run.h"
#include "app/trace.h"
#include "app/usb_backend.h"
#include "app/window_mode.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/flow_host.h"
#include "image/ic_type_ini.h"
#include "platform/stop_signals.h"

#ifndef TESSALOAD_FILE_VERSION
#define TESSALOAD_FILE_VERSION ""
#endif

CParseArg* g_parseArg = nullptr;

bool IsWindowModeCommandLine(const std::vector<std::string>& args) {
  if (args.size() <= 1) return true;
  return args.size() == 2 && EqualNoCase(args[1], "/forcerestart");
}

std::string VersionTextFromFileVersion(const std::string& fileVersion) {
  size_t dot = 0;
  size_t second = std::string::npos;
  size_t third = std::string::npos;
  for (int n = 0; n < 3; ++n) {
    dot = fileVersion.find('.', n == 0 ? 0 : dot + 1);
    if (dot == std::string::npos) return {};
    if (n == 1) second = dot;
    if (n == 2) third = dot;
  }
  std::string text = fileVersion.substr(0, second + 1) + fileVersion.substr(third + 1);
  if (text.size() > 15) text.resize(15);
  return text;
}

CQuilloxApp::CQuilloxApp() = default;
CQuilloxApp::~CQuilloxApp() = default;

bool CQuilloxApp::InitInstance(const std::vector<std::string>& args) {
  const bool subcommand = IsSubcommandLine(args);
  SubcommandRequest request;
  if (subcommand) {
    std::string error;
    switch (ParseSubcommandLine(args, TESSALOAD_FILE_VERSION, request, error)) {
      case SubcommandParse::kDone:
        return false;
      case SubcommandParse::kRefused:
        ranCommandLine_ = true;
        RefuseSubcommandLine(args, error);
        return false;
      case SubcommandParse::kRun:
        break;
    }
  } else if (CParseArg::IsHelpCommandLine(args)) {
    std::fputs(CParseArg::kUsage, stdout);
    return false;
  }
  StartServices();

  if (subcommand) {
    ranCommandLine_ = true;
    RunSubcommand(request, *g_parseArg);
  } else if (!IsWindowModeCommandLine(args)) {
    ranCommandLine_ = true;
    platform::InstallStopSignals();
    if (g_parseArg->Parse_Arg(args) == 1) {
      SilentMode = 1;
      SetFlowHost(g_parseArg);
      g_parseArg->AttachConsole();
      g_parseArg->Print("\n");
      if (g_parseArg->Prepare()) g_parseArg->Excute_Arg();
      CloseFlowDevice();
    } else {
      std::fputs(CParseArg::kUsage, stderr);
    }
    g_parseArg->ReportFailure();
  } else {
    SilentMode = 0;
    WindowModeContext window;
    window.usbHost = usbHost_.get();
    window.versionText = versionText_;
    window.pollHotplug = UsesSimulatedBench();
    RunWindowMode(window);
  }
  return false;
}

void CQuilloxApp::StartServices() {
  LoadSettings();
  CheckSettings(stderr);
  if (setting::Get(setting::kDebugLog) != 0)
    capture_.Start(ProgramFolderPathWithSeparator() + "DebugLog.txt");
  TraceInit();
  versionText_ = VersionTextFromFileVersion(TESSALOAD_FILE_VERSION);
  IniType = setting::Get(setting::kIniType);

  // The program-wide objects. The operating-system record of the original
  // design (version, WOW64) has nothing to hold on Linux.
  ICTypeStore().DiscoverDescriptions();
  ICTypeStore().SelectInitialDescription();
  g_parseArg = new CParseArg();
  CreateFlow();

  std::string usbError;
  usbHost_ = OpenUsbBackend(usbError);
  if (!usbHost_) std::fprintf(stderr, "%s\n", usbError.c_str());
  DevLib_InitWithHost(setting::Get(setting::kLibType), usbHost_.get());
}

void CloseFlowDevice() {
  TraceScope scope("CDevFlow::DEV_CloseDevice", kTraceFlow);
  CDevFlow* flow = CurrentFlow();
  if (flow && flow->m_hDevice) {
    DevLib_CloseDevice(flow->m_hDevice);
    flow->m_hDevice = 0;
  }
}

int CQuilloxApp::ExitInstance() {
  DestroyFlow();
  SetFlowHost(nullptr);
  delete g_parseArg;  // closes a result file it still holds
  g_parseArg = nullptr;
  DevLib_Uninit();
  usbHost_.reset();
  capture_.Stop();
  TraceShutdown();
  DestroySettingsStore();
  const int code = ExitCodeForStatus(LastStatusCode.load());
  LastStatusCode = code;
  return code;
}
