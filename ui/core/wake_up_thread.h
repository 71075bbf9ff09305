#pragma once
// The keep-awake thread: with "RTD3" set, it keeps the USB audio codec out of
// its low-power state by opening a short capture stream on it again and
// again. Each pass captures about 50 ms into a buffer of a twentieth of a
// second, which is thrown away, until the stop flag is set. The first capture
// endpoint whose name "description (identifier)" contains "USB" (letter case
// ignored) is used; without one the thread does nothing. The done event is
// set on every way out of the capture step.
#include <atomic>
#include <string>
#include <thread>

#include "platform/event.h"

namespace platform {
class AudioCapture;
class Clock;
}  // namespace platform

class CWakeUpThread {
 public:
  // Starts the thread and its capture step; the 50 ms of a pass go through `clock`.
  CWakeUpThread(platform::AudioCapture& audio, platform::Clock& clock);
  // Stops as Stop does.
  ~CWakeUpThread();
  CWakeUpThread(const CWakeUpThread&) = delete;
  CWakeUpThread& operator=(const CWakeUpThread&) = delete;

  // Sets the stop flag, waits for the done event, and ends the thread.
  void Stop();

  bool Done() const { return done_.IsSet(); }
  // Passes completed so far, and the name of the endpoint in use (empty
  // when none was found).
  int Passes() const { return passes_.load(); }
  std::string EndpointName() const;

 private:
  void CaptureStep();

  platform::AudioCapture& audio_;
  platform::Clock& clock_;
  std::atomic<int> stop_{0};
  std::atomic<int> passes_{0};
  platform::Event done_{true};
  mutable std::mutex nameMutex_;
  std::string endpointName_;
  std::thread thread_;
};
