#pragma once
// The program's own debug-output channel: strings written with DebugOutput
// are queued for a reader (the debug capture) while one is attached, and
// dropped otherwise. Strings of other processes never arrive here.
#include <string>
#include <string_view>

namespace platform {

void DebugOutput(std::string_view text);

class DebugOutputReader {
 public:
  DebugOutputReader();   // attaches; only one reader at a time
  ~DebugOutputReader();  // detaches, dropping what is still queued
  DebugOutputReader(const DebugOutputReader&) = delete;
  DebugOutputReader& operator=(const DebugOutputReader&) = delete;

  // Waits for the next string; false once Wake was called and the queue is
  // empty.
  bool Read(std::string& text);
  // Makes a waiting Read return.
  void Wake();
};

}  // namespace platform
