#include "device/ext_unit_direct.h"

#include <algorithm>
#include <cstring>

#include "device/codec_locks.h"
#include "device/command_block.h"
#include "device/control_pipe.h"
#include "device/ext_unit.h"
#include "platform/error_codes.h"
#include "platform/named_mutex.h"

namespace {

constexpr std::uint32_t kLockWaitMs = 10000;
thread_local std::uint32_t lastError = 0;

// Holds the codec's direct-command lock when it could be had, and the codec's
// channel lock that every extension-unit command of every program goes
// under: a command and its data phases must never fall between another
// program's command and its data (as when one program opens the codec while
// another reads it). The direct lock comes first; nothing holding the channel
// lock waits for it.
class DirectLock {
 public:
  explicit DirectLock(const ExtUnitAddress& u)
      : directMutex_(CodecLockName(kDirectCommandLockName, u.location)),
        channelMutex_(CodecLockName(kChannelLockName, u.location)),
        direct_(directMutex_.Lock(kLockWaitMs, u.clock)),
        channel_(channelMutex_.Lock(kLockWaitMs, u.clock)) {
    if (!channel_) lastError = platform::kErrorTimeout;
  }
  ~DirectLock() {
    if (channel_) channelMutex_.Unlock();
    if (direct_) directMutex_.Unlock();
  }
  // False when the channel stayed busy: nothing may be sent.
  explicit operator bool() const { return channel_; }

 private:
  platform::NamedMutex directMutex_;
  platform::NamedMutex channelMutex_;
  bool direct_;
  bool channel_;
};

bool Request(const ExtUnitAddress& u, bool read, std::uint8_t request, std::uint8_t control, std::uint8_t* data,
             std::uint16_t length) {
  std::uint32_t transferred = 0;
  lastError = u.pipe.ClassRequest(read ? kGetCurType : kSetCurType, request, control, u.unitId, u.interfaceNumber,
                                  data, length, kExtUnitTimeoutMs, &transferred);
  return lastError == 0;
}

bool Send(const ExtUnitAddress& u, const CommandBlock& block) {
  std::uint8_t bytes[8];
  std::memcpy(bytes, block.bytes.data(), 8);
  return Request(u, false, kSetCur, kCommandControl, bytes, 8);
}

// Reads the status block and sends the clear command; the failure's error
// stays the one to report.
int Recover(const ExtUnitAddress& u) {
  const std::uint32_t error = lastError;
  if (error == platform::kErrorDeviceNotConnected) return 0;
  std::uint8_t status[8] = {};
  Request(u, true, kGetCur, kCommandControl, status, 8);
  Send(u, cmd::kClear);
  lastError = error;
  return 0;
}

}  // namespace

std::uint32_t ExtUnitLastError() { return lastError; }

int ExtUnitSignatureCheck(const ExtUnitAddress& u) {
  DirectLock lock(u);
  if (!lock) return 0;
  std::uint8_t unit[8] = {};
  if (!Send(u, cmd::kSignature) || !Request(u, true, kGetCur, kDataControl, unit, 8)) return Recover(u);
  return std::memcmp(unit, kVendorSignature, 8) == 0 ? 1 : 0;
}

int ExtUnitStatusRead(const ExtUnitAddress& u, std::uint32_t count, std::uint8_t* out) {
  DirectLock lock(u);
  if (!lock) return 0;
  for (std::uint32_t w = 0; w * 8 < count; ++w) {
    CommandBlock block = cmd::kDevStatus;
    block.SetLow(std::uint16_t(w)).SetLength(8);
    std::uint8_t unit[8] = {};
    if (!Send(u, block) || !Request(u, true, kGetCur, kDataControl, unit, 8)) return Recover(u);
    std::memcpy(out + w * 8, unit, std::min<std::uint32_t>(8, count - w * 8));
  }
  return 1;
}

int ExtUnitMemoryRead(const ExtUnitAddress& u, std::uint16_t address, std::uint16_t length, std::uint8_t* out) {
  DirectLock lock(u);
  if (!lock) return 0;
  CommandBlock block = cmd::kReadMem;
  if (!Send(u, block.SetLow(address).SetLength(length))) return Recover(u);
  for (std::uint32_t done = 0; done < length; done += 8) {
    const std::uint16_t n = std::uint16_t(std::min<std::uint32_t>(8, length - done));
    if (!Request(u, true, kGetCur, kDataControl, out + done, n)) return Recover(u);
  }
  return 1;
}

int ExtUnitMemoryWrite(const ExtUnitAddress& u, std::uint16_t address, std::uint16_t length,
                       const std::uint8_t* data) {
  DirectLock lock(u);
  if (!lock) return 0;
  CommandBlock block = cmd::kWriteMem;
  if (!Send(u, block.SetLow(address).SetLength(length))) return Recover(u);
  for (std::uint32_t done = 0; done < length; done += 8) {
    const std::uint16_t n = std::uint16_t(std::min<std::uint32_t>(8, length - done));
    std::uint8_t unit[8] = {};
    std::memcpy(unit, data + done, n);
    if (!Request(u, false, kSetCur, kDataControl, unit, n)) return Recover(u);
  }
  return 1;
}

int ExtUnitReset(const ExtUnitAddress& u, std::uint16_t value, int kind) {
  CommandBlock block;
  if (kind == 7 || kind == 8)
    block = CommandBlock::Make(0x00, std::uint8_t(kind), 0, std::uint8_t(value));
  else if (kind == 9)
    block = cmd::kResetToRom;
  else
    return 0;
  DirectLock lock(u);
  if (!lock) return 0;
  if (!Send(u, block)) return Recover(u);
  return 1;
}
