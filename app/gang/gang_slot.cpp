#include "app/gang/gang_slot.h"

#include <nlohmann/json.hpp>

#include "app/status_codes.h"

void GangSlot::BeginJob() {
  state = State::kRunning;
  phase.clear();
  percent = -1;
  hasResult = false;
  pass = false;
  status = 0;
  statusText.clear();
  exitCode = 0;
  versionBefore.clear();
  versionAfter.clear();
  burnSerial.clear();
  reason.clear();
}

namespace {

std::string Text(const nlohmann::json& event, const char* key) {
  const auto it = event.find(key);
  return it != event.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int Number(const nlohmann::json& event, const char* key, int otherwise) {
  const auto it = event.find(key);
  return it != event.end() && it->is_number_integer() ? it->get<int>() : otherwise;
}

}  // namespace

bool ApplyJobLine(GangSlot& slot, std::string_view line) {
  const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
  if (!event.is_object() || Number(event, "schema", 0) != 1) return false;
  const std::string kind = Text(event, "event");
  const std::string serial = Text(event, "serial");
  if (!serial.empty()) slot.serial = serial;
  if (kind == "phase") {
    slot.phase = Text(event, "name");
    return true;
  }
  if (kind == "progress") {
    slot.percent = Number(event, "percent", slot.percent);
    return true;
  }
  if (kind != "result") return false;
  slot.hasResult = true;
  slot.status = Number(event, "status", kStsActionFail);
  slot.statusText = Text(event, "status_text");
  slot.exitCode = Number(event, "exit_code", 1);
  const auto pass = event.find("pass");
  // A pass counts only when the job says so and its exit code agrees.
  slot.pass = pass != event.end() && pass->is_boolean() && pass->get<bool>() && slot.exitCode == 0;
  if (!slot.pass && slot.exitCode == 0) slot.exitCode = 1;
  slot.burnSerial = Text(event, "burn_serial");
  slot.versionBefore = Text(event, "version_before");
  slot.versionAfter = Text(event, "version_after");
  slot.state = slot.pass ? GangSlot::State::kPassed : GangSlot::State::kFailed;
  slot.reason = slot.pass ? std::string() : slot.statusText;
  if (slot.pass) slot.percent = 100;
  return true;
}

void FailWithoutResult(GangSlot& slot, const std::string& reason) {
  slot.hasResult = false;
  slot.pass = false;
  slot.status = kStsActionFail;
  slot.statusText = StatusText(kStsActionFail);
  slot.exitCode = ExitCodeForStatus(kStsActionFail);
  slot.state = GangSlot::State::kFailed;
  slot.reason = reason;
}

const char* ResultWord(const GangSlot& slot) {
  switch (slot.state) {
    case GangSlot::State::kPassed: return "PASS";
    case GangSlot::State::kFailed: return "FAIL";
    default: return "";
  }
}
