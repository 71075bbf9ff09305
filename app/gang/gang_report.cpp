#include "app/gang/gang_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

// "1-1.3" as {1, 1, 3}; text that is no port path sorts after, as text.
std::vector<long> PortNumbers(const std::string& port) {
  std::vector<long> numbers;
  const char* p = port.c_str();
  while (*p) {
    char* end = nullptr;
    numbers.push_back(std::strtol(p, &end, 10));
    if (end == p || (*end && *end != '-' && *end != '.')) return {};
    p = *end ? end + 1 : end;
  }
  return numbers;
}

std::string Cell(std::string text, std::size_t width) {
  if (text.size() > width) text.resize(width);
  text.resize(width, ' ');
  return text;
}

std::string Progress(const GangSlot& slot) {
  if (slot.percent < 0) return "";
  constexpr int kBar = 10;
  const int filled = std::clamp(slot.percent, 0, 100) * kBar / 100;
  return "[" + std::string(filled, '#') + std::string(kBar - filled, '.') + "] " + std::to_string(slot.percent) +
         "%";
}

std::string Phase(const GangSlot& slot) {
  switch (slot.state) {
    case GangSlot::State::kWaiting: return "waiting";
    case GangSlot::State::kRunning: return slot.phase.empty() ? "starting" : slot.phase;
    default: return slot.phase;
  }
}

}  // namespace

bool PortBefore(const std::string& a, const std::string& b) {
  const std::vector<long> x = PortNumbers(a), y = PortNumbers(b);
  if (x.empty() != y.empty()) return !x.empty();
  if (x.empty() || x == y) return a < b;
  return x < y;
}

std::string SlotTable(const std::vector<GangSlot>& slots, bool station) {
  std::ostringstream table;
  table << Cell("PORT", 10) << Cell("SERIAL", 14) << Cell("PHASE", 14) << Cell("PROGRESS", 18)
        << Cell("RESULT", 7);
  if (station) table << Cell("UNIT", 5) << Cell("PASS", 5) << Cell("FAIL", 5);
  table << "REASON\n";
  for (const GangSlot& slot : slots) {
    table << Cell(slot.port, 10) << Cell(slot.serial, 14) << Cell(Phase(slot), 14) << Cell(Progress(slot), 18)
          << Cell(ResultWord(slot), 7);
    if (station)
      table << Cell(std::to_string(slot.unit), 5) << Cell(std::to_string(slot.passed), 5)
            << Cell(std::to_string(slot.failed), 5);
    table << slot.reason << "\n";
  }
  return table.str();
}

void LiveTable::Draw(const std::string& table) {
  std::string text;
  if (lines_ > 0) text += "\x1b[" + std::to_string(lines_) + "F";
  int lines = 0;
  for (std::size_t start = 0, end; (end = table.find('\n', start)) != std::string::npos; start = end + 1) {
    text += "\x1b[2K" + table.substr(start, end - start) + "\n";
    ++lines;
  }
  lines_ = lines;
  std::fputs(text.c_str(), out_);
  std::fflush(out_);
}

int GangExitCode(const std::vector<GangSlot>& slots) {
  for (const GangSlot& slot : slots)
    if (slot.state != GangSlot::State::kPassed) return slot.exitCode != 0 ? slot.exitCode : 1;
  return 0;
}

std::string GangSummaryText(const std::string& action, const std::vector<GangSlot>& slots,
                            std::uint64_t durationMs) {
  int passed = 0;
  std::string failures;
  for (const GangSlot& slot : slots) {
    if (slot.state == GangSlot::State::kPassed) {
      ++passed;
      continue;
    }
    failures += (failures.empty() ? "" : "; ") + slot.port + ": " + std::to_string(slot.status) + " " +
                (slot.reason.empty() ? slot.statusText : slot.reason);
  }
  const int failed = static_cast<int>(slots.size()) - passed;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(durationMs) / 1000.0);
  std::string text = "gang " + action + ": " + std::to_string(passed) + " passed, " + std::to_string(failed) +
                     " failed";
  if (failed) text += " (" + failures + ")";
  return text + " in " + seconds + ", exit code " + std::to_string(GangExitCode(slots));
}

std::string GangSummaryJson(const std::string& action, const std::vector<GangSlot>& slots,
                            std::uint64_t durationMs) {
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  int passed = 0;
  for (const GangSlot& slot : slots) {
    const bool pass = slot.state == GangSlot::State::kPassed;
    passed += pass;
    results.push_back({{"port", slot.port},
                       {"serial", slot.serial},
                       {"pass", pass},
                       {"status", slot.status},
                       {"exit_code", pass ? 0 : GangExitCode({slot})},
                       {"reason", slot.reason}});
  }
  const nlohmann::ordered_json summary = {{"schema", 1},
                                          {"event", "summary"},
                                          {"action", action},
                                          {"passed", passed},
                                          {"failed", static_cast<int>(slots.size()) - passed},
                                          {"exit_code", GangExitCode(slots)},
                                          {"duration_ms", durationMs},
                                          {"results", results}};
  return summary.dump();
}
