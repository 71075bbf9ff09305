#include "ui/core/window_mailbox.h"

int WindowMailbox::Post(std::uint32_t id, std::intptr_t wparam, std::intptr_t lparam) {
  WindowMessage message{id, wparam, lparam, {}, {}};
  if (annotate_) annotate_(message);
  return Post(std::move(message));
}

int WindowMailbox::Post(WindowMessage message) {
  if (!queue_.Post(std::move(message))) return 0;
  if (waker_) waker_();
  return 1;
}

void WindowMailbox::Deliver(const std::function<void(const WindowMessage&)>& handle) {
  if (delivering_) return;
  delivering_ = true;
  while (auto message = queue_.TryTake()) handle(*message);
  delivering_ = false;
}
