#include "app/notify.h"

#include <atomic>

#include "app/program_state.h"
#include "app/status_codes.h"

namespace {
std::atomic<NotifySink*> sink{nullptr};
}  // namespace

void SetNotifySink(NotifySink* s) { sink.store(s); }

int NotifyUI(std::uint32_t message, std::intptr_t wparam, std::intptr_t lparam) {
  int posted = 0;
  if (NotifySink* s = sink.load()) posted = s->Post(message, wparam, lparam);
  if (message != kMsgWorkerEnded) {
    const int status = static_cast<int>(wparam);
    LastStatusCode.store(IsSuccessStatus(status) ? 0 : status);
  } else if (IsSuccessStatus(LastStatusCode.load())) {
    LastStatusCode.store(0);
  }
  return posted;
}
