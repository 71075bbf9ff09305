// tessaload-sim-usbip DIR [--attach FILE]
//
// Serves the codecs of the simulated bench in DIR to the kernel's USB/IP host
// controller (vhci_hcd, loaded), so that the kernel's USB core, its audio
// driver and libusb see them as USB devices. Runs until SIGINT or SIGTERM and
// saves the bench then. --attach names the host controller's attach file
// (default /sys/devices/platform/vhci_hcd.0/attach).
#include <csignal>
#include <iostream>
#include <string>

#include "platform/clock.h"
#include "sim/usbip_server.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

int Usage() {
  std::cerr << "usage: tessaload-sim-usbip DIR [--attach FILE]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) return Usage();
  std::string attachFile = "/sys/devices/platform/vhci_hcd.0/attach";
  if (argc == 4) {
    if (std::string(argv[2]) != "--attach") return Usage();
    attachFile = argv[3];
  }
  std::string error;
  std::unique_ptr<sim::Bench> bench = sim::Bench::Load(argv[1], error);
  if (!bench) {
    std::cerr << "tessaload-sim-usbip: " << error << "\n";
    return 1;
  }
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
  sim::SysfsVhciAttacher vhci(attachFile);
  std::cout << std::unitbuf;
  sim::UsbipServer server(std::move(bench), vhci, platform::SystemClock(), std::cout);
  while (!stopRequested) server.RunOnce(100);
  return server.Save() ? 0 : 1;
}
