#pragma once
// The reset that makes the chip restart in another mode, and the search for
// the re-enumerated device at the same USB location. Every wait goes through
// the USB host's clock and counts against the search limit.
#include <cstdint>

#include "device/device_record.h"

namespace platform {
class Event;
}

struct ResetRequest {
  std::uint16_t value = 0;
  int kind = 9;  // 7 update reset, 9 ROM reset, 10 forced ROM reset
  // Channel facts of the device; taken as they are with useKnownFacts,
  // otherwise checked anew on the device.
  std::uint32_t unitId = 0;
  bool oneByteRead = false;
  bool vendorChannel = false;
  bool useKnownFacts = false;
  bool forceExtensionUnit = false;
  std::int32_t limitMs = 15000;  // 0 or less: no limit
  platform::Event* cancel = nullptr;
  std::uint32_t settleMs = 5000;
};

// 0 when the device was found again (`record` then describes it); 87 for an
// invalid record; 1460 when the limit ran out; otherwise the error of the
// reset request.
std::uint32_t ResetAndFind(DeviceAccess& access, DeviceRecord& record, const ResetRequest& request);
