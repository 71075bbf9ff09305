#include "device/reset_and_find.h"

#include <algorithm>

#include "app/trace.h"
#include "device/codec_locks.h"
#include "device/device_enumeration.h"
#include "device/device_tree.h"
#include "device/ext_unit_direct.h"
#include "device/proxy_control_pipe.h"
#include "device/vendor_request_direct.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/named_mutex.h"
#include "platform/usb_paths.h"

using namespace platform;

namespace {

constexpr std::uint32_t kNotReadyRetryMs = 300;  // a reset refused as "not ready" is sent again after this
constexpr std::uint32_t kAnswerRetryMs = 300;  // a stalled reset: the chip is busy with a command
// The settle wait, the search and the wait for the first answer look again
// this often, so a codec is found as soon as it is back.
constexpr std::uint32_t kBusPollMs = 10;
constexpr std::uint32_t kSlowChipExtraMs = 2000;
constexpr int kStalledResetAttempts = 3;
constexpr std::uint16_t kChipIdAddress = 0xFE21;
constexpr std::uint16_t kResetArmAddress = 0xFF92;
constexpr std::uint32_t kChannelLockWaitMs = 10000;

// The codec's channel lock, held from the first command of a reset until the
// codec answers again: no other program's command reaches the codec while it
// is armed, resetting or just back. Without it the reset goes ahead; its
// extension-unit commands then wait for the lock on their own.
class ResetLock {
 public:
  ResetLock(const std::string& location, Clock& clock)
      : mutex_(CodecLockName(kChannelLockName, location)), held_(mutex_.Lock(kChannelLockWaitMs, clock)) {}
  ~ResetLock() {
    if (held_) mutex_.Unlock();
  }
  ResetLock(const ResetLock&) = delete;
  ResetLock& operator=(const ResetLock&) = delete;

 private:
  NamedMutex mutex_;
  bool held_;
};

// The search limit: the time since the reset was first sent, less the
// settle wait (which "Wait Time" limits on its own).
class Budget {
 public:
  Budget(Clock& clock, std::int32_t limitMs) : clock_(clock), limit_(limitMs), start_(clock.NowMs()) {}
  // Waits `ms`; false once the limit is exceeded.
  bool Wait(std::uint32_t ms) {
    clock_.SleepMs(ms);
    return !Exceeded();
  }
  void Exclude(std::uint64_t ms) { excluded_ += ms; }
  bool Exceeded() const { return limit_ > 0 && clock_.NowMs() - start_ - excluded_ > std::uint64_t(limit_); }

 private:
  Clock& clock_;
  std::int32_t limit_;
  std::uint64_t start_;
  std::uint64_t excluded_ = 0;
};

// The pause before the next look at the bus. A listing is a whole
// enumeration: on a busy host (several jobs at once, a slow machine) one can
// take longer than the poll interval, and a loop that listed again at once
// would keep a CPU busy, taking it from the kernel and the jobs that bring
// the codecs back. The pause is therefore at least as long as the last
// listing took: a waiting job spends at most half of its time listing.
class BusPoll {
 public:
  explicit BusPoll(Clock& clock) : clock_(clock) {}
  void Begin() { began_ = clock_.NowMs(); }
  void End() { last_ = clock_.NowMs() - began_; }
  std::uint32_t PauseMs() const { return std::uint32_t(std::max<std::uint64_t>(kBusPollMs, std::min<std::uint64_t>(last_, 1000))); }

