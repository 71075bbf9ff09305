#pragma once
// One port of a gang or a station: what its job reported so far, as the
// supervisor reads it from the job's JSON Lines, and the unit counts of a
// station port.
#include <string>
#include <string_view>

struct GangSlot {
  enum class State { kWaiting, kRunning, kPassed, kFailed };

  std::string port;
  State state = State::kWaiting;
  // The codec's USB serial text and the name of the job's current phase.
  std::string serial;
  std::string burnSerial;  // the serial field of its burn_result.txt row
  std::string phase;
  int percent = -1;  // -1 until the job reported progress
  // The job's end: its result event when it wrote one.
  bool hasResult = false;
  bool pass = false;
  int status = 0;
  std::string statusText;
  int exitCode = 0;
  std::string versionBefore;
  std::string versionAfter;
  // Why the slot failed, as the table shows it (the status text, or what
  // happened to the job's process).
  std::string reason;
  // A station port: units seen on it (up-to-date ones among the passed).
  int unit = 0;
  int passed = 0;
  int failed = 0;
  int upToDate = 0;
  int failureExitCode = 0;  // of the port's latest failed unit

  // Clears what one job reported, for the port's next job.
  void BeginJob();
};

// Applies one line of a job's standard output. False when the line is no
// event of the JSON Lines contract (it changes nothing then).
bool ApplyJobLine(GangSlot& slot, std::string_view line);

// The job ended without a result event: its process crashed, was killed or
// hung. The slot fails with `reason` under the status "Action Fail!".
void FailWithoutResult(GangSlot& slot, const std::string& reason);

// The text of a slot's result column: "PASS", "FAIL", or "" while it runs.
const char* ResultWord(const GangSlot& slot);
