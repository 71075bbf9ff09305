// The extension-unit channel: 8-byte command blocks on the command control,
// their data in units on the data control, and the status block.
#include <algorithm>
#include <cstring>

#include "platform/error_codes.h"
#include "sim/codec.h"

namespace sim {

namespace {

constexpr std::uint8_t kCommandControl = 10;
constexpr std::uint8_t kDataControl = 11;
constexpr std::uint8_t kClassChip = 0x00, kClassStorage = 0x02, kClassClear = 0xFF;
constexpr std::uint16_t kMaxDataControlSize = 64;

// How a command's bytes 4-5 and 6-7 are read.
enum class Fields {
  kAddress16,  // bytes 2-3 address, 4-5 length
  kAddress32,  // bytes 2-3 address bits 0..15, 4-5 length, 6-7 address bits 16..31
  kParameter,  // bytes 2-3 address, 4-5 length, 6-7 parameter
  kResultLength,  // bytes 2-3 address, 6-7 length of the data phase
};

struct CommandRow {
  std::uint8_t commandClass;
  std::uint8_t opcode;
  Op op;
  Fields fields;
};

constexpr CommandRow kCommands[] = {
    {kClassChip, 0xCD, Op::kStatusWords, Fields::kAddress16},
    {kClassChip, 0x07, Op::kResetUpdate, Fields::kAddress16},
    {kClassChip, 0x08, Op::kResetUpdate2, Fields::kAddress16},
    {kClassChip, 0x09, Op::kResetRom, Fields::kAddress16},
    {kClassChip, 0xC1, Op::kReadIMem, Fields::kAddress16},
    {kClassChip, 0xC2, Op::kReadMem, Fields::kAddress16},
    {kClassChip, 0x82, Op::kWriteMem, Fields::kAddress16},
    {kClassChip, 0xC3, Op::kReadCode, Fields::kAddress16},
    {kClassChip, 0xCC, Op::kReadPhy, Fields::kAddress16},
    {kClassChip, 0x8C, Op::kWritePhy, Fields::kAddress16},
    {kClassChip, 0x04, Op::kNorErase, Fields::kAddress16},
    {kClassChip, 0xC5, Op::kNorRead, Fields::kAddress16},
    {kClassChip, 0x85, Op::kNorWrite, Fields::kAddress16},
    {kClassChip, 0x06, Op::kNorWriteTag, Fields::kAddress16},
    {kClassChip, 0xD0, Op::kSignature, Fields::kAddress16},
    {kClassChip, 0x16, Op::kSetDataControlSize, Fields::kAddress16},
    {kClassStorage, 0xC1, Op::kSpiReadId, Fields::kAddress16},
    {kClassStorage, 0xC2, Op::kSpiRead, Fields::kAddress32},
    {kClassStorage, 0x82, Op::kSpiWrite, Fields::kAddress32},
    {kClassStorage, 0xC3, Op::kSpiReadStatus, Fields::kAddress16},
    {kClassStorage, 0x83, Op::kSpiWriteStatus, Fields::kAddress16},
    {kClassStorage, 0x04, Op::kSpiEraseChip, Fields::kAddress16},
    {kClassStorage, 0x05, Op::kSpiEraseSector, Fields::kAddress32},
    {kClassStorage, 0x13, Op::kSpiWriteTag, Fields::kAddress16},
    {kClassStorage, 0xCB, Op::kEep8Read, Fields::kAddress32},
    {kClassStorage, 0x8B, Op::kEep8Write, Fields::kAddress32},
    {kClassStorage, 0xD1, Op::kEep16Read, Fields::kAddress32},
    {kClassStorage, 0x91, Op::kEep16Write, Fields::kAddress32},
    {kClassStorage, 0x97, Op::kOtpWrite, Fields::kParameter},
    {kClassStorage, 0xD7, Op::kOtpRead, Fields::kAddress16},
    {kClassStorage, 0xD8, Op::kOtpBlankCheck, Fields::kAddress16},
    {kClassStorage, 0xDF, Op::kOtpAllBlankCheck, Fields::kResultLength},
    {kClassStorage, 0xDC, Op::kOtpFailReport, Fields::kAddress16},
    {kClassStorage, 0xD9, Op::kOtpTestDec, Fields::kAddress16},
    {kClassStorage, 0x9A, Op::kOtpWriteSt, Fields::kParameter},
};

std::uint16_t Word(const std::uint8_t* block, int at) {
  return static_cast<std::uint16_t>(block[at] | (block[at + 1] << 8));
}

ControlOutcome Stall() { return {platform::kErrorGenFailure, 0}; }

}  // namespace

bool Codec::DecodeCommand(const std::uint8_t* block, OpRequest& request, std::uint8_t& status) const {
  for (const CommandRow& row : kCommands) {
    if (row.commandClass != block[0] || row.opcode != block[1]) continue;
    request = {row.op, Word(block, 2), Word(block, 4), 0};
    switch (row.fields) {
      case Fields::kAddress32: request.address |= std::uint32_t(Word(block, 6)) << 16; break;
      case Fields::kParameter: request.parameter = Word(block, 6); break;
      case Fields::kResultLength: request.length = Word(block, 6); break;
      case Fields::kAddress16: break;
    }
    // The reset commands carry their value in byte 2 alone.
    if (row.op == Op::kResetUpdate || row.op == Op::kResetUpdate2) request.parameter = block[2];
    return true;
  }
  status = block[0] == kClassStorage ? kStsUnknownStorageCmd : kStsUnknownCmd;
  return false;
}

ControlOutcome Codec::Command(const std::uint8_t* block) {
  pendingActive_ = false;
  if (block[0] == kClassClear) {
    status_ = kStsCmd;
    return {platform::kErrorSuccess, 8};
  }
  OpRequest request;
  if (!DecodeCommand(block, request, status_)) return Stall();
  if (request.op == Op::kResetUpdate || request.op == Op::kResetUpdate2 || request.op == Op::kResetRom) {
    const std::uint32_t error = Reset(request.op, request.parameter);
    status_ = error == platform::kErrorSuccess ? kStsDone : kStsNotFinish;
    return {error, error == platform::kErrorSuccess ? 8u : 0u};
  }
  if (request.op == Op::kSetDataControlSize) {
    const std::uint16_t asked = static_cast<std::uint16_t>(request.length);
    // Units of 8 to 64 bytes in steps of 8; anything else leaves the size.
    if (asked >= 8 && asked <= kMaxDataControlSize && asked % 8 == 0) dataControlSize_ = asked;
    status_ = kStsDone;
    return {platform::kErrorSuccess, 8};
  }
  status_ = Begin(request);
  if (status_ != kStsDone) return Stall();
  const Direction direction = DirectionOf(request.op);
  if (direction != Direction::kNone && request.length > 0) {
    pending_ = request;
    pendingDone_ = 0;
    pendingActive_ = true;
    status_ = direction == Direction::kIn ? kStsDataIn : kStsDataOut;
  }
  return {platform::kErrorSuccess, 8};
}

ControlOutcome Codec::ExtensionUnit(const ControlSetup& setup, std::uint8_t* data) {
  if (setup.index != ((kExtensionUnitId << 8) | kAudioControlInterface) || (setup.value & 0xFF) != 0) return Stall();
  const std::uint8_t selector = setup.value >> 8;
  const bool setCur = setup.requestType == 0x21 && setup.request == 0x01;
  const bool getCur = setup.requestType == 0xA1 && setup.request == 0x81;
  const bool getLen = setup.requestType == 0xA1 && setup.request == 0x85;

  if (selector == kCommandControl && setCur) {
    if (setup.length != 8) {
      status_ = kStsErrLen;
      return Stall();
    }
    return Command(data);
  }
  if (selector == kCommandControl && getCur) {
    const std::uint32_t n = std::min<std::uint32_t>(setup.length, 8);
    std::memset(data, 0, n);
    if (n) data[0] = status_;
    return {platform::kErrorSuccess, n};
  }
  if (selector == kDataControl && getLen) {
    const std::uint32_t n = std::min<std::uint32_t>(setup.length, 2);
    const std::uint8_t size[2] = {static_cast<std::uint8_t>(dataControlSize_), static_cast<std::uint8_t>(dataControlSize_ >> 8)};
    std::memcpy(data, size, n);
    return {platform::kErrorSuccess, n};
  }
  if (selector != kDataControl || !(setCur || getCur)) return Stall();

  // A data unit: at most one unit, in the direction the command asked for.
  const Direction wanted = setCur ? Direction::kOut : Direction::kIn;
  if (!pendingActive_ || DirectionOf(pending_.op) != wanted) {
    status_ = kStsErrDir;
    return Stall();
  }
  if (setup.length > dataControlSize_) {
    status_ = kStsErrLen;
    return Stall();
  }
  const std::uint32_t n = std::min<std::uint32_t>(setup.length, pending_.length - pendingDone_);
  std::uint8_t status;
  if (getCur) {
    std::memset(data, 0, setup.length);
    status = Read(pending_, pendingDone_, data, n);
  } else {
    status = Write(pending_, pendingDone_, data, n);
  }
  if (status != kStsDone) {
    pendingActive_ = false;
    status_ = status;
    return Stall();
  }
  pendingDone_ += n;
  if (pendingDone_ >= pending_.length) {
    pendingActive_ = false;
    status_ = kStsDone;
  }
  return {platform::kErrorSuccess, setup.length};
}

}  // namespace sim
