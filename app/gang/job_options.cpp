#include "app/gang/job_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>

#include "app/gang/gang_report.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "platform/paths.h"

std::vector<std::string> PortJobCommand(const std::string& action, const std::string& file,
                                        const std::string& port) {
  std::vector<std::string> command = {platform::ProgramPath(), action};
  if (!file.empty()) command.push_back(file);
  command.insert(command.end(), {"--port", port, "--json", "--no-burn-result"});
  return command;
}

JobLimits JobLimitsFromSettings(unsigned overrideMs) {
  JobLimits limits;
  const long wait = std::max(0, setting::Get(setting::kEraseTimeOut)) + std::max(0, setting::Get(setting::kWaitTime));
  limits.silenceMs = overrideMs ? overrideMs : static_cast<std::uint32_t>(std::min(2 * wait + 30000, 3600000L));
  limits.stopGraceMs = 30000;
  return limits;
}

bool ParsePortList(const std::string& text, std::vector<std::string>& ports, std::string& error) {
  ports.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string port = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (port.empty()) {
      error = "--ports: an empty port in \"" + text + "\"";
      return false;
    }
    if (std::find(ports.begin(), ports.end(), port) != ports.end()) {
      error = "--ports: port " + port + " given twice";
      return false;
    }
    ports.push_back(port);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  std::sort(ports.begin(), ports.end(), PortBefore);
  return true;
}

int ParseSupervisorLine(CLI::App& app, const std::vector<std::string>& args, bool& json, unsigned& jobTimeoutMs) {
  app.add_flag("--json", json, "JSON Lines on standard output");
  app.add_option("--job-timeout", jobTimeoutMs, "milliseconds a job may stay silent before it counts as hung");
  std::vector<std::string> rest(args.begin() + std::min<std::size_t>(2, args.size()), args.end());
  std::reverse(rest.begin(), rest.end());
  try {
    app.parse(rest);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : ExitCodeForStatus(kStsInvalidParameter);
  }
  return -1;
}