 private:
  Clock& clock_;
  std::uint64_t began_ = 0, last_ = 0;
};

bool NodePresent(UsbHost& host, std::uint32_t instance) {
  for (const UsbNode& node : host.Nodes()) {
    if (node.instance == instance) return true;
  }
  return false;
}

// The settle wait: until the codec's old node has left the bus (or was
// replaced by a new one before it was looked at), `settleMs` at most, or
// until `cancel` is signalled. Returns the time waited.
std::uint64_t WaitUntilGone(UsbHost& host, std::uint32_t instance, std::uint32_t settleMs, Event* cancel) {
  Clock& clock = host.HostClock();
  const std::uint64_t start = clock.NowMs(), end = start + settleMs;
  if (cancel) cancel->Reset();
  BusPoll poll(clock);
  for (;;) {
    poll.Begin();
    const bool present = NodePresent(host, instance);
    poll.End();
    if (!present) break;
    const std::uint64_t now = clock.NowMs();
    if (now >= end) break;
    const auto step = static_cast<std::uint32_t>(std::min<std::uint64_t>(poll.PauseMs(), end - now));
    if (cancel) {
      if (clock.WaitEvent(*cancel, step)) break;
    } else {
      clock.SleepMs(step);
    }
  }
  return clock.NowMs() - start;
}

// The same USB location: the same port path when the paths have one (so a
// codec behind a hub on that port is another place), else one path
// containing the other.
bool SameLocation(const std::string& a, const std::string& b) {
  const std::string portA = PortPathOfLocation(a), portB = PortPathOfLocation(b);
  if (!portA.empty() || !portB.empty()) return portA == portB;
  return ContainsNoCase(a, b) || ContainsNoCase(b, a);
}

}  // namespace

