#include "app/gang/station.h"

#include <nlohmann/json.hpp>

#include "app/gang/bus_ports.h"
#include "app/status_codes.h"
#include "platform/clock.h"

struct Station::Port {
  GangSlot slot;
  std::unique_ptr<SupervisedJob> job;
  std::string action;        // of the running job
  bool sameVersion = false;  // the unit runs the image's version
  bool awaitRemoval = false; // the unit's outcome is shown until it is pulled
  int absentLooks = 0;
  std::string resultLine;    // the programming job's result event
};

namespace {

// A codec missing from this many looks in a row has been pulled out (a reset
// makes it leave the bus only for a moment).
constexpr int kAbsentLooks = 2;

}  // namespace

Station::Station(platform::UsbHost& host, StationSetup setup, StationHooks hooks)
    : host_(host), setup_(std::move(setup)), hooks_(std::move(hooks)) {
  for (const std::string& name : setup_.ports) {
    auto port = std::make_unique<Port>();
    port->slot.port = name;
    ports_.push_back(std::move(port));
  }
}

Station::~Station() = default;

std::vector<GangSlot> Station::Slots() const {
  std::vector<GangSlot> slots;
  for (const auto& port : ports_) slots.push_back(port->slot);
  return slots;
}

void Station::Start(Port& port, const std::string& action, std::uint64_t nowMs) {
  port.action = action;
  port.resultLine.clear();
  std::string error;
  auto child = platform::ChildProcess::Start(setup_.command(action, port.slot.port), error);
  if (!child) {
    port.slot.BeginJob();
    FailWithoutResult(port.slot, "job process not started: " + error);
    EndUnit(port, "");
    return;
  }
  port.job = std::make_unique<SupervisedJob>(port.slot, std::move(child), setup_.limits, nowMs);
  if (action == "version") port.slot.phase = "version check";
}

void Station::Look(Port& port, bool occupied, std::uint64_t nowMs) {
  if (port.job) return;  // a job's resets are no arrivals or removals
  if (port.awaitRemoval) {
    port.absentLooks = occupied ? 0 : port.absentLooks + 1;
    if (port.absentLooks < kAbsentLooks) return;
    port.awaitRemoval = false;
    port.slot.state = GangSlot::State::kWaiting;
    port.slot.phase.clear();
    port.slot.percent = -1;
    port.slot.reason.clear();
    return;
  }
  if (!occupied) return;
  ++port.slot.unit;
  port.slot.serial.clear();
  port.sameVersion = false;
  Start(port, "version", nowMs);
}

void Station::JobEnded(Port& port, std::uint64_t nowMs) {
  port.job.reset();
  if (port.action != "version") {
    EndUnit(port, port.resultLine);
    return;
  }
  // What the codec runs decides the unit's job.
  const std::optional<FwVersion> running = ParseVersionText(port.slot.versionBefore);
  const UpdateVerdict verdict = running && setup_.imageVersion ? CompareForUpdate(*setup_.imageVersion, *running)
                                                                : UpdateVerdict::kProceed;
  if (verdict == UpdateVerdict::kOlderVersion) {
    port.slot.state = GangSlot::State::kFailed;
    port.slot.hasResult = false;
    port.slot.status = kStsOtpOlderVersion;
    port.slot.statusText = StatusText(kStsOtpOlderVersion);
    port.slot.exitCode = ExitCodeForStatus(kStsOtpOlderVersion);
    port.slot.reason = port.slot.statusText + " (runs " + port.slot.versionBefore + ")";
    EndUnit(port, "");
    return;
  }
  port.sameVersion = verdict == UpdateVerdict::kSameVersion;
  Start(port, port.sameVersion ? "verify" : "write", nowMs);
}

void Station::EndUnit(Port& port, const std::string& resultLine) {
  GangSlot& slot = port.slot;
  const bool pass = slot.state == GangSlot::State::kPassed;
  if (pass) {
    ++slot.passed;
    if (port.sameVersion) {
      ++slot.upToDate;
      slot.phase = "up to date";
      slot.reason = "up to date";
    }
  } else {
    ++slot.failed;
    if (slot.exitCode == 0) slot.exitCode = 1;
    slot.failureExitCode = slot.exitCode;
    if (port.sameVersion) slot.reason = "same version as the image, but: " + slot.reason;
  }
  port.awaitRemoval = true;
  port.absentLooks = 0;
  if (hooks_.onLine) {
    nlohmann::ordered_json event = nlohmann::ordered_json::parse(resultLine, nullptr, false);
    if (!event.is_object()) {
      // No result event from a job: the station reports the unit itself.
      event = {{"schema", 1},         {"event", "result"},       {"action", port.action},
               {"port", slot.port},   {"serial", slot.serial},   {"status", slot.status},
               {"status_text", slot.statusText}, {"exit_code", slot.exitCode}, {"pass", false}};
    }
    // A job that found no codec names no port: the unit is this port's.
    event["port"] = slot.port;
    event["unit"] = slot.unit;
    if (pass && port.sameVersion) event["up_to_date"] = true;
    if (!pass) event["reason"] = slot.reason;
    hooks_.onLine(event.dump());
  }
  if (hooks_.onUnit) hooks_.onUnit(slot);
}

