// A simulated codec on a USB/IP connection: its answers, what it leaves
// unanswered, how its time follows real time, and how it leaves the bus.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/error_codes.h"
#include "sim/timing_model.h"
#include "sim/usbip_session.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

void PutWord(Bytes& b, std::uint32_t v) {
  b.insert(b.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}
std::uint32_t WordAt(const Bytes& b, std::size_t at) {
  return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// What the kernel's host controller sends.
Bytes Submit(std::uint32_t seqnum, std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
             std::uint16_t length, const Bytes& data = {}) {
  const bool in = type & 0x80;
  Bytes b;
  for (std::uint32_t w : {kUsbipCmdSubmit, seqnum, 0x10002u, in ? kUsbipDirIn : kUsbipDirOut, 0u, 0u,
                          std::uint32_t(length), 0u, kUsbipNotIsochronous, 0u})
    PutWord(b, w);
  b.insert(b.end(), {type, request, std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(index),
                     std::uint8_t(index >> 8), std::uint8_t(length), std::uint8_t(length >> 8)});
  if (!in) b.insert(b.end(), data.begin(), data.end());
  return b;
}
Bytes Unlink(std::uint32_t seqnum, std::uint32_t victim) {
  Bytes b;
  for (std::uint32_t w : {kUsbipCmdUnlink, seqnum, 0x10002u, 0u, 0u, victim}) PutWord(b, w);
  b.resize(48, 0);
  return b;
}

struct Reply {
  std::uint32_t command, seqnum;
  std::int32_t status;
  Bytes data;
};

class UsbipSessionTest : public testing::Test {
 protected:
  UsbipSessionTest() : codec_(Config(), *FindChip("VMC2232")), time_(clock_, realUs_) { codec_.PowerOn(); }

  static CodecConfig Config() {
    CodecConfig config;
    config.name = "codec";
    config.chip = "VMC2232";
    config.identity = {0x3C5A, 0x2232, 0x0100, "Morvane", "VMC2232 USB Audio", "", 2, true};
    return config;
  }
  void Send(const Bytes& bytes) {
    if (WordAt(bytes, 0) == kUsbipCmdSubmit && WordAt(bytes, 12) == kUsbipDirIn) inSeqnums_.insert(WordAt(bytes, 4));
    ASSERT_TRUE(session_.Receive(bytes.data(), bytes.size()));
  }
  // Runs the session at real time `realUs_` and takes the replies it sent.
  std::vector<Reply> Run() {
    bool charged = false;
    session_.Run(&codec_, time_, realUs_, charged);
    std::vector<Reply> replies;
    Bytes& out = session_.Outgoing();
    std::size_t at = 0;
    while (at + 48 <= out.size()) {
      Reply r{WordAt(out, at), WordAt(out, at + 4), std::int32_t(WordAt(out, at + 20)), {}};
      std::size_t length = 0;
      // Only the replies to in transfers carry their data.
      if (r.command == kUsbipRetSubmit && inSeqnums_.count(r.seqnum)) length = WordAt(out, at + 24);
      r.data.assign(out.begin() + std::ptrdiff_t(at + 48), out.begin() + std::ptrdiff_t(at + 48 + length));
      replies.push_back(r);
      at += 48 + length;
    }
    out.clear();
    return replies;
  }
  void Arm(const std::string& spec) {
    std::map<std::uint32_t, std::uint8_t> stuck;
    std::string error;
    ASSERT_TRUE(ApplyFaultSpec(spec, codec_.Faults(), stuck, error)) << error;
  }

  platform::VirtualClock clock_{5'000'000};  // the bench's time
  std::uint64_t realUs_ = 1'000'000;         // the server's real time
  Codec codec_;
  CodecTime time_;
  UsbipSession session_;
  std::set<std::uint32_t> inSeqnums_;
};

TEST_F(UsbipSessionTest, AnswersStandardVendorAndClassRequests) {
  Send(Submit(1, 0x80, 0x06, 0x0100, 0, 64));  // GET_DESCRIPTOR device, asked for more than it has
  Send(Submit(2, 0x00, 0x09, 1, 0, 0));        // SET_CONFIGURATION
  Send(Submit(3, 0x40, 0x24, 0, 0x8000, 2, {0x5A, 0xA5}));  // vendor write to data memory
  Send(Submit(4, 0xC0, 0x25, 0, 0x8000, 2));                // and read back
  Send(Submit(5, 0xA1, 0x81, 0x0A00, (kExtensionUnitId << 8) | kAudioControlInterface, 8));  // the unit's status
  const auto replies = Run();
  ASSERT_EQ(replies.size(), 5u);
  for (std::size_t i = 0; i < replies.size(); ++i) {
    EXPECT_EQ(replies[i].command, kUsbipRetSubmit);
    EXPECT_EQ(replies[i].seqnum, i + 1);  // in order
    EXPECT_EQ(replies[i].status, 0) << i;
  }
  EXPECT_EQ(replies[0].data, DeviceDescriptor(Config().identity));
  EXPECT_EQ(replies[3].data, (Bytes{0x5A, 0xA5}));
  EXPECT_EQ(replies[4].data.size(), 8u);
}

TEST_F(UsbipSessionTest, StallsAndLeavesTimeOutsUnansweredUntilUnlinked) {
  Arm("stall=vendor:25*1,timeout=vendor:07*1");
  Send(Submit(1, 0xC0, 0x25, 0, 0x8000, 2));
  Send(Submit(2, 0xC0, 0x07, 0, 0, 8));
  Send(Submit(3, 0xC0, 0x25, 0, 0x8000, 2));  // queued behind the unanswered request
  auto replies = Run();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].status, kUsbipStatusStall);
  realUs_ += 10'000'000;  // no time makes the device answer
  EXPECT_TRUE(Run().empty());
  EXPECT_EQ(session_.NextDueUs(), kNever);

  Send(Unlink(10, 2));
  Send(Unlink(11, 1));  // answered long ago: nothing to cancel
  replies = Run();
  ASSERT_EQ(replies.size(), 3u);
  EXPECT_EQ(replies[0].command, kUsbipRetUnlink);
  EXPECT_EQ(replies[0].seqnum, 10u);
  EXPECT_EQ(replies[0].status, kUsbipStatusUnlinked);
  EXPECT_EQ(replies[1].seqnum, 11u);
  EXPECT_EQ(replies[1].status, 0);
  EXPECT_EQ(replies[2].seqnum, 3u);  // the queue moves on
  EXPECT_EQ(replies[2].status, 0);
  // The unanswered request did not move the codec's time by the model's limit.
  EXPECT_LT(clock_.NowUs(), 5'000'000u + 10'000'000u + 1'000'000u);
}

