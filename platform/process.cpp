#include "platform/process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {
std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(syscall(SYS_gettid)); }
std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }
const char* Environment(const char* name) { return std::getenv(name); }
bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
}  // namespace platform
