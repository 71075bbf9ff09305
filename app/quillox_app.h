#pragma once
// The application object: start-up, one run mode, exit.
#include <memory>
#include <string>
#include <vector>

#include "app/config_ini.h"
#include "app/debug_capture.h"
#include "platform/usb_host.h"

class CParseArg;

class CQuilloxApp : public CConfigIni {
 public:
  CQuilloxApp();
  ~CQuilloxApp();

  // Start-up and the chosen run mode, to their end; always false (the process
  // never runs a message loop of its own).
  bool InitInstance(const std::vector<std::string>& args);
  // Releases everything and returns the process exit code.
  int ExitInstance();

  const std::string& VersionText() const { return versionText_; }
  bool RanCommandLine() const { return ranCommandLine_; }

 private:
  // Settings, trace, IC descriptions, the command-line object, the flow and
  // the device library over the chosen USB host.
  void StartServices();

  DebugCapture capture_;
  std::unique_ptr<platform::UsbHost> usbHost_;
  std::string versionText_;
  bool ranCommandLine_ = false;
};

// True when the arguments after the program name choose window mode: none, or
// the single word "/forcerestart" in any letter case.
bool IsWindowModeCommandLine(const std::vector<std::string>& args);

// "3.0.0.46" -> "3.0.46": up to and including the second dot, then the part
// after the third dot; empty without a four-part text. At most 15 characters.
std::string VersionTextFromFileVersion(const std::string& fileVersion);

// Closes the current flow object's device, if it holds one.
void CloseFlowDevice();

// The program-wide objects created at start-up.
extern CParseArg* g_parseArg;
