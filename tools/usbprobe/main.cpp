// tessaload-usbprobe --vid HEX --pid HEX [--version TEXT] [--wait MS]
//
// Drives the device library through the libusb backend on the first codec
// listed, as the programming flows do: identity, status, data memory and
// flash through both command channels, the extension unit's data size, and a
// ROM reset with re-find. Prints one line per step and the figures measured;
// exits 0 when every step passed, 1 when one failed (the line "FAIL <step>:
// <reason>" names it), 2 for a bad command line. The codec's flash is erased.
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/libusb_host.h"
#include "tools/usbprobe/counting_host.h"
#include "tools/usbprobe/probe_steps.h"

namespace {

int Usage() {
  std::cerr << "usage: tessaload-usbprobe --vid HEX --pid HEX [--version TEXT] [--wait MS]\n";
  return 2;
}

bool ParseNumber(const std::string& text, int base, unsigned long max, unsigned long& value) {
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, base);
  return !text.empty() && *end == '\0' && value <= max;
}

}  // namespace

int main(int argc, char** argv) {
  probe::ProbeOptions options;
  bool haveVid = false, havePid = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i], value = argv[i + 1];
    unsigned long n = 0;
    if (key == "--vid" && ParseNumber(value, 16, 0xFFFF, n)) {
      options.vid = std::uint16_t(n);
      haveVid = true;
    } else if (key == "--pid" && ParseNumber(value, 16, 0xFFFF, n)) {
      options.pid = std::uint16_t(n);
      havePid = true;
    } else if (key == "--version") {
      options.version = value;
    } else if (key == "--wait" && ParseNumber(value, 10, 60'000, n)) {
      options.waitMs = std::uint32_t(n);
    } else {
      return Usage();
    }
  }
  if (argc % 2 == 0 || !haveVid || !havePid) return Usage();

  std::uint32_t error = 0;
  std::unique_ptr<platform::UsbHost> libusb = platform::CreateLibusbHost(error);
  if (!libusb) {
    std::cout << "FAIL libusb: libusb could not start (error " << error << ")\n";
    return 1;
  }
  probe::CountingHost host(std::move(libusb));
  return probe::RunProbe(host, options, std::cout) ? 1 : 0;
}
