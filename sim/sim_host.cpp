#include "sim/sim_host.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>

#include "platform/error_codes.h"
#include "platform/process.h"
#include "platform/usb_paths.h"
#include "platform/vendor.h"
#include "sim/open_bench.h"

namespace sim {

namespace {

constexpr std::uint16_t kHubPid = 0x0100;

struct HubPlace {
  int bus = 1;
  std::vector<int> chain;  // empty for a root hub
  bool operator<(const HubPlace& o) const {
    if (bus != o.bus) return bus < o.bus;
    if (chain.size() != o.chain.size()) return chain.size() < o.chain.size();
    return chain < o.chain;
  }
};

std::vector<std::uint8_t> HubDeviceDescriptor() {
  const std::uint16_t vid = platform::kVendorId;
  return {18, 1, 0x00, 0x02, 0x09, 0, 1, 64, std::uint8_t(vid), std::uint8_t(vid >> 8), std::uint8_t(kHubPid),
          std::uint8_t(kHubPid >> 8), 0x00, 0x01, 0, 0, 0, 1};
}

class SimDevice final : public platform::UsbDevice {
 public:
  SimDevice(SimHost& host, std::string codec, std::uint32_t instance)
      : host_(host), codec_(std::move(codec)), instance_(instance) {}
  std::uint32_t ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                                std::uint32_t timeoutMs, std::uint32_t& transferred) override {
    return host_.Transfer(codec_, instance_, requestType, request, value, index, data, length, timeoutMs,
                          transferred);
  }

 private:
  SimHost& host_;
  std::string codec_;
  std::uint32_t instance_;
};

}  // namespace

struct SimHost::Tree {
  std::vector<platform::UsbNode> nodes;
  std::vector<std::pair<HubPlace, std::uint32_t>> hubs;

  const HubPlace* Hub(std::uint32_t instance) const {
    for (const auto& [place, id] : hubs) {
      if (id == instance) return &place;
    }
    return nullptr;
  }
  platform::UsbNode* Node(std::uint32_t instance) {
    for (auto& node : nodes) {
      if (node.instance == instance) return &node;
    }
    return nullptr;
  }
};

std::unique_ptr<platform::UsbHost> OpenBench(const std::string& folder, std::string& error) {
  std::unique_ptr<Bench> bench = Bench::Load(folder, error);
  if (!bench) return nullptr;
  return std::make_unique<SimHost>(std::move(bench));
}

SimHost::SimHost(std::unique_ptr<Bench> bench, platform::Clock* wall) : bench_(std::move(bench)) {
  // Time passed between two runs: re-enumerations begun by the last run are over.
  std::uint64_t now = bench_->clockUs;
  for (const auto& codec : bench_->Codecs()) now = std::max(now, codec->AbsentUntilUs());
  clock_.AdvanceUs(now);
  if (bench_->realTime) clock_.PaceWith(wall ? *wall : platform::SystemClock());
  const std::string logPath = bench_->Folder() + "/" + kTransferLogName;
  if (std::FILE* probe = std::fopen(logPath.c_str(), "rb")) {
    std::fclose(probe);
    log_ = std::fopen(logPath.c_str(), "ab");
  }
}

SimHost::~SimHost() {
  if (log_) std::fclose(log_);
}

void SimHost::Log(const std::string& codec, std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                  std::uint16_t index, const std::uint8_t* data, std::uint16_t length, std::uint32_t error) {
  // One line per transfer, written at once: lines of several processes
  // appending to the same file never mix.
  char line[160];
  int n = std::snprintf(line, sizeof line, "%u %s %02X %02X %04X %04X %u %u", platform::CurrentProcessId(),
                        codec.c_str(), requestType, request, value, index, length, error);
  for (std::uint16_t i = 0; data && i < length && i < 8 && n > 0 && n < int(sizeof line) - 4; ++i)
    n += std::snprintf(line + n, sizeof line - std::size_t(n), "%s%02X", i ? "" : " ", data[i]);
  if (n > 0 && n < int(sizeof line) - 1) {
    line[n++] = '\n';
    std::fwrite(line, 1, std::size_t(n), log_);
    std::fflush(log_);
  }
}

