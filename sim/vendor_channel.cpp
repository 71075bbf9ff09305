// The vendor-request channel: each request carries one whole operation.
#include <cstring>

#include "platform/error_codes.h"
#include "sim/codec.h"

namespace sim {

namespace {

enum class Form { kNone, kMemory, kMemoryParameter, kSpi, kValue };

struct VendorRow {
  bool in;
  std::uint8_t request;
  Op op;
  Form form;
};

constexpr VendorRow kVendorRequests[] = {
    {true, 0x07, Op::kStatusWords, Form::kValue},     {true, 0x06, Op::kOneByte, Form::kValue},
    {true, 0x23, Op::kReadIMem, Form::kMemory},        {true, 0x25, Op::kReadMem, Form::kMemory},
    {false, 0x24, Op::kWriteMem, Form::kMemory},       {true, 0x26, Op::kReadCode, Form::kMemory},
    {true, 0x27, Op::kReadPhy, Form::kMemory},         {false, 0x28, Op::kWritePhy, Form::kMemory},
    {false, 0x29, Op::kNorErase, Form::kNone},         {true, 0x2B, Op::kNorRead, Form::kMemory},
    {false, 0x2A, Op::kNorWrite, Form::kMemory},       {false, 0x2C, Op::kNorWriteTag, Form::kNone},
    {true, 0x2D, Op::kSpiReadId, Form::kNone},         {true, 0x2E, Op::kSpiRead, Form::kSpi},
    {false, 0x2F, Op::kSpiWrite, Form::kSpi},          {true, 0x30, Op::kSpiReadStatus, Form::kNone},
    {false, 0x31, Op::kSpiWriteStatus, Form::kNone},   {false, 0x32, Op::kSpiEraseChip, Form::kNone},
    {false, 0x33, Op::kSpiEraseSector, Form::kMemory}, {false, 0x34, Op::kSpiWriteTag, Form::kNone},
    {false, 0x35, Op::kSpiEraseBlock, Form::kMemory},  {true, 0x36, Op::kSpiEraseBlockPoll, Form::kNone},
    {true, 0x35, Op::kEep8Read, Form::kMemory},        {false, 0x36, Op::kEep8Write, Form::kMemory},
    {true, 0x37, Op::kEep16Read, Form::kMemory},       {false, 0x38, Op::kEep16Write, Form::kMemory},
    {true, 0x39, Op::kEepRead, Form::kMemory},         {false, 0x3A, Op::kEepWrite, Form::kMemoryParameter},
    {false, 0x20, Op::kResetUpdate, Form::kValue},     {false, 0x21, Op::kResetUpdate2, Form::kValue},
    {false, 0x22, Op::kResetRom, Form::kNone},         {false, 0x70, Op::kVendorModeSet, Form::kValue},
    {true, 0x70, Op::kVendorQuery, Form::kValue},
};

const VendorRow* FindRow(bool in, std::uint8_t request) {
  for (const VendorRow& row : kVendorRequests) {
    if (row.in == in && row.request == request) return &row;
  }
  return nullptr;
}

// The platform error a failed operation shows as on this channel: a stall.
ControlOutcome Failed() { return {platform::kErrorGenFailure, 0}; }

}  // namespace

ControlOutcome Codec::Vendor(const ControlSetup& setup, std::uint8_t* data) {
  const bool in = (setup.requestType & 0x80) != 0;
  if ((setup.requestType & 0x1F) != 0) return Failed();  // device recipient only
  if (!in && setup.request == 0x01) {  // the indexed reset: wIndex is the reset kind
    const Op kind = setup.index == 7 ? Op::kResetUpdate
                    : setup.index == 8 ? Op::kResetUpdate2
                    : setup.index == 9 ? Op::kResetRom
                                       : Op::kVendorModeSet;
    if (kind == Op::kVendorModeSet) return Failed();
    return {Reset(kind, setup.value), 0};
  }
  const VendorRow* row = FindRow(in, setup.request);
  if (row == nullptr) return Failed();

  OpRequest request{row->op, 0, setup.length, 0};
  switch (row->form) {
    case Form::kMemory:
    case Form::kMemoryParameter:
      request.address = setup.index | (std::uint32_t((setup.value >> 8) & 0x0F) << 16);
      if (row->form == Form::kMemoryParameter) request.parameter = setup.value & 0xFF;
      break;
    case Form::kSpi:
      request.address = setup.index | (std::uint32_t(setup.value >> 8) << 16);
      break;
    case Form::kValue:
      request.address = setup.value & 0xFF;
      request.parameter = setup.value & 0xFF;
      break;
    case Form::kNone:
      break;
  }
  if (row->op == Op::kResetUpdate || row->op == Op::kResetUpdate2 || row->op == Op::kResetRom) {
    return {Reset(row->op, request.parameter), 0};
  }
  if (Begin(request) != kStsDone) return Failed();
  const Direction direction = DirectionOf(row->op);
  if (direction == Direction::kNone || setup.length == 0) return {platform::kErrorSuccess, 0};
  const std::uint8_t status = direction == Direction::kIn ? Read(request, 0, data, setup.length)
                                                          : Write(request, 0, data, setup.length);
  if (status != kStsDone) return Failed();
  return {platform::kErrorSuccess, setup.length};
}

}  // namespace sim
