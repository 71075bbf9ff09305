#pragma once
// The probe's steps: what the programming flows ask of the device library,
// one step at a time, each ending in a verdict, and the figures measured on
// the way.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "tools/usbprobe/counting_host.h"

namespace probe {

struct ProbeOptions {
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::string version;         // the running version expected at the start; empty: any
  std::uint32_t waitMs = 600;  // the settle wait the resets are given
  int latencyRounds = 100;     // requests timed per channel
};

// Runs every step on the first listed codec, through `host`, printing one
// line per step and the figures. Returns the name of the step that failed,
// or nothing when all passed. The codec's flash is erased and rewritten.
std::optional<std::string> RunProbe(CountingHost& host, const ProbeOptions& options, std::ostream& out);

}  // namespace probe
