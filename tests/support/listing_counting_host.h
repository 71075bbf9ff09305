#pragma once
// A USB host over another one that counts its listings of the bus and keeps
// held listings as a hardware backend does (UsbHost::HoldListing): within a
// hold, Nodes answers the nodes as the first call listed them and Open opens
// only what that listing showed; without a hold every call is a listing.
#include <memory>
#include <vector>

#include "platform/error_codes.h"
#include "platform/held_listing.h"
#include "platform/usb_host.h"

class ListingCountingHost final : public platform::UsbHost {
 public:
  explicit ListingCountingHost(platform::UsbHost& inner) : inner_(inner) {}

  std::vector<platform::UsbNode> Nodes() override { return *List(); }
  std::unique_ptr<platform::UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override {
    const auto nodes = List();
    bool listed = false;
    for (const platform::UsbNode& n : *nodes) listed = listed || n.instance == instance;
    if (!listed) {
      error = platform::kErrorDeviceNotConnected;
      return nullptr;
    }
    return inner_.Open(instance, error);
  }
  bool HubPorts(std::uint32_t hub, std::vector<platform::UsbPortInfo>& ports) override {
    List();
    return inner_.HubPorts(hub, ports);
  }
  bool PortStringDescriptor(std::uint32_t hub, std::uint32_t port, std::uint8_t index, std::uint16_t language,
                            std::vector<std::uint8_t>& out) override {
    List();
    return inner_.PortStringDescriptor(hub, port, index, language, out);
  }
  void SetHotplugCallback(std::function<void(bool, std::uint32_t)> cb) override {
    inner_.SetHotplugCallback(std::move(cb));
  }
  platform::Clock& HostClock() override { return inner_.HostClock(); }
  void HoldListing() override { held_.Hold(); }
  void ReleaseListing() override { held_.Release(); }

  int listings = 0;

 private:
  std::shared_ptr<std::vector<platform::UsbNode>> List() {
    return held_.Get([this] {
      ++listings;
      return std::make_shared<std::vector<platform::UsbNode>>(inner_.Nodes());
    });
  }

  platform::UsbHost& inner_;
  platform::HeldListings<std::vector<platform::UsbNode>> held_;
};
