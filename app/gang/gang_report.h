#pragma once
// What a gang or a station shows and returns: the table with one row per
// port, the summary in words and as a JSON object, and the exit code.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/gang/gang_slot.h"

// Orders port paths as the bus does: by bus, then port by port ("1-2" before
// "1-10", "1-1" before "1-1.3").
bool PortBefore(const std::string& a, const std::string& b);

// One row per slot: port, serial, phase, progress, result and reason; a
// station adds the port's unit, pass and fail counts.
std::string SlotTable(const std::vector<GangSlot>& slots, bool station);

// Redraws a table in place on a terminal: the cursor goes back over the lines
// drawn last, each line is cleared and written again.
class LiveTable {
 public:
  explicit LiveTable(std::FILE* out) : out_(out) {}
  void Draw(const std::string& table);

 private:
  std::FILE* out_;
  int lines_ = 0;
};

// 0 when every slot passed; otherwise the exit code of the first failed
// slot in port order (slots are kept in port order). Never 0 with a failure.
int GangExitCode(const std::vector<GangSlot>& slots);

// "gang write: 3 passed, 1 failed (1-3: 41706 Update Flash Fail!) in 12.3 s".
std::string GangSummaryText(const std::string& action, const std::vector<GangSlot>& slots,
                            std::uint64_t durationMs);
// The summary event of the JSON Lines output.
std::string GangSummaryJson(const std::string& action, const std::vector<GangSlot>& slots,
                            std::uint64_t durationMs);
