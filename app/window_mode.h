#pragma once
// Window mode: runs the operator window modally until the operator closes it.
// The window lives in ui/ (Qt), which the tessaload program links and installs
// here at start; the command line never needs it, nor a display.
#include <string>

namespace platform {
class UsbHost;
}

struct WindowModeContext {
  platform::UsbHost* usbHost = nullptr;  // null when USB access could not be started
  std::string versionText;               // the program's version, for the title
  bool pollHotplug = false;              // the host reports arrivals only when looked at
};

using WindowModeEntry = int (*)(const WindowModeContext& context);

void SetWindowModeEntry(WindowModeEntry entry);

// Runs the installed window; a build without one says so and returns.
int RunWindowMode(const WindowModeContext& context);
