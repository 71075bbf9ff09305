#include "app/gang/supervised_job.h"

#include <signal.h>

#include <cstring>

SupervisedJob::SupervisedJob(GangSlot& slot, std::unique_ptr<platform::ChildProcess> child,
                             const JobLimits& limits, std::uint64_t nowMs)
    : slot_(slot), child_(std::move(child)), limits_(limits), lastWordMs_(nowMs) {
  slot_.BeginJob();
}

void SupervisedJob::TakeLines(const LineSink& sink) {
  for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (ApplyJobLine(slot_, line) && sink) sink(slot_, line);
  }
}

bool SupervisedJob::Pump(std::uint64_t nowMs, const LineSink& sink) {
  if (done_) return true;
  const std::size_t before = pending_.size() + errors_.size();
  child_->Read(pending_, errors_);
  if (pending_.size() + errors_.size() != before) lastWordMs_ = nowMs;
  constexpr std::size_t kErrorTail = 400;
  if (errors_.size() > kErrorTail) errors_.erase(0, errors_.size() - kErrorTail);
  TakeLines(sink);
  if (child_->Ended()) {
    child_->Read(pending_, errors_);
    pending_ += '\n';  // a last line without its end still counts
    TakeLines(sink);
    Finish();
    return true;
  }
  if (!stopSent_ && nowMs - lastWordMs_ > limits_.silenceMs) {
    hung_ = true;
    Stop(nowMs);
  } else if (stopSent_ && nowMs - stopSentMs_ > limits_.stopGraceMs) {
    child_->Signal(SIGKILL);
  }
  return false;
}

void SupervisedJob::Stop(std::uint64_t nowMs) {
  if (stopSent_ || done_) return;
  stopSent_ = true;
  stopSentMs_ = nowMs;
  child_->Signal(SIGTERM);
}

void SupervisedJob::Finish() {
  done_ = true;
  const std::string silent = "no output for " + std::to_string(limits_.silenceMs) + " ms";
  if (slot_.hasResult) {
    if (hung_ && !slot_.pass) slot_.reason = silent + ", stopped: " + slot_.reason;
    return;
  }
  std::string reason;
  if (hung_) {
    reason = silent + ", stopped";
  } else if (child_->TermSignal() != 0) {
    reason = std::string("job process killed by signal ") + std::to_string(child_->TermSignal()) + " (" +
             strsignal(child_->TermSignal()) + ")";
  } else {
    reason = "job process ended with exit code " + std::to_string(child_->ExitCode()) + " and no result";
  }
  // The last line it wrote to standard error says most about why.
  std::string tail = errors_;
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
  if (const std::size_t cut = tail.find_last_of('\n'); cut != std::string::npos) tail.erase(0, cut + 1);
  if (!tail.empty()) reason += ": " + tail;
  FailWithoutResult(slot_, reason);
}
