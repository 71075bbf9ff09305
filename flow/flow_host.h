#pragma once
// What the flows need of the user-interface object that runs them: the main
// window in window mode, the command-line executor otherwise. Only one exists
// at a time; it installs itself with SetFlowHost.
#include <cstdint>
#include <string>

#include "flow/job_phases.h"

class FlowHost {
 public:
  virtual ~FlowHost() = default;

  // The operator's stop request, read under the window's lock.
  virtual bool StopRequested() { return false; }
  virtual bool HasWindow() const { return false; }

  // The chosen device's USB location: port number and parent instance.
  virtual void RememberedLocation(std::uint32_t& port, std::uint32_t& parent) = 0;
  virtual void SetRememberedLocation(std::uint32_t port, std::uint32_t parent) = 0;

  // The window's device list, its selected-device text and auto-run event.
  virtual void ClearDeviceList() {}
  virtual int AppendDevice(const std::string&) { return -1; }
  virtual void SelectDevice(int) {}
  virtual std::string DeviceText(int) { return {}; }
  virtual std::string SelectedDeviceText() { return {}; }
  virtual void SetSelectedDeviceText(const std::string&) {}
  virtual void SetAutoRunEvent(bool) {}
  // The window's serial-number counter text.
  virtual void SetSerialCounterText(const std::string&) {}

  // Console output of the command line (nothing in window mode).
  virtual void Print(const std::string&) {}

  // The phases of the job being run, kept across the flow objects it uses.
  JobPhaseLog& JobPhases() { return jobPhases_; }

 private:
  JobPhaseLog jobPhases_;
};

// The host of the current run mode; null before one exists.
FlowHost* CurrentFlowHost();
void SetFlowHost(FlowHost* host);
