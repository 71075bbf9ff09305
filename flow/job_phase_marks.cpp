#include "flow/job_phase_marks.h"

#include <cstring>

#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/flow_host.h"
#include "platform/clock.h"

namespace {

struct PhaseWord {
  int status;
  const char* name;
};

constexpr PhaseWord kPhaseWords[] = {
    {kStsPhaseWaitReset, "reset to ROM"}, {kStsPhaseErasing, "erase"},   {kStsPhaseCheckEmpty, "empty check"},
    {kStsPhaseDownload, "write"},         {kStsPhaseVerify, "verify"},   {kStsPhaseWriteTag, "tag"},
    {kStsPhaseResetToNewCode, "reset to code"}, {kStsPhaseRead, "read"},
};

struct Stamp {
  std::uint64_t nowMs = 0;
  std::uint64_t transfers = 0;
  std::uint64_t bytes = 0;
};

Stamp Now() {
  Stamp s;
  s.nowMs = DevLib_Clock().NowMs();
  DevLib_TransferTotals(s.transfers, s.bytes);
  return s;
}

void EndOpenPhase(JobPhaseLog& log, const Stamp& at) {
  if (!log.HasOpenPhase()) return;
  log.End(at.nowMs, at.transfers, at.bytes);
  const JobPhase& p = log.Phases().back();
  TraceScope scope("JobPhase", kTraceFlow, false);
  TraceLine(scope, "%s: %llu ms, %llu transfers, %llu bytes\n", p.name.c_str(),
            static_cast<unsigned long long>(p.durationMs), static_cast<unsigned long long>(p.transfers),
            static_cast<unsigned long long>(p.bytes));
}

}  // namespace

void BeginJobPhases() {
  FlowHost* host = CurrentFlowHost();
  if (!host) return;
  host->JobPhases().Clear();
  BeginJobPhase("open");
}

void BeginJobPhase(const char* name) {
  FlowHost* host = CurrentFlowHost();
  if (!host) return;
  JobPhaseLog& log = host->JobPhases();
  if (log.HasOpenPhase()) {
    const std::string& open = log.Phases().back().name;
    if (open == name || (open == "verify" && std::strcmp(name, "read") == 0)) return;
  }
  const Stamp at = Now();
  EndOpenPhase(log, at);
  log.Begin(name, at.nowMs, at.transfers, at.bytes);
}

void EndJobPhases() {
  if (FlowHost* host = CurrentFlowHost()) EndOpenPhase(host->JobPhases(), Now());
}

const char* JobPhaseNameOf(int status) {
  for (const PhaseWord& p : kPhaseWords)
    if (p.status == status) return p.name;
  return nullptr;
}
