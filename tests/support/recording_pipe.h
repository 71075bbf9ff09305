#pragma once
// A ControlPipe that records every request and answers reads from a script:
// the bytes of `reads` are handed out in order, and `failAt` makes the n-th
// request (0-based) fail with `failError`.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <vector>

#include "device/control_pipe.h"

struct RecordedRequest {
  bool vendor;
  std::uint8_t requestType, request;
  std::uint16_t value, index, length;
  std::uint32_t timeoutMs;
  std::vector<std::uint8_t> out;  // bytes sent (host to device)
};

class RecordingPipe : public ControlPipe {
 public:
  std::uint32_t ClassRequest(std::uint8_t type, std::uint8_t request, std::uint8_t cs, std::uint8_t entity,
                             std::uint8_t iface, std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs,
                             std::uint32_t* transferred) override {
    return Handle(false, type, request, std::uint16_t(cs << 8), std::uint16_t(entity << 8 | iface), data, length,
                  timeoutMs, transferred);
  }
  std::uint32_t VendorRequest(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                              std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs,
                              std::uint32_t* transferred) override {
    return Handle(true, type, request, value, index, data, length, timeoutMs, transferred);
  }

  // Requests of one kind, for short assertions.
  std::vector<RecordedRequest> Commands() const {  // SET_CUR on the command control
    std::vector<RecordedRequest> out;
    for (const auto& r : log)
      if (!r.vendor && r.request == 0x01 && (r.value >> 8) == 10) out.push_back(r);
    return out;
  }

  std::vector<RecordedRequest> log;
  std::deque<std::uint8_t> reads;
  int failAt = -1;
  std::uint32_t failError = 31;

 private:
  std::uint32_t Handle(bool vendor, std::uint8_t type, std::uint8_t request, std::uint16_t value,
                       std::uint16_t index, std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs,
                       std::uint32_t* transferred) {
    RecordedRequest r{vendor, type, request, value, index, length, timeoutMs, {}};
    if (!(type & 0x80) && data) r.out.assign(data, data + length);
    const bool fail = int(log.size()) == failAt;
    log.push_back(r);
    if (fail) return failError;
    if (type & 0x80) {
      for (std::uint16_t i = 0; i < length; ++i) {
        data[i] = reads.empty() ? 0 : reads.front();
        if (!reads.empty()) reads.pop_front();
      }
    }
    if (transferred) *transferred = length;
    return 0;
  }
};
