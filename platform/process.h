#pragma once
// Identity of the running process and thread, as the trace prints them.
#include <cstdint>

namespace platform {
std::uint32_t CurrentThreadId();
std::uint32_t CurrentProcessId();
// The value of an environment variable, or null.
const char* Environment(const char* name);
// True when standard error is a terminal (progress is drawn only there).
bool StandardErrorIsTerminal();
}  // namespace platform
