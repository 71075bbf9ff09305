#pragma once
// The URB messages of the USB/IP protocol as the kernel's vhci_hcd speaks
// them on an attached connection: USBIP_CMD_SUBMIT and USBIP_CMD_UNLINK from
// the host, USBIP_RET_SUBMIT and USBIP_RET_UNLINK from the device. Every
// header field is a big-endian 32-bit word; the setup packet keeps the USB
// (little-endian) byte order. A command header is 48 bytes; a submit towards
// the device (direction out) is followed by its transfer_buffer_length bytes,
// a reply to a submit towards the host (direction in) by actual_length bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

inline constexpr std::uint32_t kUsbipCmdSubmit = 1;
inline constexpr std::uint32_t kUsbipCmdUnlink = 2;
inline constexpr std::uint32_t kUsbipRetSubmit = 3;
inline constexpr std::uint32_t kUsbipRetUnlink = 4;
inline constexpr std::uint32_t kUsbipDirOut = 0;
inline constexpr std::uint32_t kUsbipDirIn = 1;
inline constexpr std::size_t kUsbipHeaderSize = 48;
// number_of_packets of a transfer that is not isochronous.
inline constexpr std::uint32_t kUsbipNotIsochronous = 0xFFFFFFFF;
// Status words of replies: negative Linux error numbers.
inline constexpr std::int32_t kUsbipStatusStall = -32;       // -EPIPE
inline constexpr std::int32_t kUsbipStatusUnlinked = -104;   // -ECONNRESET
inline constexpr std::int32_t kUsbipStatusNoResponse = -71;  // -EPROTO
// The longest transfer accepted from the host; a control transfer moves at
// most 65535 bytes.
inline constexpr std::uint32_t kUsbipMaxTransfer = 0xFFFF;

struct UsbipCommand {
  std::uint32_t command = 0;  // kUsbipCmdSubmit or kUsbipCmdUnlink
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = kUsbipDirOut;
  std::uint32_t ep = 0;
  // CMD_SUBMIT
  std::uint32_t transferFlags = 0;
  std::uint32_t transferBufferLength = 0;
  std::uint32_t startFrame = 0;
  std::uint32_t numberOfPackets = 0;
  std::uint32_t interval = 0;
  std::array<std::uint8_t, 8> setup{};
  std::vector<std::uint8_t> outData;  // direction out: the data stage
  // CMD_UNLINK
  std::uint32_t unlinkSeqnum = 0;
};

enum class UsbipParse {
  kNeedMore,  // the buffer holds no whole command yet
  kCommand,   // one command decoded; `consumed` bytes used
  kInvalid,   // not a command this side accepts: the connection must end
};

// Decodes the first command in `bytes`.
UsbipParse ParseUsbipCommand(const std::uint8_t* bytes, std::size_t size, UsbipCommand& command,
                             std::size_t& consumed);

// USBIP_RET_SUBMIT for `seqnum`; `inData` (direction in) follows the header,
// and actual_length is its size unless `outLength` (bytes taken from an out
// transfer) is given.
std::vector<std::uint8_t> EncodeRetSubmit(std::uint32_t seqnum, std::int32_t status,
                                          const std::vector<std::uint8_t>& inData, std::uint32_t outLength = 0);
// USBIP_RET_UNLINK for the unlink command `seqnum`.
std::vector<std::uint8_t> EncodeRetUnlink(std::uint32_t seqnum, std::int32_t status);

}  // namespace sim
