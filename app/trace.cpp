#include "app/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace {

// Longest line, in characters, like the fixed line buffer it replaces. A cut
// line loses its final line end with the rest of its tail.
constexpr size_t kMaxLine = 511;

std::atomic<std::uint32_t> mask{7};
std::mutex fileLock;  // the file only; every line is built in its own storage
std::FILE* traceFile = nullptr;

std::string Format(const char* format, va_list args) {
  char buf[kMaxLine + 1];
  std::vsnprintf(buf, sizeof buf, format, args);
  return buf;
}

void Emit(const TraceScope& scope, bool prefix, const char* format, va_list args) {
  if ((scope.Category() & mask.load()) == 0) return;
  const std::string line =
      FormatTraceLine(platform::CurrentThreadId(), platform::SystemClock().NowMs(), scope.Name(),
                      Format(format, args), prefix);
  std::lock_guard lock(fileLock);
  if (traceFile) {
    std::fwrite(line.data(), 1, line.size(), traceFile);
    std::fflush(traceFile);
  }
}

}  // namespace

std::string FormatTraceLine(std::uint32_t threadId, std::uint64_t tick, std::string_view scope,
                            std::string_view message, bool prefix) {
  std::string line;
  if (prefix) {
    char head[48];
    std::snprintf(head, sizeof head, "(%X-%llu):", threadId, static_cast<unsigned long long>(tick));
    line = head;
    line += scope;
    line += ":> ";
  }
  line += message;
  if (line.size() > kMaxLine) line.resize(kMaxLine);
  if (!line.empty() && line.back() == '\n') {
    line.pop_back();
    line += "\r\n";
  }
  return line;
}

TraceScope::TraceScope(const char* name, std::uint32_t category, bool entry)
    : name_(name), category_(category), entry_(entry) {
  if (entry_) TraceLine(*this, "START --->>>\n");
}

TraceScope::~TraceScope() {
  if (entry_) TraceLine(*this, "EXIT <<<---\n");
}

void TraceLine(const TraceScope& scope, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(scope, true, format, args);
  va_end(args);
}

void TracePrint(const TraceScope& scope, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Emit(scope, false, format, args);
  va_end(args);
}

void TraceFailure(const TraceScope& scope, const char* text) {
  TracePrint(scope, "%s", kTraceSeparator);
  TracePrint(scope, "%s", text);
}

void TraceInitAt(const std::string& logPath, bool fileOutput) {
  std::lock_guard lock(fileLock);
  mask = 7;
  if (traceFile) std::fclose(traceFile);
  traceFile = fileOutput ? std::fopen(logPath.c_str(), "ab") : nullptr;
}

void TraceInit() {
  const char* on = platform::Environment("TESSALOAD_TRACE");
  TraceInitAt(platform::ProgramFolderWithSeparator() + "Log.txt", on && std::string_view(on) == "1");
}

void TraceShutdown() {
  std::lock_guard lock(fileLock);
  if (traceFile) std::fclose(traceFile);
  traceFile = nullptr;
}

void TraceSetMask(std::uint32_t m) { mask = m; }
