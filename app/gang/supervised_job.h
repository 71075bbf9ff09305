#pragma once
// One job process of a gang or station port, supervised through its JSON
// Lines: complete lines go to the port's slot (and to whoever passes them
// on), a job silent for longer than its limit is stopped (SIGTERM, then
// SIGKILL after a grace time), and a job that ends without a result event
// fails its slot with what happened to it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/gang/gang_slot.h"
#include "platform/child_process.h"

struct JobLimits {
  // Longest time a job may write nothing before it counts as hung.
  std::uint32_t silenceMs = 60000;
  // Time a job gets to stop safely after SIGTERM before it is killed.
  std::uint32_t stopGraceMs = 30000;
};

class SupervisedJob {
 public:
  using LineSink = std::function<void(const GangSlot&, const std::string& line)>;

  SupervisedJob(GangSlot& slot, std::unique_ptr<platform::ChildProcess> child, const JobLimits& limits,
                std::uint64_t nowMs);

  // Takes in what the job wrote, hands each complete line that is an event to
  // `sink` after applying it to the slot, and handles the job's end and its
  // limits. Returns true once the job has ended and its slot holds the
  // outcome.
  bool Pump(std::uint64_t nowMs, const LineSink& sink);
  // Asks the job to stop safely (SIGTERM); it is killed when it has not
  // ended after the grace time.
  void Stop(std::uint64_t nowMs);
  platform::ChildProcess* Child() { return child_.get(); }
  bool Done() const { return done_; }

 private:
  void TakeLines(const LineSink& sink);
  void Finish();

  GangSlot& slot_;
  std::unique_ptr<platform::ChildProcess> child_;
  JobLimits limits_;
  std::uint64_t lastWordMs_;
  std::uint64_t stopSentMs_ = 0;
  bool stopSent_ = false;
  bool hung_ = false;
  bool done_ = false;
  std::string pending_;   // standard output after the last complete line
  std::string errors_;    // the end of its standard error, for the reason
};
