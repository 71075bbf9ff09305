#include "tools/usbprobe/counting_host.h"

#include <algorithm>

#include "platform/clock.h"

namespace probe {

namespace {

class CountingDevice final : public platform::UsbDevice {
 public:
  CountingDevice(std::unique_ptr<platform::UsbDevice> inner, CountingHost& host, platform::Clock& clock)
      : inner_(std::move(inner)), host_(host), clock_(clock) {}
  std::uint32_t ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                                std::uint32_t timeoutMs, std::uint32_t& transferred) override {
    const std::uint64_t start = clock_.NowUs();
    const std::uint32_t error =
        inner_->ControlTransfer(requestType, request, value, index, data, length, timeoutMs, transferred);
    host_.Record(requestType, clock_.NowUs() - start);
    return error;
  }

 private:
  std::unique_ptr<platform::UsbDevice> inner_;
  CountingHost& host_;
  platform::Clock& clock_;
};

}  // namespace

std::unique_ptr<platform::UsbDevice> CountingHost::Open(std::uint32_t instance, std::uint32_t& error) {
  std::unique_ptr<platform::UsbDevice> device = inner_->Open(instance, error);
  if (!device) return nullptr;
  return std::make_unique<CountingDevice>(std::move(device), *this, inner_->HostClock());
}

void CountingHost::Record(std::uint8_t requestType, std::uint64_t us) {
  const int kind = (requestType >> 5) & 3;
  if (kind > 2) return;
  TransferStats& s = stats_[kind];
  ++s.count;
  s.totalUs += us;
  s.maxUs = std::max(s.maxUs, us);
}

}  // namespace probe