std::vector<GangSlot> Station::Run() {
  platform::Clock& jobClock = platform::SystemClock();
  platform::Clock& busClock = host_.HostClock();
  bool stopping = false;
  std::uint64_t lastLookMs = 0;
  bool looked = false;
  if (hooks_.onChange) hooks_.onChange(Slots());
  for (;;) {
    if (!stopping && hooks_.stopRequested && hooks_.stopRequested()) {
      stopping = true;
      for (auto& port : ports_)
        if (port->job) port->job->Stop(jobClock.NowMs());
    }
    std::vector<platform::ChildProcess*> running;
    for (auto& port : ports_)
      if (port->job) running.push_back(port->job->Child());
    if (stopping && running.empty()) break;

    const std::uint64_t busNow = busClock.NowMs();
    if (!stopping && (!looked || busNow - lastLookMs >= setup_.pollMs)) {
      looked = true;
      lastLookMs = busNow;
      const std::set<std::string> occupied = OccupiedPorts(host_);
      for (auto& port : ports_) Look(*port, occupied.count(port->slot.port) != 0, jobClock.NowMs());
    }
    if (running.empty()) {
      busClock.SleepMs(setup_.pollMs);
    } else {
      platform::WaitForChildren(running, std::min(setup_.pollMs, kSupervisorPollMs));
    }
    const std::uint64_t now = jobClock.NowMs();
    for (auto& port : ports_) {
      if (!port->job) continue;
      Port& p = *port;
      const bool programming = p.action != "version";
      const bool ended = p.job->Pump(now, [&](const GangSlot&, const std::string& line) {
        if (!programming) return;
        if (line.find("\"result\"") != std::string::npos &&
            nlohmann::json::parse(line, nullptr, false).value("event", "") == "result") {
          p.resultLine = line;
        } else if (hooks_.onLine) {
          hooks_.onLine(line);
        }
      });
      if (ended) JobEnded(p, now);
    }
    if (hooks_.onChange) hooks_.onChange(Slots());
  }
  return Slots();
}

int StationExitCode(const std::vector<GangSlot>& slots) {
  for (const GangSlot& slot : slots)
    if (slot.failed > 0) return slot.failureExitCode;
  return 0;
}

std::string StationSummaryText(const std::vector<GangSlot>& slots) {
  int units = 0, passed = 0, failed = 0, upToDate = 0;
  std::string perPort;
  for (const GangSlot& slot : slots) {
    units += slot.unit;
    passed += slot.passed;
    failed += slot.failed;
    upToDate += slot.upToDate;
    perPort += "  " + slot.port + ": " + std::to_string(slot.unit) + " units, " + std::to_string(slot.passed) +
               " passed (" + std::to_string(slot.upToDate) + " up to date), " + std::to_string(slot.failed) +
               " failed\n";
  }
  return "station: " + std::to_string(units) + " units, " + std::to_string(passed) + " passed (" +
         std::to_string(upToDate) + " up to date), " + std::to_string(failed) + " failed\n" + perPort;
}

std::string StationSummaryJson(const std::vector<GangSlot>& slots) {
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  int passed = 0, failed = 0;
  for (const GangSlot& slot : slots) {
    passed += slot.passed;
    failed += slot.failed;
    results.push_back({{"port", slot.port},
                       {"units", slot.unit},
                       {"passed", slot.passed},
                       {"failed", slot.failed},
                       {"up_to_date", slot.upToDate}});
  }
  const nlohmann::ordered_json summary = {{"schema", 1},        {"event", "summary"},
                                          {"action", "station"}, {"passed", passed},
                                          {"failed", failed},    {"exit_code", StationExitCode(slots)},
                                          {"results", results}};
  return summary.dump();
}
