#pragma once
// A flow host that keeps the USB location the flows remember between jobs,
// as the window and the command line do.
#include <cstdint>

#include "flow/flow_host.h"

class RememberingHost : public FlowHost {
 public:
  void RememberedLocation(std::uint32_t& port, std::uint32_t& parent) override {
    port = port_;
    parent = parent_;
  }
  void SetRememberedLocation(std::uint32_t port, std::uint32_t parent) override {
    port_ = port;
    parent_ = parent;
  }
  std::uint32_t port_ = 0, parent_ = 0;
};
