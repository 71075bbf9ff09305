#pragma once
// What the gang and the station share: the command lines of their jobs, the
// limits a job runs under and the ports to program.
#include <string>
#include <vector>

#include "app/gang/supervised_job.h"

namespace CLI {
class App;
}

// `tessaload ACTION [FILE] --port PORT --json --no-burn-result`: the job of
// one port, run by this same program (no FILE when `file` is empty).
std::vector<std::string> PortJobCommand(const std::string& action, const std::string& file,
                                        const std::string& port);

// A job counts as hung when it writes nothing for twice the longest wait the
// settings allow it (the erase time-out plus the reset wait, "EraseTimeOut"
// and "Wait Time") plus 30 s; 60 s with the built-in settings. It then gets
// 30 s to stop safely. `overrideMs` (--job-timeout), when non-zero, replaces
// the silence limit. Reads the loaded settings.
JobLimits JobLimitsFromSettings(unsigned overrideMs);

// Adds --json and --job-timeout to `app` and parses the words after the
// subcommand (args[2] on). -1 when the command is to run; else its exit code
// (0 after --help, the exit code of "Invalid Parameter!" for a wrong line).
int ParseSupervisorLine(CLI::App& app, const std::vector<std::string>& args, bool& json, unsigned& jobTimeoutMs);

// "1-1,1-2" split at the commas, in port order; false with `error` for an
// empty list, an empty entry or a port given twice.
bool ParsePortList(const std::string& text, std::vector<std::string>& ports, std::string& error);
