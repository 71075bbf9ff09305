#include "sim/usbip_protocol.h"

#include <algorithm>

namespace sim {

namespace {

std::uint32_t Word(const std::uint8_t* p) {
  return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.insert(out.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}

std::vector<std::uint8_t> ReplyHeader(std::uint32_t command, std::uint32_t seqnum) {
  std::vector<std::uint8_t> out;
  out.reserve(kUsbipHeaderSize);
  PutWord(out, command);
  PutWord(out, seqnum);
  // devid, direction and ep of replies are zero.
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, 0);
  return out;
}

}  // namespace

UsbipParse ParseUsbipCommand(const std::uint8_t* bytes, std::size_t size, UsbipCommand& command,
                             std::size_t& consumed) {
  consumed = 0;
  if (size < 4) return UsbipParse::kNeedMore;
  const std::uint32_t code = Word(bytes);
  if (code != kUsbipCmdSubmit && code != kUsbipCmdUnlink) return UsbipParse::kInvalid;
  if (size < kUsbipHeaderSize) return UsbipParse::kNeedMore;
  UsbipCommand c;
  c.command = code;
  c.seqnum = Word(bytes + 4);
  c.devid = Word(bytes + 8);
  c.direction = Word(bytes + 12);
  c.ep = Word(bytes + 16);
  if (c.direction != kUsbipDirOut && c.direction != kUsbipDirIn) return UsbipParse::kInvalid;
  std::size_t total = kUsbipHeaderSize;
  if (code == kUsbipCmdUnlink) {
    c.unlinkSeqnum = Word(bytes + 20);
  } else {
    c.transferFlags = Word(bytes + 20);
    c.transferBufferLength = Word(bytes + 24);
    c.startFrame = Word(bytes + 28);
    c.numberOfPackets = Word(bytes + 32);
    c.interval = Word(bytes + 36);
    std::copy(bytes + 40, bytes + 48, c.setup.begin());
    // Isochronous transfers (packet descriptors after the data) are not served.
    if (c.transferBufferLength > kUsbipMaxTransfer ||
        (c.numberOfPackets != 0 && c.numberOfPackets != kUsbipNotIsochronous))
      return UsbipParse::kInvalid;
    if (c.direction == kUsbipDirOut) {
      total += c.transferBufferLength;
      if (size < total) return UsbipParse::kNeedMore;
      c.outData.assign(bytes + kUsbipHeaderSize, bytes + total);
    }
  }
  command = std::move(c);
  consumed = total;
  return UsbipParse::kCommand;
}

std::vector<std::uint8_t> EncodeRetSubmit(std::uint32_t seqnum, std::int32_t status,
                                          const std::vector<std::uint8_t>& inData, std::uint32_t outLength) {
  std::vector<std::uint8_t> out = ReplyHeader(kUsbipRetSubmit, seqnum);
  PutWord(out, std::uint32_t(status));
  PutWord(out, inData.empty() ? outLength : std::uint32_t(inData.size()));
  PutWord(out, 0);  // start_frame
  PutWord(out, kUsbipNotIsochronous);
  PutWord(out, 0);  // error_count
  out.resize(kUsbipHeaderSize, 0);
  out.insert(out.end(), inData.begin(), inData.end());
  return out;
}

std::vector<std::uint8_t> EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status) {
  std::vector<std::uint8_t> out = ReplyHeader(kUsbipRetUnlink, seqnum);
  PutWord(out, std::uint32_t(status));
  out.resize(kUsbipHeaderSize, 0);
  return out;
}

}  // namespace sim
