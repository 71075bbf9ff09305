#pragma once
// The debug capture: while setting "Debug Log" is non-zero, a thread appends
// the program's own debug-output strings to DebugLog.txt in the program folder,
// in the order written and without terminators. The file is created anew at
// each start.
#include <memory>
#include <string>
#include <thread>

#include "platform/debug_output.h"

class DebugCapture {
 public:
  ~DebugCapture() { Stop(); }
  // Creates the file and starts the thread; false (and no thread) when the
  // file cannot be created.
  bool Start(const std::string& path);
  // Asks the thread to stop and waits for it: it writes what was queued
  // before and notices the request at once even when no string arrives.
  // Does nothing when no thread runs.
  void Stop();
  bool Running() const { return thread_.joinable(); }

 private:
  void Run(std::FILE* file);

  std::unique_ptr<platform::DebugOutputReader> reader_;
  std::thread thread_;
};