void SimHost::SetHotplugCallback(std::function<void(bool, std::uint32_t)> cb) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  callback_ = std::move(cb);
}

void SimHost::Notify(const std::vector<Event>& events) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  if (!callback_) return;
  for (const Event& e : events) callback_(e.arrived, e.instance);
}

Codec* SimHost::Current(const std::string& name) { return MovedUpTo(name, bench_->Reload(name)); }

Codec* SimHost::Seen(const std::string& name) { return MovedUpTo(name, bench_->Look(name)); }

Codec* SimHost::MovedUpTo(const std::string& name, Codec* codec) {
  const std::uint64_t at = bench_->TimeOf(name);
  if (codec && at > clock_.NowUs()) clock_.MoveUpToUs(at);
  return codec;
}

void SimHost::Refresh(std::vector<Event>& events) {
  std::set<std::uint32_t> before;
  for (const auto& codec : bench_->Codecs()) {
    if (codec->DeviceInstance()) before.insert({codec->DeviceInstance(), codec->FunctionInstance()});
  }
  std::string error;
  if (!bench_->Update(error)) std::cerr << "tessaload-sim: " << error << "\n";
  std::vector<std::string> names;
  for (const auto& codec : bench_->Codecs()) names.push_back(codec->Config().name);
  // The codecs as last stored, looked at without their locks: a codec busy
  // in another process's command (a chip erase holds its lock for seconds)
  // keeps no other process waiting. Only a codec that came or went is
  // changed, under its lock, and only when no other process holds that lock
  // now: the holder, or this process's next look, makes the change then.
  std::vector<std::string> arrived, left;
  for (const std::string& name : names) {
    Codec* codec = Seen(name);
    if (codec == nullptr) continue;
    const bool present = codec->PresentAt(clock_.NowUs());
    if (present && codec->DeviceInstance() == 0) arrived.push_back(name);
    if (!present && codec->DeviceInstance() != 0) left.push_back(name);
  }
  for (const std::string& name : left) {
    CodecLock lock(*bench_, name, false);
    Codec* codec = lock.Held() ? Current(name) : nullptr;
    if (codec && !codec->PresentAt(clock_.NowUs()) && codec->DeviceInstance() != 0) {
      codec->SetInstances(0, 0);
      bench_->Commit(name, clock_.NowUs());
    }
  }
  // Instances are given out under the bench's lock, unique across the
  // processes on the bench; no codec's lock is held meanwhile.
  for (const std::string& name : arrived) {
    const std::uint32_t first = bench_->AllocateInstances(2);
    CodecLock lock(*bench_, name, false);
    Codec* codec = first && lock.Held() ? Current(name) : nullptr;
    if (codec && codec->PresentAt(clock_.NowUs()) && codec->DeviceInstance() == 0) {
      codec->SetInstances(first, first + 1);
      bench_->Commit(name, clock_.NowUs());
    }
  }
  std::set<std::uint32_t> after;
  for (const auto& codec : bench_->Codecs()) {
    if (codec->DeviceInstance()) after.insert({codec->DeviceInstance(), codec->FunctionInstance()});
  }
  for (std::uint32_t id : before) {
    if (!after.count(id)) events.push_back({false, id});
  }
  for (std::uint32_t id : after) {
    if (!before.count(id)) events.push_back({true, id});
  }
}

std::uint32_t SimHost::HubInstance(const PortPath& path) { return bench_->HubInstance(PortPathText(path)); }

