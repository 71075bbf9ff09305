#pragma once
// The messages the main window receives: the notifications of app/notify.h
// (0x412 to 0x418) and the window's own messages, all delivered on the
// window's thread in posting order (WindowMailbox).
#include <cstdint>
#include <memory>
#include <string>

#include "app/notify.h"

inline constexpr std::uint32_t kMsgClose = 0x0010;         // WM_CLOSE: end the program
inline constexpr std::uint32_t kMsgCommand = 0x0111;       // WM_COMMAND, wparam the control id
inline constexpr std::uint32_t kMsgDeviceChange = 0x0219;  // WM_DEVICECHANGE, lparam the node
inline constexpr std::intptr_t kDeviceArrival = 0x8000;    // DBT_DEVICEARRIVAL
inline constexpr std::intptr_t kDeviceRemoval = 0x8004;    // DBT_DEVICEREMOVECOMPLETE

// Changes of window state that other threads ask for; the window thread
// alone writes its state.
inline constexpr std::uint32_t kMsgSetLoopText = 0x8001;     // text
inline constexpr std::uint32_t kMsgSetOutcomeText = 0x8002;  // text
inline constexpr std::uint32_t kMsgDisableStart = 0x8003;
inline constexpr std::uint32_t kMsgWorkerIdle = 0x8004;  // the worker has no job left
inline constexpr std::uint32_t kMsgLoopRunEnded = 0x8005;  // a loop-test run succeeded; facts: the codec after it

inline constexpr int kIdStart = 1003;
inline constexpr std::intptr_t kStartOfLoopRun = 1;  // lparam of the loop test's Start

struct FlowFacts;

struct WindowMessage {
  std::uint32_t id = 0;
  std::intptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::string text;
  std::shared_ptr<const FlowFacts> facts;  // outcomes and device information
};
