#include "app/text_case.h"
#include "app/quillox_app.h"

#include <cstdio>

#include "app/parse_arg.h"
#include "app/subcommand_line.h"
#include "app/subcommand_run.h"
#include "app/usb_backend.h"
#include "app/window_mode.h"
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
  versionText_ = VersionTextFromFileVersion(TESSALOAD_FILE_VERSION);
  // The program-wide objects. The operating-system record of the original
  // design (version, WOW64) has nothing to hold on Linux.
  g_parseArg = new CParseArg();
  ServiceOptions options;
  options.settingsWarnings = stderr;
  services_.Start(options);
  if (!services_.UsbHost()) std::fprintf(stderr, "%s\n", services_.UsbError().c_str());

  if (subcommand) {
    ranCommandLine_ = true;
    services_.RunJob(g_parseArg, true, [&] {
      RunSubcommand(request, *g_parseArg);
      return 0;
    });
  } else if (!IsWindowModeCommandLine(args)) {
    ranCommandLine_ = true;
    platform::InstallStopSignals();
    if (g_parseArg->Parse_Arg(args) == 1) {
      services_.RunJob(g_parseArg, true, [] {
        g_parseArg->AttachConsole();
        g_parseArg->Print("\n");
        return g_parseArg->Prepare() ? g_parseArg->Excute_Arg() : 0;
      });
    } else {
      std::fputs(CParseArg::kUsage, stderr);
    }
    g_parseArg->ReportFailure();
  } else {
    WindowModeContext window;
    window.usbHost = services_.UsbHost();
    window.versionText = versionText_;
    window.pollHotplug = UsesSimulatedBench();
    services_.RunJob(nullptr, false, [&] { return RunWindowMode(window); });
  }
  return false;
}

int CQuilloxApp::ExitInstance() {
  delete g_parseArg;  // closes a result file it still holds
  g_parseArg = nullptr;
  return services_.Stop();
}
