#pragma once
// Posted window messages: any thread posts without waiting; the window's
// thread takes them one at a time, in posting order. The waker tells the
// window's event loop that messages wait (in the Qt window, a queued call).
#include <functional>

#include "ui/core/posted_queue.h"
#include "ui/core/window_messages.h"

class WindowMailbox final : public NotifySink {
 public:
  // Called on the posting thread after each post; set before any post.
  void SetWaker(std::function<void()> waker) { waker_ = std::move(waker); }
  // Completes each notification (NotifyUI) on the posting thread before it
  // is queued; set before any post.
  void SetAnnotator(std::function<void(WindowMessage&)> annotate) { annotate_ = std::move(annotate); }

  int Post(std::uint32_t id, std::intptr_t wparam, std::intptr_t lparam) override;
  int Post(WindowMessage message);

  // Hands every waiting message to `handle`, oldest first, on the calling
  // (window) thread. A handler that runs a modal loop may be re-entered by
  // the waker; that nested call returns at once and the outer call goes on,
  // so no message overtakes another.
  void Deliver(const std::function<void(const WindowMessage&)>& handle);

  bool Pending() const { return !queue_.Empty(); }

  // Posts are dropped from now on (the window is gone).
  void Close() { queue_.Close(); }

 private:
  PostedQueue<WindowMessage> queue_;
  std::function<void()> waker_;
  std::function<void(WindowMessage&)> annotate_;
  bool delivering_ = false;  // window thread only
};
