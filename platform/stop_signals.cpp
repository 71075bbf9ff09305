#include "platform/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {

namespace {

std::atomic<int> firstSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int number) {
  int none = 0;
  if (!firstSignal.compare_exchange_strong(none, number)) _exit(128 + number);
}

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalReceived() { return firstSignal.load() != 0; }
int StopSignalNumber() { return firstSignal.load(); }

}  // namespace platform
