#pragma once
// A gang: one job process per port, all side by side, each supervised through
// its JSON Lines until every one has ended. A job that hangs, loses its codec
// or crashes fails its own slot only.
#include <functional>
#include <string>
#include <vector>

#include "app/gang/gang_slot.h"
#include "app/gang/supervised_job.h"
#include "platform/clock.h"

// The command line of the job for one port (argv, program first).
using JobCommand = std::function<std::vector<std::string>(const std::string& port)>;

struct GangHooks {
  // Each event line of a job, after it was applied to its slot.
  SupervisedJob::LineSink onLine;
  // The slots changed (lines came in, a job ended): redraw.
  std::function<void(const std::vector<GangSlot>&)> onChange;
  // A slot's job ended and the slot holds its outcome.
  std::function<void(const GangSlot&)> onEnd;
  // True once the supervisor was asked to stop: every job is told to stop
  // safely and the gang waits for them.
  std::function<bool()> stopRequested;
};

// How long a supervisor waits for output at a time (real time: the jobs are
// processes of their own).
inline constexpr std::uint32_t kSupervisorPollMs = 100;

// Runs the jobs of `ports` (in port order, no port twice) and returns their
// slots in that order. `clock` measures the jobs' silence and grace times.
std::vector<GangSlot> RunGang(const std::vector<std::string>& ports, const JobCommand& command,
                              const JobLimits& limits, platform::Clock& clock, const GangHooks& hooks);
