#pragma once
// The program's services, started and stopped in one place: the settings,
// the trace and debug capture, the IC descriptions, the device library over a
// USB host and the current flow object. The program (command line and
// window), the benchmarks and the test fixtures all start here; one process
// may start and stop them any number of times, one round after the other.
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/config_ini.h"
#include "app/debug_capture.h"
#include "platform/usb_host.h"

class FlowHost;

struct ServiceOptions {
  // The settings: the built-in text, then config.ini of the program folder.
  // With `settingsText`, that text alone takes the built-in text's place.
  std::optional<std::string> settingsText;
  // Where the setting checks write their warnings; null: no checks.
  std::FILE* settingsWarnings = nullptr;
  // The USB host to work on, owned by the caller; null: the one that
  // OpenUsbBackend chooses, owned by the services.
  platform::UsbHost* usbHost = nullptr;
  // The memory type of the first flow object.
  int memoryType = 0;
};

class ProgramServices {
 public:
  ProgramServices() = default;
  ~ProgramServices() {
    if (running_) Stop();
  }
  ProgramServices(const ProgramServices&) = delete;
  ProgramServices& operator=(const ProgramServices&) = delete;

  // Starts every service, in order; false when the device library did not
  // start over a host (UsbError says why when no host could be opened). The
  // other services run in either case, so jobs report their own failure.
  bool Start(const ServiceOptions& options = {});
  // Runs one job: SilentMode and the flow host (when given; a window installs
  // its own) are set for it, and the current flow object's device is closed
  // after it. Returns what `job` returns.
  int RunJob(FlowHost* host, bool silent, const std::function<int()>& job);
  // The orderly shut-down, the reverse of Start. Returns the exit code for
  // the last status and, when the services ran, stores it back as the last
  // status.
  int Stop();

  bool Running() const { return running_; }
  // The host in use; null when none could be opened.
  platform::UsbHost* UsbHost() const { return host_; }
  const std::string& UsbError() const { return usbError_; }

 private:
  bool running_ = false;
  CConfigIni settings_;
  DebugCapture capture_;
  std::unique_ptr<platform::UsbHost> ownHost_;
  platform::UsbHost* host_ = nullptr;
  std::string usbError_;
};

// Closes the current flow object's device, if it holds one.
void CloseFlowDevice();
