#pragma once
// What the download job needs of the window that posted it. The loop-test
// values are written by the window thread only between runs; the other calls
// post to the window, which applies them on its own thread in order with the
// flows' notifications.
#include <string>

class JobWindow {
 public:
  virtual ~JobWindow() = default;
  virtual int LoopTestFlag() const = 0;
  virtual int RunsLeft() const = 0;
  virtual void DisableStart() = 0;
  virtual void SetLoopText(const std::string& text) = 0;
  // Starts the next run exactly as a click on Start.
  virtual void PostStart() = 0;
  // A loop-test run succeeded; the flow holds the codec's state after it.
  virtual void LoopRunEnded() {}
};
