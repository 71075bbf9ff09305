#pragma once
// The outcome of one job, filled in once by whoever ran it (the factory
// command line, a subcommand, the window) and written out by separate
// writers: the factory form's console lines, Result.txt, the burn_result.txt
// row, the human output of the subcommands and their JSON.
#include <cstdint>
#include <string>
#include <vector>

#include "flow/job_phases.h"

struct JobOutcome {
  // "write", "verify", "read", "erase", "version", "detect", "dumpotp",
  // "dumpspi": the factory form's actions under the subcommands' names.
  std::string action;
  // The codec: its USB port path ("1-1.3"; empty when none was chosen), the
  // USB serial number text and the burn_result.txt serial field.
  std::string port;
  std::string serial;
  std::string burnSerial;
  // The IC description's chip name and family, and the memory type's name.
  std::string chip;
  int family = -1;
  std::string memory;
  // The running firmware's version before the job, and after it (empty when
  // the job did not change or read it again).
  std::string versionBefore;
  std::string versionAfter;
  // The image file as given and the SHA-256 of its bytes (lower-case hex;
  // empty for jobs without an image).
  std::string imageFile;
  std::string imageSha256;
  // The job's end: status id and text, the exit code 0 to 4, and whether it
  // passed.
  int status = 0;
  std::string statusText;
  int exitCode = 0;
  bool pass = false;
  // Wall time of the whole job on the flow clock, and each phase.
  std::uint64_t durationMs = 0;
  std::vector<JobPhase> phases;
};

struct CodecEntry;
class FlowHost;

// What the runner of a job knows beside the program-wide state.
struct JobFacts {
  std::string action;
  const CodecEntry* codec = nullptr;  // null when none was chosen
  std::string imageFile;              // empty for jobs without an image file
  std::string versionAfter;           // the running version read again after the job
  std::uint64_t durationMs = 0;
};

// The whole record of the job just run: the facts, the status in
// LastStatusCode with its text and exit code, the SHA-256 of the image
// file's bytes as they are now, the serial field of the current flow object
// and the phases the host logged.
JobOutcome CollectJobOutcome(const JobFacts& facts, FlowHost* host);

// The job's end as the status id gives it: the id, its text and the exit code.
void SetJobStatus(JobOutcome& outcome, int status);
