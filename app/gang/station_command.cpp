#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>

#include "app/config_ini.h"
#include "app/file_routines.h"
#include "app/gang/gang_command.h"
#include "app/gang/gang_report.h"
#include "app/gang/job_options.h"
#include "app/gang/station.h"
#include "app/gang/unit_row.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/usb_backend.h"
#include "platform/stop_signals.h"
#include "platform/process.h"

int RunStationCommand(const std::vector<std::string>& args) {
  CLI::App app{"Programs each codec as it arrives at one of the ports, until stopped.", "tessaload station"};
  std::string file, portList;
  bool json = false;
  unsigned jobTimeoutMs = 0, pollMs = 250;
  app.add_option("file", file, "the image file")->required();
  app.add_option("--ports", portList, "the station's USB ports, such as 1-1,1-2")->required();
  app.add_option("--poll", pollMs, "milliseconds between looks at the bus")->check(CLI::Range(10u, 10000u));
  if (const int code = ParseSupervisorLine(app, args, json, jobTimeoutMs); code >= 0) return code;
  StationSetup setup;
  std::string error;
  if (!ParsePortList(portList, setup.ports, error)) {
    std::fprintf(stderr, "tessaload station: %s\n", error.c_str());
    return ExitCodeForStatus(kStsInvalidParameter);
  }
  std::vector<std::uint8_t> image;
  if (!ReadFileBytes(file, static_cast<std::size_t>(FileSize(file)), image) || image.empty()) {
    std::fprintf(stderr, "tessaload station: %s: %s\n", file.c_str(), StatusText(kStsLoadFileDataFail).c_str());
    return ExitCodeForStatus(kStsLoadFileDataFail);
  }
  std::string versionText;
  FwVersion version{};
  if (GetImageVersion(image, versionText, version)) setup.imageVersion = version;

  CConfigIni().LoadSettings();
  setup.limits = JobLimitsFromSettings(jobTimeoutMs);
  const bool rows = setting::Get(setting::kLogType) != 0;
  DestroySettingsStore();
  file = std::filesystem::absolute(file).string();
  setup.pollMs = pollMs;
  setup.command = [&](const std::string& action, const std::string& port) {
    return PortJobCommand(action, action == "version" ? std::string() : file, port);
  };
  auto host = OpenUsbBackend(error);
  if (!host) {
    std::fprintf(stderr, "tessaload station: %s\n", error.c_str());
    return ExitCodeForStatus(kStsDetectDeviceFail);
  }
  platform::IgnoreBrokenPipes();
  platform::InstallStopSignals();

  LiveTable live(stderr);
  StationHooks hooks;
  if (json)
    hooks.onLine = [](const std::string& line) {
      std::fputs((line + "\n").c_str(), stdout);
      std::fflush(stdout);
    };
  if (platform::StandardErrorIsTerminal())
    hooks.onChange = [&](const std::vector<GangSlot>& slots) { live.Draw(SlotTable(slots, true)); };
  if (rows) hooks.onUnit = &AppendUnitRow;
  hooks.stopRequested = &platform::StopSignalReceived;
  const std::vector<GangSlot> slots = Station(*host, setup, hooks).Run();

  if (json) std::printf("%s\n", StationSummaryJson(slots).c_str());
  const int code = StationExitCode(slots);
  std::fputs(StationSummaryText(slots).c_str(), code != 0 || json ? stderr : stdout);
  return code;
}
