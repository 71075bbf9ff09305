#pragma once
// The trace: one line per event, "(TID-TICK):Scope:> message", thread id in
// upper-case hexadecimal and the millisecond tick in decimal. A message ending
// in a line end ends its line with CR LF. Lines of a category outside the mask
// (7: categories 1, 2 and 4) are dropped.
//
// With TESSALOAD_TRACE=1 in the environment the lines are appended to Log.txt
// in the program folder, as UTF-8; otherwise they are formatted and dropped.
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::uint32_t kTraceEntryPoints = 1;  // command line and window
inline constexpr std::uint32_t kTraceFlow = 2;         // device selection and flows
inline constexpr std::uint32_t kTraceOtpDetail = 4;    // detailed OTP steps

inline constexpr char kTraceSeparator[] = "----------------: ";

class TraceScope {
 public:
  // With entry set, writes "START --->>>" now and "EXIT <<<---" at the end.
  TraceScope(const char* name, std::uint32_t category, bool entry = true);
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

  const char* Name() const { return name_; }
  std::uint32_t Category() const { return category_; }

 private:
  const char* name_;
  std::uint32_t category_;
  bool entry_;
};

void TraceLine(const TraceScope& scope, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TracePrint(const TraceScope& scope, const char* format, ...) __attribute__((format(printf, 2, 3)));
// TracePrint of the separator, then the fixed failure text.
void TraceFailure(const TraceScope& scope, const char* text);

// Initialisation: Log.txt in the program folder, file output from
// TESSALOAD_TRACE. TraceInitAt names the file and the switch directly.
void TraceInit();
void TraceInitAt(const std::string& logPath, bool fileOutput);
void TraceShutdown();
void TraceSetMask(std::uint32_t mask);

// One line as written, with or without the "(TID-TICK):Scope:> " prefix.
std::string FormatTraceLine(std::uint32_t threadId, std::uint64_t tick, std::string_view scope,
                            std::string_view message, bool prefix);