SimHost::Tree SimHost::BuildTree() {
  Tree tree;
  std::set<HubPlace> places;
  for (int bus = 1; bus <= kBusCount; ++bus) places.insert({bus, {}});
  for (const auto& codec : bench_->Codecs()) {
    const PortPath& port = codec->Config().port;
    for (std::size_t n = 1; n < port.ports.size(); ++n) {
      places.insert({port.bus, std::vector<int>(port.ports.begin(), port.ports.begin() + n)});
    }
  }
  auto instanceOf = [&](int bus, const std::vector<int>& chain) -> std::uint32_t {
    return chain.empty() ? static_cast<std::uint32_t>(bus) : HubInstance({bus, chain});
  };
  for (const HubPlace& place : places) {  // parents before children
    platform::UsbNode node;
    node.instance = instanceOf(place.bus, place.chain);
    node.isHub = true;
    node.setupClass = "USB";
    const bool usb3 = place.bus == 2;
    if (place.chain.empty()) {
      node.instancePath = platform::RootHubInstancePath(place.bus, usb3);
      node.locationPath = platform::RootHubLocationPath(place.bus);
      node.description = usb3 ? "USB Root Hub (USB 3.0)" : "USB Root Hub";
    } else {
      const std::vector<int> parentChain(place.chain.begin(), place.chain.end() - 1);
      node.parent = instanceOf(place.bus, parentChain);
      node.address = static_cast<std::uint32_t>(place.chain.back());
      node.instancePath = platform::DeviceInstancePath(platform::kVendorId, kHubPid, "", place.bus, place.chain);
      node.locationPath = platform::ChildLocationPath(tree.Node(node.parent)->locationPath, place.chain.back());
      node.description = "Generic USB Hub";
      node.usbDeviceInterface = true;
    }
    node.driverKey = "{sim-usb}\\" + std::to_string(node.instance);
    tree.hubs.push_back({place, node.instance});
    tree.nodes.push_back(node);
  }
  for (const auto& codec : bench_->Codecs()) {
    if (codec->DeviceInstance() == 0) continue;
    const CodecConfig& config = codec->Config();
    const DeviceIdentity& id = config.identity;
    const std::vector<int>& ports = config.port.ports;
    platform::UsbNode device;
    device.instance = codec->DeviceInstance();
    device.parent = instanceOf(config.port.bus, std::vector<int>(ports.begin(), ports.end() - 1));
    device.address = static_cast<std::uint32_t>(ports.back());
    device.instancePath = platform::DeviceInstancePath(id.vid, id.pid, id.serial, config.port.bus, ports);
    device.locationPath = platform::ChildLocationPath(tree.Node(device.parent)->locationPath, ports.back());
    device.setupClass = "USB";
    device.description = "USB Composite Device";
    device.driverKey = "{sim-usb}\\" + std::to_string(device.instance);
    device.usbDeviceInterface = true;

    platform::UsbNode function;
    function.instance = codec->FunctionInstance();
    function.parent = device.instance;
    function.address = device.address;
    function.instancePath = platform::FunctionInstancePath(id.vid, id.pid, kAudioControlInterface, config.port.bus, ports);
    function.locationPath = platform::FunctionLocationPath(device.locationPath, kAudioControlInterface);
    function.setupClass = "Media";
    function.friendlyName = id.product;
    function.description = id.product;
    function.driverKey = "{sim-media}\\" + std::to_string(function.instance);
    function.audioInterface = true;
    device.children.push_back(function.instance);
    tree.nodes.push_back(device);
    tree.nodes.push_back(function);
  }
  for (auto& node : tree.nodes) {
    if (node.parent == 0) continue;
    platform::UsbNode* parent = tree.Node(node.parent);
    if (parent && std::find(parent->children.begin(), parent->children.end(), node.instance) == parent->children.end()) {
      parent->children.push_back(node.instance);
    }
  }
  return tree;
}

std::vector<platform::UsbNode> SimHost::Nodes() {
  std::vector<Event> events;
  std::vector<platform::UsbNode> nodes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh(events);
    nodes = BuildTree().nodes;
  }
  Notify(events);
  return nodes;
}

std::unique_ptr<platform::UsbDevice> SimHost::Open(std::uint32_t instance, std::uint32_t& error) {
  std::vector<Event> events;
  std::unique_ptr<platform::UsbDevice> device;
  error = platform::kErrorFileNotFound;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh(events);
    for (const auto& codec : bench_->Codecs()) {
      if (instance != 0 && (codec->DeviceInstance() == instance || codec->FunctionInstance() == instance)) {
        device = std::make_unique<SimDevice>(*this, codec->Config().name, codec->DeviceInstance());
        error = platform::kErrorSuccess;
      }
    }
    if (!device && (instance == 1 || instance == 2 || BuildTree().Hub(instance))) error = platform::kErrorAccessDenied;
  }
  Notify(events);
  return device;
}

