#pragma once
// What a subcommand shows while its job runs, taken from the flows' NotifyUI
// messages: phase and progress events as JSON Lines on standard output, or
// on a terminal the phase names and one progress bar on standard error.
#include <cstdio>
#include <mutex>
#include <string>

#include "app/notify.h"

class JobProgress final : public NotifySink {
 public:
  enum class Mode { kQuiet, kTerminal, kJson };
  // Installs itself as the NotifyUI sink until destroyed.
  JobProgress(Mode mode, std::string port, std::string serial);
  ~JobProgress() override;
  JobProgress(const JobProgress&) = delete;
  JobProgress& operator=(const JobProgress&) = delete;

  int Post(std::uint32_t message, std::intptr_t wparam, std::intptr_t lparam) override;
  // Ends the terminal's progress line, if one is open.
  void Finish();

  // The job phase's name for a phase status id; the status text in lower
  // case for an id of no known phase.
  static std::string PhaseName(int status);

 private:
  void Draw();
  Mode mode_;
  std::string port_;
  std::string serial_;
  std::string phase_;
  int percent_ = -1;
  bool lineOpen_ = false;
  std::mutex mutex_;
};

// "1-1.3 A1", or the port alone for a codec without a serial number.
std::string CodecName(const std::string& port, const std::string& serial);
