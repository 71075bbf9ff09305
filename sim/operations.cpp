#include "sim/operations.h"

namespace sim {

Direction DirectionOf(Op op) {
  switch (op) {
    case Op::kStatusWords: case Op::kSignature: case Op::kOneByte:
    case Op::kReadIMem: case Op::kReadMem: case Op::kReadCode: case Op::kReadPhy:
    case Op::kNorRead: case Op::kSpiReadId: case Op::kSpiRead: case Op::kSpiReadStatus:
    case Op::kSpiEraseBlockPoll: case Op::kEep8Read: case Op::kEep16Read: case Op::kEepRead:
    case Op::kOtpRead: case Op::kOtpBlankCheck: case Op::kOtpAllBlankCheck: case Op::kOtpFailReport:
    case Op::kOtpTestDec: case Op::kVendorQuery:
      return Direction::kIn;
    case Op::kWriteMem: case Op::kWritePhy: case Op::kNorWrite: case Op::kSpiWrite:
    case Op::kSpiWriteStatus: case Op::kEep8Write: case Op::kEep16Write: case Op::kEepWrite:
    case Op::kOtpWrite: case Op::kOtpWriteSt:
      return Direction::kOut;
    default:
      return Direction::kNone;
  }
}

}  // namespace sim