TEST_F(UsbipSessionTest, MemoryBusyTimeIsServedInRealTime) {
  Send(Submit(1, 0x40, 0x31, 0, 0, 1, {0x00}));  // flash status register: protection off
  Send(Submit(2, 0x40, 0x32, 0, 0, 0));          // chip erase
  auto replies = Run();
  ASSERT_EQ(replies.size(), 1u);  // the status write takes its own time first
  realUs_ += TimingModel::kFlashStatusWriteUs;
  replies = Run();
  ASSERT_TRUE(replies.empty());  // the erase is running
  const std::uint64_t due = session_.NextDueUs();
  EXPECT_GE(due, realUs_ + TimingModel::kFlashChipEraseUs - 1000);
  EXPECT_LE(due, realUs_ + TimingModel::kFlashChipEraseUs + TimingModel::kFlashStatusWriteUs);
  realUs_ = due - 1;
  EXPECT_TRUE(Run().empty());
  realUs_ = due;
  replies = Run();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].seqnum, 2u);
  EXPECT_EQ(replies[0].status, 0);
}

TEST_F(UsbipSessionTest, AResetAnswersThenFailsRequestsUntilTheHostIsQuiet) {
  Send(Submit(1, 0x40, 0x22, 0, 0, 0));  // ROM reset
  auto replies = Run();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].status, 0);
  EXPECT_FALSE(session_.Ended());
  EXPECT_FALSE(codec_.PresentAt(clock_.NowUs()));
  EXPECT_TRUE(codec_.PresentAt(clock_.NowUs() + TimingModel::kSettleUs));

  realUs_ += 10'000;
  Send(Submit(2, 0xA1, 0x81, 0x0100, 0x0600, 1));  // the audio driver binding again meanwhile
  replies = Run();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].status, kUsbipStatusNoResponse);
  EXPECT_FALSE(session_.Ended());
  realUs_ = session_.NextDueUs();
  Run();
  EXPECT_TRUE(session_.Ended());
}

TEST_F(UsbipSessionTest, PowerLossFailsTheRequestWithoutAnAnswerFromTheCodec) {
  Arm("disconnect-after=1");
  Send(Submit(1, 0xC0, 0x25, 0, 0x8000, 2));
  Send(Submit(2, 0x40, 0x24, 0, 0x8000, 2, {1, 2}));
  const auto replies = Run();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].status, 0);
  EXPECT_EQ(replies[1].status, kUsbipStatusNoResponse);
  EXPECT_FALSE(codec_.Plugged());
  EXPECT_EQ(codec_.DataMemory()[0x8000], 0);  // the write never reached the chip
  realUs_ += 2'000'000;
  Run();
  EXPECT_TRUE(session_.Ended());
}

TEST_F(UsbipSessionTest, GarbageEndsTheConnection) {
  const Bytes devlist = {0x01, 0x11, 0x80, 0x05, 0, 0, 0, 0};
  EXPECT_FALSE(session_.Receive(devlist.data(), devlist.size()));
  EXPECT_TRUE(session_.Ended());
}

}  // namespace
}  // namespace sim
