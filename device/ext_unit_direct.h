#pragma once
// Extension-unit commands sent without a channel object, while a device is
// being opened or reset. They serialise on the codec's direct-command lock
// (waiting up to 10 s, and carrying on without it when the wait runs out)
// and, like the channel objects, on the codec's channel lock (10 s; a channel
// that stays busy fails with ERROR_TIMEOUT before anything is sent). The locks
// are the codec's own, by its location (device/codec_locks.h). They move data in 8-byte units, and return 1 on
// success, 0 on failure; after a failed request they read the status block
// and send the clear command.
#include <cstdint>
#include <string>

class ControlPipe;
namespace platform {
class Clock;
}

struct ExtUnitAddress {
  ControlPipe& pipe;
  std::uint8_t unitId;
  std::uint8_t interfaceNumber;
  platform::Clock& clock;
  std::string location = {};  // the codec's location path: names its locks
};

int ExtUnitSignatureCheck(const ExtUnitAddress& unit);
int ExtUnitStatusRead(const ExtUnitAddress& unit, std::uint32_t count, std::uint8_t* out);
int ExtUnitMemoryRead(const ExtUnitAddress& unit, std::uint16_t address, std::uint16_t length, std::uint8_t* out);
int ExtUnitMemoryWrite(const ExtUnitAddress& unit, std::uint16_t address, std::uint16_t length,
                       const std::uint8_t* data);
// Kind 7 or 8: that opcode with the value's low byte; kind 9: the ROM reset;
// any other kind sends nothing and returns 0.
int ExtUnitReset(const ExtUnitAddress& unit, std::uint16_t value, int kind);

// The platform error of the last failed direct request of this thread (0 when
// it failed without one); the reset uses it to tell a device that is gone.
std::uint32_t ExtUnitLastError();
