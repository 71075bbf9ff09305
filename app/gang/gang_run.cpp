#include "app/gang/gang_run.h"

#include <memory>

std::vector<GangSlot> RunGang(const std::vector<std::string>& ports, const JobCommand& command,
                              const JobLimits& limits, platform::Clock& clock, const GangHooks& hooks) {
  std::vector<GangSlot> slots(ports.size());
  std::vector<std::unique_ptr<SupervisedJob>> jobs(ports.size());
  for (std::size_t i = 0; i < ports.size(); ++i) {
    slots[i].port = ports[i];
    std::string error;
    auto child = platform::ChildProcess::Start(command(ports[i]), error);
    if (!child) {
      slots[i].BeginJob();
      FailWithoutResult(slots[i], "job process not started: " + error);
      if (hooks.onEnd) hooks.onEnd(slots[i]);
      continue;
    }
    jobs[i] = std::make_unique<SupervisedJob>(slots[i], std::move(child), limits, clock.NowMs());
  }
  if (hooks.onChange) hooks.onChange(slots);
  bool stopping = false;
  for (;;) {
    std::vector<platform::ChildProcess*> running;
    for (auto& job : jobs)
      if (job && !job->Done()) running.push_back(job->Child());
    if (running.empty()) break;
    platform::WaitForChildren(running, kSupervisorPollMs);
    const std::uint64_t now = clock.NowMs();
    if (!stopping && hooks.stopRequested && hooks.stopRequested()) {
      stopping = true;
      for (auto& job : jobs)
        if (job) job->Stop(now);
    }
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      if (!jobs[i] || jobs[i]->Done()) continue;
      if (jobs[i]->Pump(now, hooks.onLine) && hooks.onEnd) hooks.onEnd(slots[i]);
    }
    if (hooks.onChange) hooks.onChange(slots);
  }
  return slots;
}
