#pragma once
// The USB host the program works on: the simulated bench named by
// TESSALOAD_SIM=DIR, chosen explicitly, or else the machine's USB through
// libusb. Never one in place of the other.
#include <memory>
#include <string>

#include "platform/usb_host.h"

inline constexpr char kSimulatorVariable[] = "TESSALOAD_SIM";

// True when TESSALOAD_SIM names a bench.
bool UsesSimulatedBench();

// Null with `error` naming the problem when the chosen host cannot be opened.
std::unique_ptr<platform::UsbHost> OpenUsbBackend(std::string& error);
