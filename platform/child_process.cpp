#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace platform {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

struct Pipe {
  int fds[2] = {-1, -1};
  ~Pipe() {
    CloseFd(fds[0]);
    CloseFd(fds[1]);
  }
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& argv, std::string& error) {
  if (argv.empty()) {
    error = "no program to start";
    return nullptr;
  }
  Pipe out, err;
  if (pipe2(out.fds, O_CLOEXEC) != 0 || pipe2(err.fds, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err.fds[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int started = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (started != 0) {
    error = argv[0] + ": " + std::strerror(started);
    return nullptr;
  }
  std::unique_ptr<ChildProcess> child(new ChildProcess);
  child->pid_ = pid;
  std::swap(child->outFd_, out.fds[0]);
  std::swap(child->errFd_, err.fds[0]);
  fcntl(child->outFd_, F_SETFL, O_NONBLOCK);
  fcntl(child->errFd_, F_SETFL, O_NONBLOCK);
  return child;
}

ChildProcess::~ChildProcess() {
  if (!reaped_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  CloseFd(outFd_);
  CloseFd(errFd_);
}

void ChildProcess::Drain(int& fd, std::string& into) {
  char buffer[4096];
  while (fd >= 0) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      CloseFd(fd);
    } else if (errno != EINTR) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) CloseFd(fd);
      return;
    }
  }
}

void ChildProcess::Read(std::string& out, std::string& err) {
  Drain(outFd_, out_);
  Drain(errFd_, err_);
  out += out_;
  err += err_;
  out_.clear();
  err_.clear();
}

void ChildProcess::Signal(int number) {
  if (!reaped_ && pid_ > 0) kill(pid_, number);
}

bool ChildProcess::Ended() {
  if (reaped_) return out_.empty() && err_.empty();
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done != pid_) return false;
  reaped_ = true;
  if (WIFEXITED(status)) {
    exitCode_ = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    termSignal_ = WTERMSIG(status);
  }
  // What it wrote before it ended is still in the pipes: keep it for Read.
  // A process it left behind may hold the pipes open; they are closed here.
  Drain(outFd_, out_);
  Drain(errFd_, err_);
  CloseFd(outFd_);
  CloseFd(errFd_);
  return out_.empty() && err_.empty();
}

bool WaitForChildren(const std::vector<ChildProcess*>& children, std::uint32_t ms) {
  std::vector<pollfd> fds;
  bool closedButRunning = false;
  for (ChildProcess* child : children) {
    if (!child) continue;
    if (!child->out_.empty() || !child->err_.empty()) return true;
    if (child->outFd_ >= 0) fds.push_back({child->outFd_, POLLIN, 0});
    if (child->errFd_ >= 0) fds.push_back({child->errFd_, POLLIN, 0});
    if (child->outFd_ < 0 && child->errFd_ < 0 && !child->reaped_) closedButRunning = true;
  }
  const int timeout = static_cast<int>(closedButRunning ? std::min<std::uint32_t>(ms, 5) : ms);
  const int ready = poll(fds.data(), fds.size(), timeout);
  return ready > 0;
}

void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

}  // namespace platform
