#pragma once
// The simulated bus as a platform::UsbHost: root hubs for bus 1 (USB 2) and
// bus 2 (USB 3), the external hubs the codecs' port chains pass through, and
// each present codec as a USB device node with one audio function (MI_00).
// Paths are rendered with platform/usb_paths.h.
//
// Virtual time only moves when somebody waits on HostClock() or a transfer
// takes bus time. On a real-time bench every such wait and modelled duration
// (bus time, erases and programming, re-enumeration) passes on the wall clock
// as well. A codec that left the bus for a reset comes back once the
// clock has passed its settle time; the host notices it (and reports the
// arrival) the next time the tree, a hub or a device is looked at.
//
// Other processes may use the bench at the same time. Each transfer runs
// under the codec's lock on the codec's state as stored (sim/bench.h) and
// stores what it changed before the lock is let go; a codec busy in another
// process for longer than the lock's limit times the transfer out. Looking
// at the bus (the tree, a hub's ports, opening a device) takes no codec's
// lock: each codec shows what was last stored, so a process never waits for
// a codec that another process is working on.
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/usb_host.h"
#include "sim/bench.h"

namespace sim {

// When a file of this name exists in the bench folder, every control transfer
// of every process on the bench is appended to it as one line:
// "PID CODEC TYPE REQUEST VALUE INDEX LENGTH ERROR [first 8 data bytes]".
inline constexpr char kTransferLogName[] = "transfers.log";

class SimHost final : public platform::UsbHost {
 public:
  // `wall`: the clock a real-time bench waits on (the machine's unless given).
  explicit SimHost(std::unique_ptr<Bench> bench, platform::Clock* wall = nullptr);
  ~SimHost() override;

  std::vector<platform::UsbNode> Nodes() override;
  std::unique_ptr<platform::UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override;
  bool HubPorts(std::uint32_t hubInstance, std::vector<platform::UsbPortInfo>& ports) override;
  bool PortStringDescriptor(std::uint32_t hubInstance, std::uint32_t port, std::uint8_t index,
                            std::uint16_t language, std::vector<std::uint8_t>& out) override;
  void SetHotplugCallback(std::function<void(bool arrived, std::uint32_t instance)> cb) override;
  platform::Clock& HostClock() override { return clock_; }
  platform::VirtualClock& Clock() { return clock_; }

  // Used by the device handles.
  std::uint32_t Transfer(const std::string& codec, std::uint32_t instance, std::uint8_t requestType,
                         std::uint8_t request, std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                         std::uint16_t length, std::uint32_t timeoutMs, std::uint32_t& transferred);

 private:
  struct Event {
    bool arrived;
    std::uint32_t instance;
  };
  struct Tree;

  // Takes over what other processes stored, gives returning codecs their new
  // instances. Called with mutex_ held; events go out afterwards.
  void Refresh(std::vector<Event>& events);
  // With the codec's lock held: the codec as stored, the clock moved up to its time.
  Codec* Current(const std::string& name);
  // The same without the lock, for looking only (Bench::Look).
  Codec* Seen(const std::string& name);
  Codec* MovedUpTo(const std::string& name, Codec* codec);
  Tree BuildTree();
  void Notify(const std::vector<Event>& events);
  std::uint32_t HubInstance(const PortPath& path);
  void Log(const std::string& codec, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
           std::uint16_t index, const std::uint8_t* data, std::uint16_t length, std::uint32_t error);

  std::mutex mutex_;
  std::unique_ptr<Bench> bench_;
  platform::VirtualClock clock_;
  std::mutex callbackMutex_;
  std::function<void(bool, std::uint32_t)> callback_;
  std::FILE* log_ = nullptr;
};

}  // namespace sim
