#pragma once
// Serves the codecs of a simulated bench to the kernel's USB/IP host
// controller (vhci_hcd), so that the kernel's USB core and audio driver see
// them as USB devices. Each codec present on the bench gets a connected
// stream socket pair; one end is handed to the host controller as the device
// on a virtual port, the other carries the codec's USB/IP traffic
// (sim/usbip_session.h).
//
// A codec on port N of bus 1 is attached to virtual port N-1 of the USB 2
// root hub (the host controller has no external hubs). When a codec leaves
// the bus its connection is closed, and the kernel removes the device; when
// it comes back (its re-enumeration time, in real time) it is attached again
// and the kernel enumerates it as a new device. A codec switched off
// (tessaload-sim unplug, a power-loss fault) stays detached until it is
// plugged in again.
//
// The server owns the bench while it runs: the codecs' memories are written
// through as they change (sim/bench.h), their states are saved when the
// codecs have been idle for a moment, when a codec leaves the bus and at the
// end. Changes another program saves to the bench (faults, plug, unplug) are
// taken over while the server has nothing unsaved; make them while no program
// talks to the codec.
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/local_socket.h"
#include "sim/bench.h"
#include "sim/usbip_session.h"

namespace sim {

// How a connection reaches the host controller.
class VhciAttacher {
 public:
  virtual ~VhciAttacher() = default;
  // Hands `fd` (one end of a connected stream socket pair, still owned by the
  // caller) to the host controller as the device `devid` on virtual port
  // `port` at `speed` (the kernel's enum usb_device_speed). False with `error`
  // when the host controller refuses (the port still busy, say).
  virtual bool Attach(int port, int fd, std::uint32_t devid, std::uint32_t speed, std::string& error) = 0;
  // True when the host has no device of an earlier connection left on
  // `port`. The kernel removes a device some time after its connection
  // closed; a busy hub thread can take longer than a reset keeps the codec
  // off the bus. A codec attached again before then can be taken for the
  // old device (its descriptors are the same, and the virtual port is not
  // disabled by the disconnect as a real one is), so it would never
  // re-enumerate and a program searching for it anew would not find it.
  virtual bool PortReleased(int port) = 0;
};

// The host controller's sysfs attach file ("port sockfd devid speed").
class SysfsVhciAttacher final : public VhciAttacher {
 public:
  explicit SysfsVhciAttacher(std::string attachFile = "/sys/devices/platform/vhci_hcd.0/attach")
      : attachFile_(std::move(attachFile)) {}
  bool Attach(int port, int fd, std::uint32_t devid, std::uint32_t speed, std::string& error) override;
  // No USB device of the controller's buses sits on that root port
  // (<controller>/usb<B>/<B>-<port+1>).
  bool PortReleased(int port) override;

 private:
  std::string attachFile_;
};

inline constexpr std::uint32_t kUsbSpeedFull = 2, kUsbSpeedHigh = 3;  // enum usb_device_speed

// The virtual port and speed of a codec; false with `error` when its place
// on the bench cannot be given to the host controller.
bool VhciPlaceOf(const CodecConfig& config, int& port, std::uint32_t& speed, std::string& error);

class UsbipServer {
 public:
  // `realClock` gives real time (the steady clock; a virtual clock in tests).
  UsbipServer(std::unique_ptr<Bench> bench, VhciAttacher& vhci, platform::Clock& realClock, std::ostream& log);
  ~UsbipServer();
  UsbipServer(const UsbipServer&) = delete;
  UsbipServer& operator=(const UsbipServer&) = delete;

  // One round: attaches the codecs that are due, reads what the host sent,
  // answers what is due, ends the connections of codecs that left, saves and
  // reloads the bench. Waits at most `maxWaitMs` for the host.
  void RunOnce(std::uint32_t maxWaitMs);
  // Saves the bench now; false when that failed (logged).
  bool Save();
  // Codecs attached right now.
  int AttachedCount() const { return int(connections_.size()); }
  Bench& GetBench() { return *bench_; }

 private:
  struct Connection {
    platform::LocalSocket socket;
    int port = 0;
    UsbipSession session;
  };

  void AttachDue(std::uint64_t realNowUs);
  void Detach(const std::string& name, const char* why);
  void Pump(const std::string& name, Connection& c, std::uint64_t realNowUs);
  void ReloadIfChanged(std::uint64_t realNowUs);
  std::uint64_t NextDueUs(std::uint64_t realNowUs) const;

  std::unique_ptr<Bench> bench_;
  VhciAttacher& vhci_;
  platform::Clock& real_;
  std::ostream& log_;
  platform::VirtualClock clock_;
  CodecTime time_;
  std::map<std::string, Connection> connections_;  // by codec name
  std::map<std::string, std::uint64_t> retryAtUs_;  // attach refused or waiting: try again then
  std::map<std::string, std::string> waitWhy_;         // why the last attach waited, logged once
  std::uint32_t nextDevid_ = 1;
  bool dirty_ = false;
  std::uint64_t lastActivityUs_ = 0;
  std::uint64_t lastReloadCheckUs_ = 0;
};

}  // namespace sim
