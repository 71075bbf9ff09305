#pragma once
// Posted window messages: any thread posts without waiting; the window's
// thread takes them one at a time, in posting order. The waker tells the
// window's event loop that messages wait (in the Qt window, a queued call).
#include <functional>

#include "ui/worker/posted_queue.h"
#include "ui/worker/window_messages.h"

class WindowMailbox final : public NotifySink {
 public:
  // Called on the posting thread after each post; set before any post.
  void SetWaker(std::function<void()> waker) { waker_ = std::move(waker); }

  int Post(std::uint32_t id, std::intptr_t wparam, std::intptr_t lparam) override;
  int Post(WindowMessage message);

  // Hands every waiting message to `handle`, oldest first, on the calling
  // (window) thread. A handler that runs a modal loop may be re-entered by
  // the waker; that nested call returns at once and the outer call goes on,
  // so no message overtakes another.
  void Deliver(const std::function<void(const WindowMessage&)>& handle);

  // Posts are dropped from now on (the window is gone).
  void Close() { queue_.Close(); }

 private:
  PostedQueue<WindowMessage> queue_;
  std::function<void()> waker_;
  bool delivering_ = false;  // window thread only
};
