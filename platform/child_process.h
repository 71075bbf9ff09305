#pragma once
// A child process whose standard output and standard error the parent reads
// through pipes: what a supervisor needs to run several jobs side by side.
// The child gets /dev/null as standard input, the default handling of SIGINT
// and SIGTERM, and a process group of its own, so that a Ctrl-C on the
// terminal reaches the supervisor only and the supervisor decides what each
// child is told.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
 public:
  // Starts argv[0] (a path, or a name looked up on PATH) with `argv`. Null
  // with `error` set when it cannot be started.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, std::string& error);
  // A child still running is killed and reaped: no process outlives its owner
  // unnoticed.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Id() const { return pid_; }
  // Moves what the child wrote since the last call onto `out` and `err`
  // without blocking.
  void Read(std::string& out, std::string& err);
  // Sends a signal (SIGTERM: stop safely; SIGKILL: end now).
  void Signal(int number);
  // True once the child has ended and what it wrote has been Read; then
  // ExitCode() is its exit status, or -1 when a signal ended it
  // (TermSignal() says which).
  bool Ended();
  int ExitCode() const { return exitCode_; }
  int TermSignal() const { return termSignal_; }

 private:
  friend bool WaitForChildren(const std::vector<ChildProcess*>& children, std::uint32_t ms);
  ChildProcess() = default;
  void Drain(int& fd, std::string& into);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  bool reaped_ = false;
  int exitCode_ = -1;
  int termSignal_ = 0;
  std::string out_, err_;
};

// Waits up to `ms` of real time until one of the children has written
// something or closed its output; true when one did. A child that closed its
// pipes but has not been reaped yet ends the wait within a few milliseconds.
bool WaitForChildren(const std::vector<ChildProcess*>& children, std::uint32_t ms);

// The supervisor's own process survives a child that closes its end of a
// pipe: SIGPIPE is ignored (children started afterwards inherit that, so a
// child whose supervisor is gone gets write errors, not a signal mid-job).
void IgnoreBrokenPipes();

}  // namespace platform
