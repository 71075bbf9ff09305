#include "sim/usbip_session.h"

#include <algorithm>

#include "platform/error_codes.h"
#include "sim/timing_model.h"

namespace sim {

namespace {

// The model's own limit for a request: longer than any host waits, so the
// host's time-out (an unlink) decides.
constexpr std::uint32_t kModelTimeoutMs = 60'000;
// How long a codec that left the bus keeps failing requests: until the host
// has been quiet this long, and never longer than the second figure.
constexpr std::uint64_t kGoneQuietUs = 30'000;
constexpr std::uint64_t kGoneMostUs = 1'000'000;

ControlSetup SetupOf(const UsbipCommand& c) {
  const auto& s = c.setup;
  return {s[0], s[1], std::uint16_t(s[2] | s[3] << 8), std::uint16_t(s[4] | s[5] << 8),
          std::uint16_t(s[6] | s[7] << 8)};
}

}  // namespace

std::uint64_t CodecTime::Sync(std::uint64_t realNowUs) {
  const std::uint64_t target = std::uint64_t(std::int64_t(realNowUs) + offsetUs_);
  if (clock_.NowUs() < target) clock_.AdvanceUs(target - clock_.NowUs());
  return clock_.NowUs();
}

bool UsbipSession::Receive(const std::uint8_t* bytes, std::size_t size) {
  in_.insert(in_.end(), bytes, bytes + size);
  std::size_t used = 0;
  for (;;) {
    UsbipCommand command;
    std::size_t consumed = 0;
    const UsbipParse parse = ParseUsbipCommand(in_.data() + used, in_.size() - used, command, consumed);
    if (parse == UsbipParse::kNeedMore) break;
    if (parse == UsbipParse::kInvalid) {
      ended_ = true;
      return false;
    }
    used += consumed;
    if (command.command == kUsbipCmdUnlink) {
      Unlink(command);
    } else {
      queue_.push_back(std::move(command));
    }
  }
  in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(used));
  return true;
}

void UsbipSession::Unlink(const UsbipCommand& unlink) {
  std::int32_t status = 0;  // already answered: nothing to cancel
  if (held_ && held_->seqnum == unlink.unlinkSeqnum) {
    held_.reset();
    status = kUsbipStatusUnlinked;
  } else {
    auto it = std::find_if(queue_.begin(), queue_.end(),
                           [&](const UsbipCommand& c) { return c.seqnum == unlink.unlinkSeqnum; });
    if (it != queue_.end()) {
      queue_.erase(it);
      status = kUsbipStatusUnlinked;
    }
  }
  const auto reply = EncodeRetUnlink(unlink.seqnum, status);
  out_.insert(out_.end(), reply.begin(), reply.end());
}

std::uint64_t UsbipSession::NextDueUs() const {
  if (ended_) return kNever;
  if (goneSinceUs_ != kNever) return std::min(lastRequestUs_ + kGoneQuietUs, goneSinceUs_ + kGoneMostUs);
  if (held_) return held_->dueUs;
  return queue_.empty() ? kNever : 0;
}

void UsbipSession::GoOffTheBus(std::uint64_t realNowUs) {
  leaving_ = false;
  goneSinceUs_ = lastRequestUs_ = realNowUs;
}

void UsbipSession::Run(Codec* codec, CodecTime& time, std::uint64_t realNowUs, bool& charged) {
  while (!ended_) {
    if (goneSinceUs_ != kNever) {
      for (const UsbipCommand& submit : queue_) {
        const auto reply = EncodeRetSubmit(submit.seqnum, kUsbipStatusNoResponse, {});
        out_.insert(out_.end(), reply.begin(), reply.end());
        lastRequestUs_ = realNowUs;
      }
      queue_.clear();
      if (realNowUs >= NextDueUs()) ended_ = true;
      return;
    }
    if (held_) {
      if (held_->dueUs > realNowUs) return;
      out_.insert(out_.end(), held_->reply.begin(), held_->reply.end());
      held_.reset();
    }
    if (leaving_) {
      GoOffTheBus(realNowUs);
      continue;
    }
    if (queue_.empty()) return;
    UsbipCommand submit = std::move(queue_.front());
    queue_.pop_front();
    Answer(submit, codec, time, realNowUs, charged);
  }
}

void UsbipSession::Answer(const UsbipCommand& submit, Codec* codec, CodecTime& time, std::uint64_t realNowUs,
                          bool& charged) {
  const std::uint64_t now = time.Sync(realNowUs);
  if (!codec || !codec->PresentAt(now)) {  // switched off or removed meanwhile
    queue_.push_front(submit);
    GoOffTheBus(realNowUs);
    return;
  }
  if (submit.ep != 0) {  // the codec streams nothing: its other endpoints stall
    held_ = Held{submit.seqnum, 0, EncodeRetSubmit(submit.seqnum, kUsbipStatusStall, {})};
    return;
  }
  const ControlSetup setup = SetupOf(submit);
  const bool in = setup.requestType & 0x80;
  std::vector<std::uint8_t> data(std::max<std::size_t>(setup.length, submit.outData.size()), 0);
  std::copy(submit.outData.begin(), submit.outData.end(), data.begin());
  // The request runs on a scratch copy of the clock: a request left
  // unanswered must not move the bench's time by the model's limit.
  platform::VirtualClock scratch(now);
  const ControlOutcome outcome = codec->Control(setup, data.data(), kModelTimeoutMs, scratch);
  charged = true;
  if (outcome.error == platform::kErrorDeviceNotConnected) {  // power lost in the middle of the request
    queue_.push_front(submit);
    GoOffTheBus(realNowUs);
    return;
  }
  if (outcome.error == platform::kErrorTimeout) {
    held_ = Held{submit.seqnum, kNever, {}};
    return;
  }
  const std::uint64_t busUs = TimingModel::ControlTransferUs(codec->Config().identity.highSpeed, outcome.transferred);
  const std::uint64_t end = scratch.NowUs();
  time.Clock().AdvanceUs(end - now);
  // What the codec took beyond the bus time is served in real time from now.
  const std::uint64_t busyUs = end - now - std::min(busUs, end - now);
  Held reply{submit.seqnum, realNowUs + busyUs, {}};
  if (outcome.error != platform::kErrorSuccess) {
    reply.reply = EncodeRetSubmit(submit.seqnum, kUsbipStatusStall, {});
  } else if (in) {
    data.resize(std::min<std::size_t>(outcome.transferred, setup.length));
    reply.reply = EncodeRetSubmit(submit.seqnum, 0, data);
  } else {
    reply.reply = EncodeRetSubmit(submit.seqnum, 0, {}, outcome.transferred);
  }
  held_ = std::move(reply);
  // A reset: the chip acknowledges the request, then drops off the bus.
  if (!codec->PresentAt(time.Clock().NowUs())) leaving_ = true;
}

}  // namespace sim
