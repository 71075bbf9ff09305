#pragma once
// A scripted USB host for the device layer's tests: a device tree built node
// by node, and devices whose control transfers are answered by a function.
// Every transfer is logged.
#include <functional>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/usb_host.h"

struct FakeTransfer {
  std::uint32_t instance;  // the node that was opened
  std::uint8_t requestType, request;
  std::uint16_t value, index, length;
  std::uint32_t timeoutMs;
  std::vector<std::uint8_t> data;  // host-to-device data
};

class FakeUsbHost final : public platform::UsbHost {
 public:
  // Answers one transfer: fills `data` for device-to-host requests, sets
  // `transferred`, returns an error number.
  using Responder = std::function<std::uint32_t(const FakeTransfer&, std::uint8_t* data, std::uint32_t& transferred)>;

  // Adds a node below `parent` (0: a root) and returns its instance.
  std::uint32_t Add(platform::UsbNode node, std::uint32_t parent = 0) {
    node.instance = nextInstance_++;
    node.parent = parent;
    for (auto& n : nodes_)
      if (n.instance == parent) n.children.push_back(node.instance);
    nodes_.push_back(node);
    return node.instance;
  }
  platform::UsbNode* Find(std::uint32_t instance) {
    for (auto& n : nodes_)
      if (n.instance == instance) return &n;
    return nullptr;
  }

  // Transfers on a device opened through `instance` go to `answer`.
  void Answer(std::uint32_t instance, Responder answer) { answers_[instance] = std::move(answer); }
  void FailOpen(std::uint32_t instance, std::uint32_t error) { openErrors_[instance] = error; }
  void SetPorts(std::uint32_t hub, std::vector<platform::UsbPortInfo> ports) { ports_[hub] = std::move(ports); }
  void SetPortString(std::uint32_t hub, std::uint32_t port, std::uint8_t index, std::vector<std::uint8_t> bytes) {
    strings_[{hub, port, index}] = std::move(bytes);
  }

  const std::vector<FakeTransfer>& Log() const { return log_; }
  int OpenDevices() const { return openDevices_; }
  platform::VirtualClock& Clock() { return clock_; }

  std::vector<platform::UsbNode> Nodes() override { return nodes_; }
  std::unique_ptr<platform::UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override;
  bool HubPorts(std::uint32_t hub, std::vector<platform::UsbPortInfo>& ports) override {
    auto it = ports_.find(hub);
    if (it == ports_.end()) return false;
    ports = it->second;
    return true;
  }
  bool PortStringDescriptor(std::uint32_t hub, std::uint32_t port, std::uint8_t index, std::uint16_t,
                            std::vector<std::uint8_t>& out) override {
    auto it = strings_.find({hub, port, index});
    if (it == strings_.end()) return false;
    out = it->second;
    return true;
  }
  void SetHotplugCallback(std::function<void(bool, std::uint32_t)>) override {}
  platform::Clock& HostClock() override { return clock_; }

 private:
  friend class FakeUsbDevice;
  std::vector<platform::UsbNode> nodes_;
  std::uint32_t nextInstance_ = 0x100;
  std::map<std::uint32_t, Responder> answers_;
  std::map<std::uint32_t, std::uint32_t> openErrors_;
  std::map<std::uint32_t, std::vector<platform::UsbPortInfo>> ports_;
  std::map<std::tuple<std::uint32_t, std::uint32_t, std::uint8_t>, std::vector<std::uint8_t>> strings_;
  std::vector<FakeTransfer> log_;
  int openDevices_ = 0;
  platform::VirtualClock clock_;
};

class FakeUsbDevice final : public platform::UsbDevice {
 public:
  FakeUsbDevice(FakeUsbHost& host, std::uint32_t instance) : host_(host), instance_(instance) {
    ++host_.openDevices_;
  }
  ~FakeUsbDevice() override { --host_.openDevices_; }
  std::uint32_t ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs,
                                std::uint32_t& transferred) override {
    FakeTransfer t{instance_, requestType, request, value, index, length, timeoutMs, {}};
    if (!(requestType & 0x80) && data) t.data.assign(data, data + length);
    host_.log_.push_back(t);
    transferred = 0;
    auto it = host_.answers_.find(instance_);
    if (it == host_.answers_.end()) return platform::kErrorGenFailure;
    return it->second(t, data, transferred);
  }

 private:
  FakeUsbHost& host_;
  std::uint32_t instance_;
};

inline std::unique_ptr<platform::UsbDevice> FakeUsbHost::Open(std::uint32_t instance, std::uint32_t& error) {
  if (auto it = openErrors_.find(instance); it != openErrors_.end()) {
    error = it->second;
    return nullptr;
  }
  if (!Find(instance)) {
    error = platform::kErrorDeviceNotConnected;
    return nullptr;
  }
  error = platform::kErrorSuccess;
  return std::make_unique<FakeUsbDevice>(*this, instance);
}
