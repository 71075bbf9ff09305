#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/paths.h"

namespace platform {

// One per name and process: every NamedMutex of that name shares it, so the
// lock file is held once per process and threads are ordered in-process.
struct NamedMutex::Shared {
  std::mutex guard;  // protects the fields below, held for no wait
  std::thread::id owner;
  unsigned depth = 0;
  int fd = -1;
  std::string path;
  pid_t pid = getpid();  // a child made by fork starts afresh
  bool reported = false;  // an unusable lock file is reported once
  ~Shared() {
    if (fd >= 0 && pid == getpid()) close(fd);
  }
};

namespace {

std::shared_ptr<NamedMutex::Shared> SharedFor(const std::string& name) {
  static std::mutex registryLock;
  static std::map<std::string, std::weak_ptr<NamedMutex::Shared>> registry;
  std::lock_guard lock(registryLock);
  auto& slot = registry[name];
  auto shared = slot.lock();
  if (!shared || shared->pid != getpid()) {
    shared = std::make_shared<NamedMutex::Shared>();
    std::string file;
    for (char c : name) file += (c == '/' || c == '\\') ? '_' : c;
    shared->path = LockFolder() + "/" + file + ".lock";
    slot = shared;
  }
  return shared;
}

enum class Attempt { kTaken, kHeldHere, kHeldElsewhere };

// Tries once to take the mutex for the calling thread.
Attempt TryTake(NamedMutex::Shared& s) {
  std::lock_guard lock(s.guard);
  auto self = std::this_thread::get_id();
  if (s.depth > 0) {
    if (s.owner != self) return Attempt::kHeldHere;
    ++s.depth;
    return Attempt::kTaken;
  }
  if (s.fd < 0) {
    // Readable and writable by every user: processes of other users lock it too.
    s.fd = open(s.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (s.fd < 0) {
      if (!s.reported)
        std::fprintf(stderr, "tessaload: lock file %s cannot be opened: %s\n", s.path.c_str(), std::strerror(errno));
      s.reported = true;
      return Attempt::kHeldHere;
    }
    fchmod(s.fd, 0666);  // past the umask; fails harmlessly on another user's file
  }
  if (flock(s.fd, LOCK_EX | LOCK_NB) != 0) return Attempt::kHeldElsewhere;
  s.owner = self;
  s.depth = 1;
  return Attempt::kTaken;
}

}  // namespace

NamedMutex::NamedMutex(std::string name) : name_(std::move(name)), shared_(SharedFor(name_)) {}

NamedMutex::~NamedMutex() = default;

bool NamedMutex::Lock(std::uint32_t timeoutMs, Clock& clock) {
  const std::uint64_t start = clock.NowMs();
  const auto realStart = std::chrono::steady_clock::now();
  for (;;) {
    const Attempt attempt = TryTake(*shared_);
    if (attempt == Attempt::kTaken) return true;
    if (timeoutMs != kWaitInfinite && clock.NowMs() - start >= timeoutMs) {
      // Another program holds it and runs in real time, whatever clock this
      // one keeps: its hold is waited for up to the limit in real time too.
      const auto realWaited = std::chrono::steady_clock::now() - realStart;
      if (attempt != Attempt::kHeldElsewhere || realWaited >= std::chrono::milliseconds(timeoutMs)) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    clock.SleepMs(1);
  }
}

void NamedMutex::Unlock() {
  std::lock_guard lock(shared_->guard);
  if (shared_->depth == 0 || shared_->owner != std::this_thread::get_id()) return;
  if (--shared_->depth == 0) {
    flock(shared_->fd, LOCK_UN);
    shared_->owner = {};
  }
}

}  // namespace platform
