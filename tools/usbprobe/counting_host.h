#pragma once
// A USB host that passes everything to another one and measures every
// control transfer on the way: how many, and how long each took, by kind of
// request (standard, class to the extension unit, vendor).
#include <array>
#include <cstdint>
#include <memory>

#include "platform/usb_host.h"

namespace probe {

enum class RequestKind { kStandard = 0, kClass = 1, kVendor = 2 };

struct TransferStats {
  std::uint64_t count = 0;
  std::uint64_t totalUs = 0;
  std::uint64_t maxUs = 0;
  double MeanMs() const { return count ? double(totalUs) / double(count) / 1000.0 : 0.0; }
};

class CountingHost final : public platform::UsbHost {
 public:
  explicit CountingHost(std::unique_ptr<platform::UsbHost> inner) : inner_(std::move(inner)) {}

  std::vector<platform::UsbNode> Nodes() override { return inner_->Nodes(); }
  std::unique_ptr<platform::UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override;
  bool HubPorts(std::uint32_t hub, std::vector<platform::UsbPortInfo>& ports) override {
    return inner_->HubPorts(hub, ports);
  }
  bool PortStringDescriptor(std::uint32_t hub, std::uint32_t port, std::uint8_t index, std::uint16_t language,
                            std::vector<std::uint8_t>& out) override {
    return inner_->PortStringDescriptor(hub, port, index, language, out);
  }
  void SetHotplugCallback(std::function<void(bool, std::uint32_t)> cb) override {
    inner_->SetHotplugCallback(std::move(cb));
  }
  platform::Clock& HostClock() override { return inner_->HostClock(); }
  void HoldListing() override { inner_->HoldListing(); }
  void ReleaseListing() override { inner_->ReleaseListing(); }

  const TransferStats& Stats(RequestKind kind) const { return stats_[int(kind)]; }
  // Starts a new maximum for one kind.
  void ResetMax(RequestKind kind) { stats_[int(kind)].maxUs = 0; }
  void Record(std::uint8_t requestType, std::uint64_t us);

 private:
  std::unique_ptr<platform::UsbHost> inner_;
  std::array<TransferStats, 3> stats_{};
};

}  // namespace probe
