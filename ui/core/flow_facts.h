#pragma once
// What the window shows of the current flow object and writes into its result
// files. It is taken on the thread that runs the flow, at the moment the flow
// reports an outcome or device information, and travels with that message:
// the window never reads the flow's texts while the worker may change them.
#include <cstdint>
#include <string>

#include "ui/core/window_flow_host.h"

struct FlowFacts {
  std::uint16_t vid = 0, pid = 0, rev = 0;
  std::string manufacturer;
  std::string serialText;
  std::string identityText;
  std::string connectionText;
  std::string imageSourceText;  // "Update FW version:" and the built-in image's version
  int listCheckResult = 1;      // the VID/PID list check of device selection
  std::uint8_t chipFamily = 0;  // of the IC-type description in use
  WindowFlowHost::ListView deviceList;
};

// The facts of the current flow object (empty ones without a flow).
FlowFacts TakeFlowFacts(const WindowFlowHost& host);
