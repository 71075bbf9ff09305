#include "app/gang/gang_command.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>

#include "app/config_ini.h"
#include "app/gang/gang_report.h"
#include "app/gang/gang_run.h"
#include "app/gang/job_options.h"
#include "app/gang/unit_row.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "platform/paths.h"
#include "platform/stop_signals.h"
#include "platform/process.h"

namespace {

// The ports of every codec `tessaload list --json` finds.
bool ListedPorts(std::vector<std::string>& ports, std::string& error) {
  auto child = platform::ChildProcess::Start({platform::ProgramPath(), "list", "--json"}, error);
  if (!child) return false;
  std::string out, err;
  while (!child->Ended()) {
    platform::WaitForChildren({child.get()}, kSupervisorPollMs);
    child->Read(out, err);
  }
  child->Read(out, err);
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const auto event = nlohmann::json::parse(out.substr(start, end - start), nullptr, false);
    if (event.is_object() && event.value("event", "") == "codec" && event.value("port", "") != "")
      ports.push_back(event["port"].get<std::string>());
  }
  std::sort(ports.begin(), ports.end(), PortBefore);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  if (ports.empty()) error = child->ExitCode() == 0 ? "no codec found" : "the codec list failed: " + err;
  return !ports.empty();
}

}  // namespace

int RunGangCommand(const std::vector<std::string>& args) {
  CLI::App app{"Programs several codecs at once, one job process per USB port.", "tessaload gang"};
  std::string action, file, portList;
  bool all = false, json = false;
  unsigned jobTimeoutMs = 0;
  app.add_option("action", action, "write or verify")->required()->check(CLI::IsMember({"write", "verify"}));
  app.add_option("file", file, "the image file")->required();
  auto* portsOption = app.add_option("--ports", portList, "the codecs' USB ports, such as 1-1,1-2");
  app.add_flag("--all", all, "every codec present")->excludes(portsOption);
  if (const int code = ParseSupervisorLine(app, args, json, jobTimeoutMs); code >= 0) return code;

  std::vector<std::string> ports;
  std::string error;
  if (!all && portList.empty()) error = "name the codecs with --ports P1,P2,... or --all";
  const bool chosen = error.empty() && (all ? ListedPorts(ports, error) : ParsePortList(portList, ports, error));
  if (!chosen) {
    std::fprintf(stderr, "tessaload gang: %s\n", error.c_str());
    return ExitCodeForStatus(all ? kStsDetectDeviceFail : kStsInvalidParameter);
  }

  CConfigIni().LoadSettings();
  const JobLimits limits = JobLimitsFromSettings(jobTimeoutMs);
  const bool rows = setting::Get(setting::kLogType) != 0;
  DestroySettingsStore();
  // The jobs resolve a relative name against the program folder: give them
  // the file the operator named.
  file = std::filesystem::absolute(file).string();
  platform::IgnoreBrokenPipes();
  platform::InstallStopSignals();
  platform::Clock& clock = platform::SystemClock();
  const std::uint64_t start = clock.NowMs();

  LiveTable live(stderr);
  const bool drawTable = platform::StandardErrorIsTerminal();
  GangHooks hooks;
  if (json)
    hooks.onLine = [](const GangSlot&, const std::string& line) {
      std::fputs((line + "\n").c_str(), stdout);
      std::fflush(stdout);
    };
  if (drawTable) hooks.onChange = [&](const std::vector<GangSlot>& slots) { live.Draw(SlotTable(slots, false)); };
  if (rows) hooks.onEnd = &AppendUnitRow;
  hooks.stopRequested = &platform::StopSignalReceived;
  const std::vector<GangSlot> slots =
      RunGang(ports, [&](const std::string& port) { return PortJobCommand(action, file, port); }, limits, clock,
              hooks);

  const std::uint64_t duration = clock.NowMs() - start;
  const int code = GangExitCode(slots);
  if (json) std::printf("%s\n", GangSummaryJson(action, slots, duration).c_str());
  const std::string summary = GangSummaryText(action, slots, duration) + "\n";
  if (code != 0)
    std::fputs(summary.c_str(), stderr);
  else if (!json)
    std::fputs(summary.c_str(), stdout);
  return code;
}
