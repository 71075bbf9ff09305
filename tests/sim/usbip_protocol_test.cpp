// The USB/IP messages, against byte fixtures written from the kernel's
// protocol description (every header word big-endian, the setup packet in
// USB order).
#include <gtest/gtest.h>

#include "sim/usbip_protocol.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// CMD_SUBMIT, seqnum 5, devid 0x00010002, direction in, ep 0, transfer
// flags 0x200, 18 bytes: GET_DESCRIPTOR (device), wLength 18.
const Bytes kGetDeviceDescriptor = {
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};

// CMD_SUBMIT, seqnum 0x1234, direction out, 3 bytes of data: a vendor write
// 0x40/0x24, wValue 0, wIndex 0x8000, wLength 3.
const Bytes kVendorWrite = {
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x12, 0x34, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x24, 0x00, 0x00, 0x00, 0x80, 0x03, 0x00,
    0xA1, 0xB2, 0xC3};

// CMD_UNLINK, seqnum 9, unlinking seqnum 5.
const Bytes kUnlink = {0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x09, 0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST(UsbipProtocol, DecodesSubmitsAndUnlinks) {
  UsbipCommand c;
  std::size_t used = 0;
  ASSERT_EQ(ParseUsbipCommand(kGetDeviceDescriptor.data(), kGetDeviceDescriptor.size(), c, used),
            UsbipParse::kCommand);
  EXPECT_EQ(used, 48u);
  EXPECT_EQ(c.command, kUsbipCmdSubmit);
  EXPECT_EQ(c.seqnum, 5u);
  EXPECT_EQ(c.devid, 0x00010002u);
  EXPECT_EQ(c.direction, kUsbipDirIn);
  EXPECT_EQ(c.ep, 0u);
  EXPECT_EQ(c.transferFlags, 0x200u);
  EXPECT_EQ(c.transferBufferLength, 18u);
  EXPECT_EQ(c.numberOfPackets, kUsbipNotIsochronous);
  EXPECT_EQ(c.setup, (std::array<std::uint8_t, 8>{0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00}));
  EXPECT_TRUE(c.outData.empty());  // an in transfer carries no data towards the device

  ASSERT_EQ(ParseUsbipCommand(kVendorWrite.data(), kVendorWrite.size(), c, used), UsbipParse::kCommand);
  EXPECT_EQ(used, 51u);
  EXPECT_EQ(c.seqnum, 0x1234u);
  EXPECT_EQ(c.direction, kUsbipDirOut);
  EXPECT_EQ(c.outData, (Bytes{0xA1, 0xB2, 0xC3}));

  ASSERT_EQ(ParseUsbipCommand(kUnlink.data(), kUnlink.size(), c, used), UsbipParse::kCommand);
  EXPECT_EQ(used, 48u);
  EXPECT_EQ(c.command, kUsbipCmdUnlink);
  EXPECT_EQ(c.seqnum, 9u);
  EXPECT_EQ(c.unlinkSeqnum, 5u);
}

TEST(UsbipProtocol, WaitsForWholeCommands) {
  UsbipCommand c;
  std::size_t used = 99;
  for (std::size_t size : {0u, 3u, 47u, 48u, 50u}) {  // header or data stage cut short
    EXPECT_EQ(ParseUsbipCommand(kVendorWrite.data(), size, c, used), UsbipParse::kNeedMore) << size;
    EXPECT_EQ(used, 0u);
  }
}

TEST(UsbipProtocol, RefusesWhatIsNoCommandOfTheHost) {
  const auto with = [](Bytes b, std::size_t at, std::initializer_list<std::uint8_t> word) {
    std::copy(word.begin(), word.end(), b.begin() + std::ptrdiff_t(at));
    return b;
  };
  const Bytes cases[] = {
      with(kGetDeviceDescriptor, 0, {0x01, 0x11, 0x80, 0x05}),  // OP_REQ_DEVLIST: the daemon's protocol
      with(kGetDeviceDescriptor, 0, {0x00, 0x00, 0x00, 0x03}),  // RET_SUBMIT comes from the device
      with(kGetDeviceDescriptor, 12, {0x00, 0x00, 0x00, 0x02}), // no such direction
      with(kGetDeviceDescriptor, 32, {0x00, 0x00, 0x00, 0x04}), // isochronous packets
      with(kGetDeviceDescriptor, 24, {0x00, 0x01, 0x00, 0x00}), // longer than a control transfer
  };
  for (const Bytes& bytes : cases) {
    UsbipCommand c;
    std::size_t used = 0;
    EXPECT_EQ(ParseUsbipCommand(bytes.data(), bytes.size(), c, used), UsbipParse::kInvalid);
  }
}

TEST(UsbipProtocol, EncodesReplies) {
  const Bytes header = {0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes in = header;
  in.insert(in.end(), {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                       0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x01});
  EXPECT_EQ(EncodeRetSubmit(5, 0, {0x12, 0x01}), in);

  Bytes stall = header;
  stall[7] = 0x07;
  stall.insert(stall.end(), {0xFF, 0xFF, 0xFF, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                             0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(EncodeRetSubmit(7, kUsbipStatusStall, {}), stall);

  const Bytes out = EncodeRetSubmit(8, 0, {}, 3);  // an out transfer: its length, no data
  ASSERT_EQ(out.size(), 48u);
  EXPECT_EQ(Bytes(out.begin() + 24, out.begin() + 28), (Bytes{0x00, 0x00, 0x00, 0x03}));

  Bytes unlink = {0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                  0xFF, 0xFF, 0xFF, 0x98};
  unlink.resize(48, 0);
  EXPECT_EQ(EncodeRetUnlink(9, kUsbipStatusUnlinked), unlink);
}

}  // namespace
}  // namespace sim
