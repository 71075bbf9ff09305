#pragma once
// The phases of one job as the trace, the benchmark and the job's outcome
// report them: when each began, how long it took, and the transfers and bytes
// it moved. The host that runs the job keeps the log (FlowHost::JobPhases),
// so it outlives the flow objects a job may switch between.
//
// Phase names, in the order an update passes them: "open", "reset to ROM",
// "erase", "empty check", "write", "verify", "tag", "reset to code". Reads
// and dumps use "read".
#include <cstdint>
#include <string>
#include <vector>

struct JobPhase {
  std::string name;
  std::uint64_t startMs = 0;  // flow clock
  std::uint64_t durationMs = 0;
  std::uint64_t transfers = 0;
  std::uint64_t bytes = 0;
};

class JobPhaseLog {
 public:
  // Forgets the phases of the previous job.
  void Clear() { phases_.clear(); open_ = false; }
  // Ends the open phase, if any, and opens `name`. The counters are the
  // device library's running totals at that moment.
  void Begin(const std::string& name, std::uint64_t nowMs, std::uint64_t transfers, std::uint64_t bytes);
  // Ends the open phase; nothing when none is open.
  void End(std::uint64_t nowMs, std::uint64_t transfers, std::uint64_t bytes);
  bool HasOpenPhase() const { return open_; }
  const std::vector<JobPhase>& Phases() const { return phases_; }

 private:
  std::vector<JobPhase> phases_;
  bool open_ = false;
  std::uint64_t transfersAtStart_ = 0;
  std::uint64_t bytesAtStart_ = 0;
};
