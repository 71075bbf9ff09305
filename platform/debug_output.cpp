#include "platform/debug_output.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace platform {

namespace {
std::mutex lock;
std::condition_variable ready;
std::deque<std::string> queue;
bool attached = false;
bool woken = false;
}  // namespace

void DebugOutput(std::string_view text) {
  {
    std::lock_guard guard(lock);
    if (!attached) return;
    queue.emplace_back(text);
  }
  ready.notify_one();
}

DebugOutputReader::DebugOutputReader() {
  std::lock_guard guard(lock);
  attached = true;
  woken = false;
  queue.clear();
}

DebugOutputReader::~DebugOutputReader() {
  std::lock_guard guard(lock);
  attached = false;
  queue.clear();
}

bool DebugOutputReader::Read(std::string& text) {
  std::unique_lock guard(lock);
  ready.wait(guard, [] { return woken || !queue.empty(); });
  if (queue.empty()) return false;
  text = std::move(queue.front());
  queue.pop_front();
  return true;
}

void DebugOutputReader::Wake() {
  {
    std::lock_guard guard(lock);
    woken = true;
  }
  ready.notify_all();
}

}  // namespace platform
