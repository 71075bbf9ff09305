#pragma once
// The 8-byte command block of the extension-unit protocol and the commands the
// program sends.
//
//   byte 0    class: 0x00 chip commands, 0x02 storage commands, 0xFF clear
//   byte 1    opcode: bit 7 a data phase follows, bit 6 its direction (set: read)
//   bytes 2-3 address bits 0..15 (slave address, status word index)
//   bytes 4-5 length of the data phase
//   bytes 6-7 address bits 16..31 (slave address of long I2C transfers, OTP parameter)
//
// All fields are little-endian.
#include <array>
#include <cstdint>

struct CommandBlock {
  std::array<std::uint8_t, 8> bytes{};

  static constexpr CommandBlock Make(std::uint8_t cls, std::uint8_t opcode, std::uint16_t presetLength = 0,
                                     std::uint16_t presetAddress = 0) {
    CommandBlock c;
    c.bytes[0] = cls;
    c.bytes[1] = opcode;
    c.SetLow(presetAddress);
    c.SetLength(presetLength);
    return c;
  }
  constexpr CommandBlock& SetLow(std::uint16_t v) { return Put(2, v); }
  constexpr CommandBlock& SetLength(std::uint16_t v) { return Put(4, v); }
  constexpr CommandBlock& SetHigh(std::uint16_t v) { return Put(6, v); }
  // Address bits 0..15 to bytes 2-3 and, with `high`, bits 16..31 to bytes 6-7.
  constexpr CommandBlock& SetAddress(std::uint32_t address, bool high) {
    SetLow(std::uint16_t(address));
    if (high) SetHigh(std::uint16_t(address >> 16));
    return *this;
  }
  constexpr bool HasDataPhase() const { return (bytes[1] & 0x80) != 0; }
  constexpr bool IsRead() const { return (bytes[1] & 0xC0) == 0xC0; }

 private:
  constexpr CommandBlock& Put(int at, std::uint16_t v) {
    bytes[at] = std::uint8_t(v);
    bytes[at + 1] = std::uint8_t(v >> 8);
    return *this;
  }
};

namespace cmd {
// Chip commands (class 0x00).
inline constexpr CommandBlock kDevStatus = CommandBlock::Make(0x00, 0xCD, 8);
inline constexpr CommandBlock kResetToUpdateFw = CommandBlock::Make(0x00, 0x07);
inline constexpr CommandBlock kResetToUpdateFw2 = CommandBlock::Make(0x00, 0x08);
inline constexpr CommandBlock kResetToRom = CommandBlock::Make(0x00, 0x09);
inline constexpr CommandBlock kReadIMem = CommandBlock::Make(0x00, 0xC1);
inline constexpr CommandBlock kReadMem = CommandBlock::Make(0x00, 0xC2);
inline constexpr CommandBlock kWriteMem = CommandBlock::Make(0x00, 0x82);
inline constexpr CommandBlock kReadCode = CommandBlock::Make(0x00, 0xC3);
inline constexpr CommandBlock kReadPhy = CommandBlock::Make(0x00, 0xCC, 1);
inline constexpr CommandBlock kWritePhy = CommandBlock::Make(0x00, 0x8C, 1);
inline constexpr CommandBlock kEraseFlash = CommandBlock::Make(0x00, 0x04);
inline constexpr CommandBlock kNorRead = CommandBlock::Make(0x00, 0xC5);
inline constexpr CommandBlock kWriteFlash = CommandBlock::Make(0x00, 0x85);
inline constexpr CommandBlock kNorWriteTag = CommandBlock::Make(0x00, 0x06);
inline constexpr CommandBlock kDataControlSize = CommandBlock::Make(0x00, 0x16);
inline constexpr CommandBlock kSignature = CommandBlock::Make(0x00, 0xD0, 8);
inline constexpr CommandBlock kI2CReadSlave = CommandBlock::Make(0x00, 0xEA);
inline constexpr CommandBlock kI2CRead = CommandBlock::Make(0x00, 0xCA);
inline constexpr CommandBlock kI2CWriteSlave = CommandBlock::Make(0x00, 0xAA);
inline constexpr CommandBlock kI2CWrite = CommandBlock::Make(0x00, 0x8A);
inline constexpr CommandBlock kI2CRandomRead = CommandBlock::Make(0x00, 0xF1);
inline constexpr CommandBlock kI2CRandomWrite = CommandBlock::Make(0x00, 0xB1);
inline constexpr CommandBlock kI2CSuperRead = CommandBlock::Make(0x00, 0xF2, 0, 0x08);
inline constexpr CommandBlock kI2CSuperWrite = CommandBlock::Make(0x00, 0xB2, 0, 0x08);
inline constexpr CommandBlock kI2CLongRead = CommandBlock::Make(0x00, 0xF0);
inline constexpr CommandBlock kI2CLongWrite = CommandBlock::Make(0x00, 0xB0);
// Storage commands (class 0x02).
inline constexpr CommandBlock kSpiReadId = CommandBlock::Make(0x02, 0xC1, 8);
inline constexpr CommandBlock kSpiRead = CommandBlock::Make(0x02, 0xC2);
inline constexpr CommandBlock kSpiWrite = CommandBlock::Make(0x02, 0x82);
inline constexpr CommandBlock kSpiReadSr = CommandBlock::Make(0x02, 0xC3, 1);
inline constexpr CommandBlock kSpiWriteSr = CommandBlock::Make(0x02, 0x83, 1);
inline constexpr CommandBlock kSpiEraseChip = CommandBlock::Make(0x02, 0x04);
inline constexpr CommandBlock kSpiEraseSector = CommandBlock::Make(0x02, 0x05);
inline constexpr CommandBlock kSpiWriteTag = CommandBlock::Make(0x02, 0x13);
inline constexpr CommandBlock kEep8Read = CommandBlock::Make(0x02, 0xCB);
inline constexpr CommandBlock kEep8Write = CommandBlock::Make(0x02, 0x8B);
inline constexpr CommandBlock kEep16Read = CommandBlock::Make(0x02, 0xD1);
inline constexpr CommandBlock kEep16Write = CommandBlock::Make(0x02, 0x91);
inline constexpr CommandBlock kOtpWrite = CommandBlock::Make(0x02, 0x97);
inline constexpr CommandBlock kOtpRead = CommandBlock::Make(0x02, 0xD7);
inline constexpr CommandBlock kOtpBlankCheck = CommandBlock::Make(0x02, 0xD8);
inline constexpr CommandBlock kOtpAllBlankCheck = CommandBlock::Make(0x02, 0xDF);
inline constexpr CommandBlock kOtpFailAddr = CommandBlock::Make(0x02, 0xDC, 0x13);
inline constexpr CommandBlock kOtpTestDec = CommandBlock::Make(0x02, 0xD9);
inline constexpr CommandBlock kOtpWriteSt = CommandBlock::Make(0x02, 0x9A);
// Sent after a failure to clear the device's command state.
inline constexpr CommandBlock kClear = CommandBlock::Make(0xFF, 0x00);
}  // namespace cmd

// The extension unit's two controls and the requests on them.
inline constexpr std::uint8_t kCommandControl = 10;
inline constexpr std::uint8_t kDataControl = 11;
inline constexpr std::uint8_t kSetCurType = 0x21, kSetCur = 0x01;
inline constexpr std::uint8_t kGetCurType = 0xA1, kGetCur = 0x81, kGetLen = 0x85;
inline constexpr std::uint32_t kExtUnitTimeoutMs = 5000;
// What the signature check reads back: "MORVANE" and a zero byte.
inline constexpr std::uint8_t kVendorSignature[8] = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
