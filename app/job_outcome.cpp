#include "app/job_outcome.h"

#include <fstream>
#include <iterator>

#include "app/codec_list.h"
#include "app/program_state.h"
#include "app/status_codes.h"
#include "flow/create_flow.h"
#include "flow/flow_host.h"
#include "image/sha256.h"

namespace {

// The digest of a file's bytes; empty when it cannot be read.
std::string FileSha256(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Sha256Hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace

JobOutcome CollectJobOutcome(const JobFacts& facts, FlowHost* host) {
  JobOutcome o;
  o.action = facts.action;
  if (const CodecEntry* c = facts.codec) {
    o.port = c->port;
    o.serial = c->serial;
    o.chip = c->chip;
    o.family = c->family;
    o.memory = c->memory;
    o.versionBefore = c->version;
    // The burn_result.txt serial field: the factory form's, the codec's manufacturer text.
    if (const CDevFlow* flow = CurrentFlow()) o.burnSerial = flow->manufacturer;
  }
  o.versionAfter = facts.versionAfter;
  o.imageFile = facts.imageFile;
  if (!facts.imageFile.empty()) o.imageSha256 = FileSha256(facts.imageFile);
  SetJobStatus(o, LastStatusCode.load());
  o.pass = o.exitCode == 0;
  o.durationMs = facts.durationMs;
  if (host) o.phases = host->JobPhases().Phases();
  return o;
}

void SetJobStatus(JobOutcome& outcome, int status) {
  outcome.status = status;
  outcome.statusText = StatusText(status);
  outcome.exitCode = ExitCodeForStatus(status);
}
