#pragma once
// One simulated codec attached to the host's USB/IP host controller: the
// commands the host sends on the connection, answered from the codec model
// one at a time, as endpoint 0 of a chip answers them.
//
// Time: the model's clock is the bench's virtual clock, held in step with
// real time (it never lags behind it). What the model charges for a request
// beyond its bus time (erase and program times, the chip's own delays) is
// served as real time: the reply leaves that much later. The bus time itself
// is not waited for; the kernel's path costs more than that.
//
// A request the codec does not answer (a time-out) stays unanswered until the
// host unlinks it. A stall becomes -EPIPE. A codec that leaves the bus (a
// reset) sends the reply of the request that made it leave; one that loses
// power sends none. Then, as on a real bus until the hub reports the port
// change, every further request fails with -EPROTO (no handshake) until the
// host has been quiet for a moment; then the connection ends. Ending it at
// once would leave requests that the host sends meanwhile (the audio driver
// binding again as the program lets go of the codec) hanging in the host
// controller until their time-out, and the host's hub work with them.
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "sim/codec.h"
#include "sim/usbip_protocol.h"

namespace sim {

inline constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

// The bench's virtual time as a function of real time: virtual = real + offset,
// unless the model has run ahead (a memory busy time).
class CodecTime {
 public:
  CodecTime(platform::VirtualClock& clock, std::uint64_t realNowUs)
      : clock_(clock), offsetUs_(std::int64_t(clock.NowUs()) - std::int64_t(realNowUs)) {}
  // Brings the virtual clock up to real time; returns the virtual time.
  std::uint64_t Sync(std::uint64_t realNowUs);
  // The real time at which the virtual clock shows `virtualUs` (0 for a
  // virtual time from before the server started).
  std::uint64_t RealOf(std::uint64_t virtualUs) const {
    const std::int64_t real = std::int64_t(virtualUs) - offsetUs_;
    return real > 0 ? std::uint64_t(real) : 0;
  }
  platform::VirtualClock& Clock() { return clock_; }

 private:
  platform::VirtualClock& clock_;
  std::int64_t offsetUs_;  // virtual minus real
};

class UsbipSession {
 public:
  // Bytes from the host. False when they are not a command stream: the
  // connection must end.
  bool Receive(const std::uint8_t* bytes, std::size_t size);
  // Answers what is due at real time `realNowUs` with `codec` (null when the
  // codec is no longer on the bench). Sets `charged` when the codec's state
  // changed.
  void Run(Codec* codec, CodecTime& time, std::uint64_t realNowUs, bool& charged);
  // The host closed the connection.
  void HostClosed() { ended_ = true; }
  // Bytes for the host, in order; the caller sends and clears them.
  std::vector<std::uint8_t>& Outgoing() { return out_; }
  // The connection must end (the codec left the bus, lost power, or the host
  // sent something that is not a command).
  bool Ended() const { return ended_; }
  // Real time at which Run has something to do; kNever when it waits for the host.
  std::uint64_t NextDueUs() const;
  bool Idle() const { return queue_.empty() && !held_ && goneSinceUs_ == kNever; }

 private:
  struct Held {
    std::uint32_t seqnum = 0;
    std::uint64_t dueUs = kNever;  // kNever: left unanswered
    std::vector<std::uint8_t> reply;
  };

  void Unlink(const UsbipCommand& unlink);
  void GoOffTheBus(std::uint64_t realNowUs);
  void Answer(const UsbipCommand& submit, Codec* codec, CodecTime& time, std::uint64_t realNowUs, bool& charged);

  std::vector<std::uint8_t> in_;
  std::vector<std::uint8_t> out_;
  std::deque<UsbipCommand> queue_;
  std::optional<Held> held_;
  bool leaving_ = false;  // off the bus once the held reply is sent
  std::uint64_t goneSinceUs_ = kNever;  // off the bus: requests fail until the end
  std::uint64_t lastRequestUs_ = 0;
  bool ended_ = false;
};

}  // namespace sim
