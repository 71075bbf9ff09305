#pragma once
// Identity of the running process and thread, as the trace prints them.
#include <cstdint>

namespace platform {
std::uint32_t CurrentThreadId();
std::uint32_t CurrentProcessId();
// The value of an environment variable, or null.
const char* Environment(const char* name);
}  // namespace platform
