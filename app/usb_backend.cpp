#include "app/usb_backend.h"

#include "platform/libusb_host.h"
#include "platform/process.h"
#include "sim/open_bench.h"

bool UsesSimulatedBench() {
  const char* bench = platform::Environment(kSimulatorVariable);
  return bench && *bench;
}

std::unique_ptr<platform::UsbHost> OpenUsbBackend(std::string& error) {
  if (UsesSimulatedBench()) {
    const char* bench = platform::Environment(kSimulatorVariable);
    auto host = sim::OpenBench(bench, error);
    if (!host) error = std::string(kSimulatorVariable) + "=" + bench + ": " + error;
    return host;
  }
  std::uint32_t code = 0;
  auto host = platform::CreateLibusbHost(code);
  if (!host) error = "USB access could not be started (libusb error " + std::to_string(code) + ")";
  return host;
}