bool SimHost::HubPorts(std::uint32_t hubInstance, std::vector<platform::UsbPortInfo>& ports) {
  std::vector<Event> events;
  bool found = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh(events);
    Tree tree = BuildTree();
    const HubPlace* hub = tree.Hub(hubInstance);
    if (hub) {
      found = true;
      ports.clear();
      const int count = hub->chain.empty() ? kRootHubPorts : kExternalHubPorts;
      const std::uint8_t hubSpeed = hub->bus == 2 ? 3 : 2;
      for (int p = 1; p <= count; ++p) {
        platform::UsbPortInfo info;
        info.port = static_cast<std::uint32_t>(p);
        std::vector<int> chain = hub->chain;
        chain.push_back(p);
        for (const auto& [place, id] : tree.hubs) {
          if (place.bus == hub->bus && place.chain == chain) {
            info.connected = info.isHub = true;
            info.speed = hubSpeed;
            info.instance = id;
            const auto descriptor = HubDeviceDescriptor();
            std::copy(descriptor.begin(), descriptor.end(), info.deviceDescriptor);
          }
        }
        for (const auto& codec : bench_->Codecs()) {
          const PortPath& at = codec->Config().port;
          if (codec->DeviceInstance() == 0 || at.bus != hub->bus || at.ports != chain) continue;
          info.connected = true;
          info.speed = codec->Config().identity.highSpeed ? 2 : 1;
          info.instance = codec->DeviceInstance();
          const auto descriptor = DeviceDescriptor(codec->Config().identity);
          std::copy(descriptor.begin(), descriptor.end(), info.deviceDescriptor);
        }
        ports.push_back(info);
      }
    }
  }
  Notify(events);
  return found;
}

bool SimHost::PortStringDescriptor(std::uint32_t hubInstance, std::uint32_t port, std::uint8_t index,
                                   std::uint16_t /*language: the codecs speak one*/, std::vector<std::uint8_t>& out) {
  std::vector<platform::UsbPortInfo> ports;
  if (!HubPorts(hubInstance, ports) || port == 0 || port > ports.size() || !ports[port - 1].connected ||
      ports[port - 1].isHub) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& codec : bench_->Codecs()) {
    if (codec->DeviceInstance() != ports[port - 1].instance) continue;
    out = StringDescriptor(codec->Config().identity, index);
    return !out.empty();
  }
  return false;
}

std::uint32_t SimHost::Transfer(const std::string& name, std::uint32_t instance, std::uint8_t requestType,
                                std::uint8_t request, std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                                std::uint16_t length, std::uint32_t timeoutMs, std::uint32_t& transferred) {
  transferred = 0;
  std::vector<Event> events;
  std::uint32_t error = platform::kErrorDeviceNotConnected;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    CodecLock codecLock(*bench_, name);
    Codec* codec = codecLock.Held() ? Current(name) : nullptr;
    if (!codecLock.Held()) {
      std::cerr << "tessaload-sim: codec " << name << " stays busy in another program\n";
      error = platform::kErrorTimeout;
    } else if (codec && codec->PresentAt(clock_.NowUs()) && codec->DeviceInstance() == instance) {
      const std::uint32_t function = codec->FunctionInstance();
      const ControlOutcome outcome = codec->Control({requestType, request, value, index, length}, data, timeoutMs, clock_);
      error = outcome.error;
      transferred = outcome.transferred;
      if (!codec->PresentAt(clock_.NowUs()) || codec->DeviceInstance() != instance) {
        codec->SetInstances(0, 0);
        events.push_back({false, instance});
        events.push_back({false, function});
      }
      if (!bench_->Commit(name, clock_.NowUs())) std::cerr << "tessaload-sim: cannot store codec " << name << "\n";
    }
    // Requests to a codec that is gone are logged too: they reached the bus.
    if (log_) Log(name, requestType, request, value, index, data, length, error);
  }
  Notify(events);
  return error;
}

}  // namespace sim
