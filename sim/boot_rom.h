#pragma once
// The boot ROM's rule for starting the code in memory (sim/README.md gives it
// in words). It reads the code memory with its own decoding of an image's
// configuration header, tag and version record.
#include <array>
#include <cstdint>

#include "sim/chip_table.h"
#include "sim/code_memory.h"

namespace sim {

// The six version components of a firmware, as its status words report them.
using FirmwareVersion = std::array<std::uint16_t, 6>;

// Decodes the 8-byte version record: nibbles, byte, then three big-endian words.
FirmwareVersion DecodeVersionRecord(const std::uint8_t* record);

struct BootDecision {
  bool starts = false;         // the boot ROM hands over to the code
  std::uint32_t imageStart = 0;  // where the started image lies in code memory
  FirmwareVersion version{};   // the version record of the started image
};

BootDecision DecideBoot(const ChipFacts& chip, const CodeMemory& memory);

// The version the boot ROM reports while no code runs: zeros, or for OTP
// chips the version record of all 0xBB bytes (the blank-OTP pattern).
FirmwareVersion BootRomVersion(MemoryKind kind);

}  // namespace sim
