#include "flow/job_phases.h"

void JobPhaseLog::Begin(const std::string& name, std::uint64_t nowMs, std::uint64_t transfers, std::uint64_t bytes) {
  End(nowMs, transfers, bytes);
  JobPhase phase;
  phase.name = name;
  phase.startMs = nowMs;
  phases_.push_back(phase);
  transfersAtStart_ = transfers;
  bytesAtStart_ = bytes;
  open_ = true;
}

void JobPhaseLog::End(std::uint64_t nowMs, std::uint64_t transfers, std::uint64_t bytes) {
  if (!open_) return;
  JobPhase& phase = phases_.back();
  phase.durationMs = nowMs >= phase.startMs ? nowMs - phase.startMs : 0;
  phase.transfers = transfers - transfersAtStart_;
  phase.bytes = bytes - bytesAtStart_;
  open_ = false;
}
