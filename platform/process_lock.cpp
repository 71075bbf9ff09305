#include "platform/process_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/paths.h"

namespace platform {

namespace {
constexpr std::uint32_t kPollMs = 2;
}  // namespace

ProcessLock::ProcessLock(std::string name) : name_(std::move(name)) {}

ProcessLock::~ProcessLock() {
  Unlock();
  if (fd_ >= 0) close(fd_);
}

bool ProcessLock::Lock(std::uint32_t timeoutMs, Clock& clock) {
  if (held_) return true;
  if (fd_ < 0) {
    std::string file;
    for (char c : name_) file += (c == '/' || c == '\\') ? '_' : c;
    const std::string path = LockFolder() + "/" + file + ".lock";
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0) return false;
    fchmod(fd_, 0666);  // other users' programs lock it too; fails harmlessly on their file
  }
  const std::uint64_t start = clock.NowMs();
  const auto realStart = std::chrono::steady_clock::now();
  for (;;) {
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return held_ = true;
    if (clock.NowMs() - start >= timeoutMs) {
      if (std::chrono::steady_clock::now() - realStart >= std::chrono::milliseconds(timeoutMs)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    clock.SleepMs(kPollMs);
  }
}

void ProcessLock::Unlock() {
  if (!held_) return;
  flock(fd_, LOCK_UN);
  held_ = false;
}

}  // namespace platform
