#include "app/usb_backend.h"

#include "platform/libusb_host.h"
#include "platform/process.h"
#include "sim/open_bench.h"

std::unique_ptr<platform::UsbHost> OpenUsbBackend(std::string& error) {
  if (const char* bench = platform::Environment(kSimulatorVariable); bench && *bench) {
    auto host = sim::OpenBench(bench, error);
    if (!host) error = std::string(kSimulatorVariable) + "=" + bench + ": " + error;
    return host;
  }
  std::uint32_t code = 0;
  auto host = platform::CreateLibusbHost(code);
  if (!host) error = "USB access could not be started (libusb error " + std::to_string(code) + ")";
  return host;
}
