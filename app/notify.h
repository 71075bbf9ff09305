#pragma once
// NotifyUI: how flows and device selection report phases, progress and
// outcomes. The message goes to the main window when one exists, and the
// status is recorded in LastStatusCode whether or not a window exists.
#include <cstdint>

// Window messages.
inline constexpr std::uint32_t kMsgWorkerEnded = 0x412;
inline constexpr std::uint32_t kMsgProgress = 0x413;
inline constexpr std::uint32_t kMsgFailure = 0x414;
inline constexpr std::uint32_t kMsgSuccess = 0x416;
inline constexpr std::uint32_t kMsgPhase = 0x417;
inline constexpr std::uint32_t kMsgDeviceInfo = 0x418;
inline constexpr std::uint32_t kMsgDeviceOpened = 0x41F;

// Receives posted window messages; implemented by the main window, which
// delivers them on its own thread in posting order.
class NotifySink {
 public:
  virtual ~NotifySink() = default;
  // Posts without waiting; returns non-zero when the message was queued.
  virtual int Post(std::uint32_t message, std::intptr_t wparam, std::intptr_t lparam) = 0;
};

// Installs or (with null) removes the window's sink.
void SetNotifySink(NotifySink* sink);

// Posts to the window if one exists (its result, 0 without a window), then
// records wparam as LastStatusCode unless the message is 0x412, and turns a
// success id into 0. Callable from any thread.
int NotifyUI(std::uint32_t message, std::intptr_t wparam, std::intptr_t lparam);