std::uint32_t ResetAndFind(DeviceAccess& access, DeviceRecord& record, const ResetRequest& request) {
  TraceScope scope("ResetAndFind", kTraceFlow);
  if (record.tag != kDeviceRecordTag || record.token == 0 || record.interfaceHandle == DeviceFiles::kInvalidHandle)
    return kErrorInvalidParameter;
  Clock& clock = access.host.HostClock();
  const ResetLock lock(record.location, clock);
  const std::uint64_t startMs = clock.NowMs();

  // Channel facts.
  int kind = request.kind;
  std::uint32_t unitId = request.unitId;
  bool oneByte = request.oneByteRead;
  bool vendor = request.vendorChannel;
  const bool forced = kind == 10;
  if (forced) {
    vendor = true;
    kind = 9;
  } else if (!request.useKnownFacts) {
    if (!CheckDeviceChannels(access, record, unitId, oneByte, vendor)) return kErrorGenFailure;
  }
  const std::uint16_t readValue = request.value == 2 ? 1 : request.value;
  if (request.forceExtensionUnit && unitId > 0) oneByte = vendor = false;
  std::uint16_t sent = request.value;
  if (request.value != 2 && !oneByte && !vendor && request.value <= 1) sent = request.value == 0 ? 1 : 0;

  ProxyControlPipe oldPipe(access.channel, record.token);
  const ExtUnitAddress oldUnit{oldPipe, std::uint8_t(unitId), std::uint8_t(record.interfaceNumber), clock,
                               record.location};

  // Arm the chip for the reset; two chips need longer to come back.
  bool slowChip = false;
  if (!forced) {
    std::uint8_t id[2] = {};
    const std::uint8_t arm = 0x01;
    if (vendor) {
      if (VendorMemoryRead(oldPipe, kChipIdAddress, 2, id) == 0) slowChip = true;
      VendorMemoryWrite(oldPipe, kResetArmAddress, 1, &arm);
    } else {
      if (ExtUnitMemoryRead(oldUnit, kChipIdAddress, 2, id) == 1) slowChip = true;
      ExtUnitMemoryWrite(oldUnit, kResetArmAddress, 1, &arm);
    }
    const std::uint16_t code = std::uint16_t((id[1] & 0xF0) << 8 | id[0]);
    slowChip = slowChip && (code == 0xB013 || code == 0xB014);
  }

  // Send the reset, again while the device is not ready, and again after a
  // stalled answer: a device that answered has not reset.
  Budget budget(clock, request.limitMs);
  int stalls = 0;
  for (;;) {
    std::uint32_t error;
    if (vendor)
      error = VendorReset(oldPipe, sent, kind);
    else if (oneByte)
      error = VendorIndexedReset(oldPipe, sent, std::uint16_t(kind));
    else
      error = ExtUnitReset(oldUnit, sent, kind) == 1 ? kErrorSuccess : ExtUnitLastError();
    if (error == kErrorSuccess) break;
    if (error == kErrorGenFailure && ++stalls < kStalledResetAttempts) {
      if (!budget.Wait(kAnswerRetryMs)) return kErrorTimeout;
      continue;
    }
    if (error != kErrorNotReady) {
      TraceLine(scope, "reset kind %d failed: %u\n", kind, error);
      return error;
    }
    if (!budget.Wait(kNotReadyRetryMs)) return kErrorTimeout;
  }

  // The old device is gone: release its handle and token.
  const std::uint32_t oldInstance = record.deviceInstance;
  if (record.interfaceHandle != DeviceFiles::kInvalidHandle) access.files.CloseDeviceFile(record.interfaceHandle);
  if (record.token != 0) ProxyCloseDevice(access.channel, record.token);
  record.interfaceHandle = DeviceFiles::kInvalidHandle;
  record.token = 0;

  const bool sameDevice = sent == 2 || sent == 5;
  if (!sameDevice) {
    const std::uint64_t settled = WaitUntilGone(access.host, oldInstance, request.settleMs, request.cancel);
    TraceLine(scope, "reset kind %d: left the bus after %llu ms\n", request.kind,
              static_cast<unsigned long long>(settled));
    budget.Exclude(settled);
    if (slowChip) {
      clock.SleepMs(kSlowChipExtraMs);  // these chips answer late after they are back
      budget.Exclude(kSlowChipExtraMs);
    }
  }
  if (record.kind == kKindUsb) record.kind = kKindMedia;

  // Search the device list for the device at the old location. Only an
  // entry at that location is opened: the other codecs on the bus, which may
  // come and go meanwhile, are never touched.
  DeviceRecord found;
  BusPoll poll(clock);
  while (record.kind == kKindMedia) {
    if (budget.Exceeded()) return kErrorTimeout;
    {
      // One pass lists the bus once: the list, the open and the port all
      // come from it. The next pass lists it anew, after the pause.
      const ListingScope listing(access.host);
      std::vector<DeviceListEntry> list;
      poll.Begin();
      EnumerateDevices(access, list);
      poll.End();
      const auto entry = std::find_if(list.begin(), list.end(), [&](const DeviceListEntry& e) {
        return SameLocation(e.location, record.location);
      });
      if (entry != list.end() && OpenDeviceRecord(access, found, entry->deviceInstance) == kErrorSuccess) {
        found.name = entry->name;
        std::uint32_t port = 0, parent = 0;
        const bool located = GetPortAndParent(access, found.deviceInstance, port, parent);
        // A node that is still the old one has not reset yet.
        if (sameDevice || (located && found.token != record.token && found.deviceInstance != oldInstance)) break;
        CloseDeviceRecord(access, found);
      }
    }
    if (!budget.Wait(poll.PauseMs())) return kErrorTimeout;
  }

  // Wait until the found device answers.
  ProxyControlPipe newPipe(access.channel, found.token);
  const ExtUnitAddress newUnit{newPipe, std::uint8_t(unitId), std::uint8_t(found.interfaceNumber), clock,
                               found.location};
  for (;;) {
    std::uint32_t error;
    if (!vendor && !oneByte) {
      std::uint8_t status[8];
      error = ExtUnitStatusRead(newUnit, 8, status) == 1 ? kErrorSuccess : ExtUnitLastError();
    } else {
      std::uint8_t byte = 0;
      error = VendorOneByteRead(newPipe, readValue, byte);
    }
    if (error != kErrorDeviceNotConnected) break;
    if (!budget.Wait(kBusPollMs)) {
      CloseDeviceRecord(access, found);
      return kErrorTimeout;
    }
  }

  CloseDeviceRecord(access, record);
  record = std::move(found);
  TraceLine(scope, "reset kind %d: found again after %llu ms\n", request.kind,
            static_cast<unsigned long long>(clock.NowMs() - startMs));
  return kErrorSuccess;
}
