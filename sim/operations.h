#pragma once
// The chip operations both command channels reach: the vendor requests and the
// extension unit's command blocks decode into the same operations, so the two
// channels cannot answer the same thing differently.
#include <cstdint>

namespace sim {

enum class Op {
  kStatusWords,   // address: first 8-byte status word
  kSignature,     // "MORVANE" and a zero byte
  kOneByte,       // the one-byte read
  kReadIMem, kReadMem, kWriteMem, kReadCode, kReadPhy, kWritePhy,
  kNorErase, kNorRead, kNorWrite, kNorWriteTag,
  kSpiReadId, kSpiRead, kSpiWrite, kSpiReadStatus, kSpiWriteStatus,
  kSpiEraseChip, kSpiEraseSector, kSpiEraseBlock, kSpiEraseBlockPoll, kSpiWriteTag,
  kEep8Read, kEep8Write, kEep16Read, kEep16Write, kEepRead, kEepWrite,
  kOtpWrite, kOtpRead, kOtpBlankCheck, kOtpAllBlankCheck, kOtpFailReport, kOtpTestDec, kOtpWriteSt,
  kResetUpdate, kResetUpdate2, kResetRom,
  kSetDataControlSize,
  kVendorModeSet, kVendorQuery,
};

enum class Direction { kNone, kIn, kOut };

Direction DirectionOf(Op op);

// The status codes of the extension unit's status block.
inline constexpr std::uint8_t kStsCmd = 0x00;
inline constexpr std::uint8_t kStsDataIn = 0x01;
inline constexpr std::uint8_t kStsDataOut = 0x02;
inline constexpr std::uint8_t kStsErrDir = 0x03;
inline constexpr std::uint8_t kStsNotFinish = 0x04;
inline constexpr std::uint8_t kStsErrLen = 0x05;
inline constexpr std::uint8_t kStsUnknownStorageCmd = 0x06;
inline constexpr std::uint8_t kStsOutOfRange = 0x07;
inline constexpr std::uint8_t kStsUnknownCmd = 0x08;
inline constexpr std::uint8_t kStsHardwareError = 0x09;
inline constexpr std::uint8_t kStsDone = 0xFE;

// One operation with its fields: address, length of its data phase and the
// extra parameter (OTP corrections, EEPROM address width, reset value).
struct OpRequest {
  Op op = Op::kStatusWords;
  std::uint32_t address = 0;
  std::uint32_t length = 0;
  std::uint16_t parameter = 0;
};

}  // namespace sim
