#include "device/ext_unit.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/trace.h"
#include "device/control_pipe.h"
#include "device/vcmd_status.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kLockWaitMs = 10000;
constexpr std::uint32_t kPiece = 0x8000;
constexpr std::uint32_t kMaxCommandLength = 0xFFFF;
constexpr std::uint32_t kI2CLongPiece = 64;

}  // namespace

CExtUnitBase::CExtUnitBase(platform::Clock& clock, const std::string& location)
    : clock_(clock), lock_(CodecLockName(kChannelLockName, location)) {}

CExtUnitBase::CSyncOperate::CSyncOperate(CExtUnitBase& unit)
    : unit_(unit), locked_(unit.lock_.Lock(kLockWaitMs, unit.clock_)) {}

CExtUnitBase::CSyncOperate::~CSyncOperate() {
  if (locked_) unit_.lock_.Unlock();
}

void CExtUnitBase::ReportError(const std::string& label, std::int32_t result) {
  TraceScope scope("CExtUnitBase::ReportError", kTraceFlow, false);
  TraceLine(scope, "%s failed: 0x%08X\n", label.c_str(), unsigned(result));
  lastStatus_ = kVcmdStatusUnknown;
  if (result == platform::kHrDeviceNotConnected) return;
  std::memset(data_, 0, 8);
  if (GetStatusBlock(data_) == 0) lastStatus_ = data_[0];
  SendCommand(cmd::kClear);
}

bool CExtUnitBase::DevQualify() {
  CSyncOperate lock(*this);
  if (!lock) return false;
  if (SendCommand(cmd::kSignature) != 0) return false;
  std::memset(data_, 0, kDataBufferSize);
  if (GetDataUnit(data_) != 0) return false;
  return std::memcmp(data_, kVendorSignature, 8) == 0;
}

std::int32_t CExtUnitBase::GetDataBulk(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& failedOffset,
                                       ProgressCallback cb, void* user) {
  length &= 0xFFFF;
  const std::uint32_t unit = dataControlSize_;
  std::uint32_t done = 0;
  for (; done + unit <= length; done += unit) {
    if (std::int32_t r = GetDataUnit(buffer + done)) {
      failedOffset = done;
      return r;
    }
    if (cb) cb(user, unit);
  }
  if (done < length) {
    std::memset(data_, 0, unit);
    if (std::int32_t r = GetDataUnit(data_)) {
      failedOffset = done;
      return r;
    }
    std::memcpy(buffer + done, data_, length - done);
    if (cb) cb(user, length - done);
  }
  return 0;
}

std::int32_t CExtUnitBase::SetDataBulk(const std::uint8_t* buffer, std::uint32_t length,
                                       std::uint32_t& failedOffset, ProgressCallback cb, void* user) {
  length &= 0xFFFF;
  const std::uint32_t unit = dataControlSize_;
  std::uint32_t done = 0;
  for (; done + unit <= length; done += unit) {
    if (std::int32_t r = SetDataUnit(buffer + done)) {
      failedOffset = done;
      return r;
    }
    if (cb) cb(user, unit);
  }
  if (done < length) {
    std::memset(data_, 0, unit);
    std::memcpy(data_, buffer + done, length - done);
    if (std::int32_t r = SetDataUnit(data_)) {
      failedOffset = done;
      return r;
    }
    if (cb) cb(user, length - done);
  }
  return 0;
}

std::int32_t CExtUnitBase::Transfer(const char* name, CommandBlock block, bool high, std::uint32_t address,
                                    std::uint32_t length, std::uint8_t* buffer, ProgressCallback cb, void* user) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  while (length > kMaxCommandLength) {
    if (std::int32_t r = Transfer(name, block, high, address, kPiece, buffer, cb, user)) return r;
    address += kPiece;
    buffer += kPiece;
    length -= kPiece;
  }
  if (length == 0) return 0;
  block.SetAddress(address, high).SetLength(std::uint16_t(length));
  if (std::int32_t r = SendCommand(block)) {
    ReportError(std::string(name) + " SetCmd", r);
    return r;
  }
  std::uint32_t failed = 0;
  const bool read = block.IsRead();
  const std::int32_t r =
      read ? GetDataBulk(buffer, length, failed, cb, user) : SetDataBulk(buffer, length, failed, cb, user);
  if (r) ReportError(std::string(name) + (read ? " GetData at " : " SetData at ") + std::to_string(address + failed), r);
  return r;
}

std::int32_t CExtUnitBase::Simple(const char* name, const CommandBlock& block) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  const std::int32_t r = SendCommand(block);
  if (r) ReportError(std::string(name) + " SetCmd", r);
  return r;
}

std::int32_t CExtUnitBase::UnitRead(const char* name, const CommandBlock& block, std::uint8_t* out,
                                    std::uint32_t n) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  if (n > dataControlSize_) return platform::kEInvalidArg;
  if (std::int32_t r = SendCommand(block)) {
    ReportError(std::string(name) + " SetCmd", r);
    return r;
  }
  std::memset(data_, 0, dataControlSize_);
  if (std::int32_t r = GetDataUnit(data_)) {
    ReportError(std::string(name) + " GetData", r);
    return r;
  }
  std::memcpy(out, data_, n);
  return 0;
}

std::int32_t CExtUnitBase::UnitWrite(const char* name, const CommandBlock& block, const std::uint8_t* data,
                                     std::uint32_t n) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  if (n > dataControlSize_) return platform::kEInvalidArg;
  if (std::int32_t r = SendCommand(block)) {
    ReportError(std::string(name) + " SetCmd", r);
    return r;
  }
  std::memset(data_, 0, dataControlSize_);
  std::memcpy(data_, data, n);
  if (std::int32_t r = SetDataUnit(data_)) {
    ReportError(std::string(name) + " SetData", r);
    return r;
  }
  return 0;
}

std::int32_t CExtUnitBase::GetDevStatus(std::uint32_t start, std::uint8_t* buffer, std::uint32_t count) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  const std::uint32_t words = count / 8 + (count % 8 ? 1 : 0);
  for (std::uint32_t w = 0; w < words; ++w) {
    const std::uint32_t n = std::min<std::uint32_t>(8, count - w * 8);
    CommandBlock block = cmd::kDevStatus;
    if (std::int32_t r = UnitRead("GetDevStatus", block.SetLow(std::uint16_t(start + w)).SetLength(8),
                                  buffer + w * 8, n))
      return r;
  }
  return 0;
}

std::int32_t CExtUnitBase::ResetToUpdateFW(std::uint16_t argument) {
  CommandBlock block = cmd::kResetToUpdateFw;
  return Simple("ResetToUpdateFW", block.SetLow(argument));
}

std::int32_t CExtUnitBase::ResetToUpdateFW2(std::uint16_t argument) {
  CommandBlock block = cmd::kResetToUpdateFw2;
  return Simple("ResetToUpdateFW2", block.SetLow(argument));
}

std::int32_t CExtUnitBase::ResetToRom() { return Simple("ResetToRom", cmd::kResetToRom); }

std::int32_t CExtUnitBase::ReadIMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) {
  return Transfer("ReadIMem", cmd::kReadIMem, false, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::ReadMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) {
  return Transfer("ReadMem", cmd::kReadMem, false, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::WriteMem(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb,
                                    void* u) {
  return Transfer("WriteMem", cmd::kWriteMem, false, a, n, const_cast<std::uint8_t*>(b), cb, u);
}

std::int32_t CExtUnitBase::ReadCode(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) {
  return Transfer("ReadCode", cmd::kReadCode, false, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::ReadPhy(std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  for (std::uint32_t i = 0; i < n; ++i) {
    CommandBlock block = cmd::kReadPhy;
    if (std::int32_t r = UnitRead("ReadPhy", block.SetLow(std::uint16_t(a + i)), b + i, 1)) return r;
  }
  return 0;
}

std::int32_t CExtUnitBase::WritePhy(std::uint32_t a, std::uint32_t n, const std::uint8_t* b) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  for (std::uint32_t i = 0; i < n; ++i) {
    CommandBlock block = cmd::kWritePhy;
    if (std::int32_t r = UnitWrite("WritePhy", block.SetLow(std::uint16_t(a + i)), b + i, 1)) return r;
  }
  return 0;
}

std::int32_t CExtUnitBase::EraseFlash() { return Simple("EraseFlash", cmd::kEraseFlash); }

std::int32_t CExtUnitBase::NorFlash_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                                         void* u) {
  return Transfer("NorFlash_Read", cmd::kNorRead, false, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::WriteFlash(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb,
                                      void* u) {
  return Transfer("WriteFlash", cmd::kWriteFlash, false, a, n, const_cast<std::uint8_t*>(b), cb, u);
}

std::int32_t CExtUnitBase::NorFlash_WriteTag() { return Simple("NorFlash_WriteTag", cmd::kNorWriteTag); }

std::int32_t CExtUnitBase::SPI_SF_ReadID(std::uint8_t* id) { return UnitRead("SPI_SF_ReadID", cmd::kSpiReadId, id, 8); }

std::int32_t CExtUnitBase::SPI_SF_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, std::uint8_t,
                                       ProgressCallback cb, void* u) {
  return Transfer("SPI_SF_Read", cmd::kSpiRead, true, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::SPI_SF_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb,
                                        void* u) {
  return Transfer("SPI_SF_Write", cmd::kSpiWrite, true, a, n, const_cast<std::uint8_t*>(b), cb, u);
}

std::int32_t CExtUnitBase::SPI_SF_ReadSr(std::uint8_t& status) {
  std::uint8_t value = 0;
  const std::int32_t r = UnitRead("SPI_SF_ReadSr", cmd::kSpiReadSr, &value, 1);
  if (r == 0) status = value;
  return r;
}

std::int32_t CExtUnitBase::SPI_SF_WriteSr(std::uint8_t status) {
  return UnitWrite("SPI_SF_WriteSr", cmd::kSpiWriteSr, &status, 1);
}

std::int32_t CExtUnitBase::SPI_SF_EraseChip(std::uint32_t) { return Simple("SPI_SF_EraseChip", cmd::kSpiEraseChip); }

std::int32_t CExtUnitBase::SPI_SF_EraseSector(std::uint32_t address, std::uint32_t sectorSize) {
  if (sectorSize == 0 || address % sectorSize != 0) return platform::kEInvalidArg;
  CommandBlock block = cmd::kSpiEraseSector;
  return Simple("SPI_SF_EraseSector", block.SetAddress(address, true).SetLength(0));
}

std::int32_t CExtUnitBase::SPI_SF_WriteTag() { return Simple("SPI_SF_WriteTag", cmd::kSpiWriteTag); }

std::int32_t CExtUnitBase::Erase(const CommandBlock& write, std::uint32_t count) {
  std::vector<std::uint8_t> ones(count, 0xFF);
  CSyncOperate lock(*this);
  if (!lock) return 1;
  // The pieces carry only address bits 0..15; an EEPROM holds at most 64 KB.
  return Transfer("EEPROM Erase", write, false, 0, count, ones.data(), nullptr, nullptr);
}

std::int32_t CExtUnitBase::I2C_EEP8_Erase(std::uint32_t count) { return Erase(cmd::kEep8Write, count); }

std::int32_t CExtUnitBase::I2C_EEP8_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                                         void* u) {
  return Transfer("I2C_EEP8_Read", cmd::kEep8Read, true, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::I2C_EEP8_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b,
                                          ProgressCallback cb, void* u) {
  return Transfer("I2C_EEP8_Write", cmd::kEep8Write, true, a, n, const_cast<std::uint8_t*>(b), cb, u);
}

std::int32_t CExtUnitBase::I2C_EEP8_WriteTag() {
  const std::uint8_t tag = 0xA5;
  return I2C_EEP8_Write(1, 1, &tag, nullptr, nullptr);
}

std::int32_t CExtUnitBase::I2C_EEP16_Erase(std::uint32_t count) { return Erase(cmd::kEep16Write, count); }

std::int32_t CExtUnitBase::I2C_EEP16_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                                          void* u) {
  return Transfer("I2C_EEP16_Read", cmd::kEep16Read, true, a, n, b, cb, u);
}

std::int32_t CExtUnitBase::I2C_EEP16_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b,
                                           ProgressCallback cb, void* u) {
  return Transfer("I2C_EEP16_Write", cmd::kEep16Write, true, a, n, const_cast<std::uint8_t*>(b), cb, u);
}

std::int32_t CExtUnitBase::I2C_EEP16_WriteTag() {
  const std::uint8_t tag = 0xA5;
  return I2C_EEP16_Write(1, 1, &tag, nullptr, nullptr);
}

std::int32_t CExtUnitBase::I2CReadSlave(std::uint8_t slave, std::uint32_t n, std::uint8_t* out) {
  CommandBlock block = cmd::kI2CReadSlave;
  return UnitRead("I2CReadSlave", block.SetLow(slave).SetLength(std::uint16_t(n)), out, n);
}

std::int32_t CExtUnitBase::I2CWriteSlave(std::uint8_t slave, std::uint32_t n, const std::uint8_t* data) {
  CommandBlock block = cmd::kI2CWriteSlave;
  return UnitWrite("I2CWriteSlave", block.SetLow(slave).SetLength(std::uint16_t(n)), data, n);
}

std::int32_t CExtUnitBase::I2CRead(std::uint8_t width, std::uint32_t reg, std::uint16_t& value) {
  std::uint8_t two[2] = {};
  const std::int32_t r = Transfer("I2CRead", cmd::kI2CRead, true, reg, 2, two, nullptr, nullptr);
  if (r == 0) value = width == 1 ? two[0] : std::uint16_t(two[0] | (two[1] << 8));
  return r;
}

std::int32_t CExtUnitBase::I2CWrite(std::uint8_t width, std::uint32_t reg, std::uint16_t value) {
  std::uint8_t two[2] = {std::uint8_t(value), width == 1 ? std::uint8_t(0) : std::uint8_t(value >> 8)};
  return Transfer("I2CWrite", cmd::kI2CWrite, true, reg, 2, two, nullptr, nullptr);
}

std::int32_t CExtUnitBase::I2CGenRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) {
  return Transfer("I2CGenRead", cmd::kI2CReadSlave, false, slave, n, b, nullptr, nullptr);
}

std::int32_t CExtUnitBase::I2CGenWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) {
  return Transfer("I2CGenWrite", cmd::kI2CWriteSlave, false, slave, n, const_cast<std::uint8_t*>(b), nullptr,
                  nullptr);
}

std::int32_t CExtUnitBase::I2CRandomRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* out) {
  CommandBlock block = cmd::kI2CRandomRead;
  return UnitRead("I2CRandomRead", block.SetLow(slave).SetLength(std::uint16_t(n)), out, n);
}

std::int32_t CExtUnitBase::I2CRandomWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* data) {
  CommandBlock block = cmd::kI2CRandomWrite;
  return UnitWrite("I2CRandomWrite", block.SetLow(slave).SetLength(std::uint16_t(n)), data, n);
}

std::int32_t CExtUnitBase::I2CSuperRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) {
  return Transfer("I2CSuperRead", cmd::kI2CSuperRead, false, slave, n, b, nullptr, nullptr);
}

std::int32_t CExtUnitBase::I2CSuperWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) {
  return Transfer("I2CSuperWrite", cmd::kI2CSuperWrite, false, slave, n, const_cast<std::uint8_t*>(b), nullptr,
                  nullptr);
}

std::int32_t CExtUnitBase::I2CLongRead(std::uint8_t slave, std::uint32_t a, std::uint32_t n, std::uint8_t* b,
                                       ProgressCallback, void*) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  std::uint8_t piece[kI2CLongPiece];
  while (n > 0) {
    const std::uint32_t len = std::min(n, kI2CLongPiece);
    CommandBlock block = cmd::kI2CLongRead;
    block.SetHigh(slave);
    if (std::int32_t r = Transfer("I2CLongRead", block, false, a, len, piece, nullptr, nullptr)) return r;
    std::memcpy(b, piece, len);
    a += len;
    b += len;
    n -= len;
  }
  return 0;
}

std::int32_t CExtUnitBase::I2CLongWrite(std::uint8_t slave, std::uint32_t a, std::uint32_t, std::uint32_t n,
                                        const std::uint8_t* b, ProgressCallback, void*) {
  CSyncOperate lock(*this);
  if (!lock) return 1;
  std::uint8_t piece[kI2CLongPiece];
  const bool split = n > kI2CLongPiece;
  while (n > 0) {
    const std::uint32_t len = std::min(n, kI2CLongPiece);
    const bool last = len == n;
    // The piece that completes a split request, and any short piece, carries
    // the address in 15 bits.
    const std::uint32_t address = (last && split) || len < kI2CLongPiece ? (a & 0x7FFF) : a;
    std::memcpy(piece, b, len);
    CommandBlock block = cmd::kI2CLongWrite;
    block.SetHigh(slave);
    if (std::int32_t r = Transfer("I2CLongWrite", block, false, address, len, piece, nullptr, nullptr)) return r;
    a += len;
    b += len;
    n -= len;
  }
  return 0;
}

std::int32_t CExtUnitBase::OTPWrite(std::uint32_t a, std::uint32_t n, std::uint16_t parameter,
                                    const std::uint8_t* data) {
  CSyncOperate lock(*this);
  if (!lock) {
    lastStatus_ = kVcmdStatusUnknown;
    return 1;
  }
  lastStatus_ = 0;
  if (n > kMaxCommandLength) return platform::kEInvalidArg;
  CommandBlock block = cmd::kOtpWrite;
  block.SetHigh(parameter);
  return Transfer("OTPWrite", block, false, a, n, const_cast<std::uint8_t*>(data), nullptr, nullptr);
}

std::int32_t CExtUnitBase::OTPRead(std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
  if (n > kMaxCommandLength) return platform::kEInvalidArg;
  return Transfer("OTPRead", cmd::kOtpRead, false, a, n, b, nullptr, nullptr);
}

std::int32_t CExtUnitBase::OTPBlankCheck(std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
  if (n > kMaxCommandLength) return platform::kEInvalidArg;
  return Transfer("OTPBlankCheck", cmd::kOtpBlankCheck, false, a, n, b, nullptr, nullptr);
}

// The commands below describe their data phase by other fields than the
// address and length pair, so they are built here and run as a command with
// a data phase of `resultLength` bytes.
std::int32_t CExtUnitBase::OTPAllBlankCheck(std::uint32_t a, std::uint32_t resultLength, std::uint8_t* b) {
  if (resultLength > kMaxCommandLength) return platform::kEInvalidArg;
  CSyncOperate lock(*this);
  if (!lock) return 1;
  CommandBlock block = cmd::kOtpAllBlankCheck;
  block.SetLow(std::uint16_t(a)).SetLength(8).SetHigh(std::uint16_t(resultLength));
  if (std::int32_t r = SendCommand(block)) {
    ReportError("OTPAllBlankCheck SetCmd", r);
    return r;
  }
  std::uint32_t failed = 0;
  const std::int32_t r = GetDataBulk(b, resultLength, failed);
  if (r) ReportError("OTPAllBlankCheck GetData", r);
  return r;
}

std::int32_t CExtUnitBase::OTPPrgmFailAddr(std::uint32_t resultLength, std::uint8_t* b) {
  if (resultLength > kMaxCommandLength) return platform::kEInvalidArg;
  CSyncOperate lock(*this);
  if (!lock) return 1;
  if (std::int32_t r = SendCommand(cmd::kOtpFailAddr)) {
    ReportError("OTPPrgmFailAddr SetCmd", r);
    return r;
  }
  std::uint32_t failed = 0;
  const std::int32_t r = GetDataBulk(b, resultLength, failed);
  if (r) ReportError("OTPPrgmFailAddr GetData", r);
  return r;
}

std::int32_t CExtUnitBase::OTPTestDec(std::uint32_t a, std::uint32_t n, std::uint8_t* b) {
  if (n > kMaxCommandLength) return platform::kEInvalidArg;
  return Transfer("OTPTestDec", cmd::kOtpTestDec, false, a, n, b, nullptr, nullptr);
}

std::int32_t CExtUnitBase::OTPWriteST(std::uint32_t a, std::uint16_t parameter, std::uint32_t n,
                                      const std::uint8_t* data) {
  if (n > kMaxCommandLength) return platform::kEInvalidArg;
  CommandBlock block = cmd::kOtpWriteSt;
  block.SetHigh(parameter);
  return Transfer("OTPWriteST", block, false, a, n, const_cast<std::uint8_t*>(data), nullptr, nullptr);
}

// --- CExtUnit -----------------------------------------------------------------

CExtUnit::CExtUnit(ControlPipe& pipe, std::uint8_t unitId, std::uint8_t interfaceNumber, platform::Clock& clock,
                   const std::string& location)
    : CExtUnitBase(clock, location), pipe_(pipe), unitId_(unitId), interface_(interfaceNumber) {}

std::int32_t CExtUnit::Request(bool read, std::uint8_t request, std::uint8_t control, std::uint8_t* data,
                               std::uint16_t length) {
  std::uint32_t transferred = 0;
  const std::uint32_t error = pipe_.ClassRequest(read ? kGetCurType : kSetCurType, request, control, unitId_,
                                                 interface_, data, length, kExtUnitTimeoutMs, &transferred);
  return platform::HResultFromWin32(error);
}

std::int32_t CExtUnit::SendCommand(const CommandBlock& block) {
  std::uint8_t bytes[8];
  std::memcpy(bytes, block.bytes.data(), 8);
  return Request(false, kSetCur, kCommandControl, bytes, 8);
}

std::int32_t CExtUnit::GetStatusBlock(std::uint8_t* status8) { return Request(true, kGetCur, kCommandControl, status8, 8); }

std::int32_t CExtUnit::GetDataUnit(std::uint8_t* unit) {
  return Request(true, kGetCur, kDataControl, unit, std::uint16_t(dataControlSize_));
}

std::int32_t CExtUnit::SetDataUnit(const std::uint8_t* unit) {
  return Request(false, kSetCur, kDataControl, const_cast<std::uint8_t*>(unit), std::uint16_t(dataControlSize_));
}

std::int32_t CExtUnit::ChangeDataControlSize(std::uint16_t& size) {
  if (size == dataControlSize_) return 1;
  CSyncOperate lock(*this);
  if (!lock) return 0;
  CommandBlock block = cmd::kDataControlSize;
  std::int32_t r = SendCommand(block.SetLength(size));
  std::uint8_t reported[2] = {};
  if (r == 0) r = Request(true, kGetLen, kDataControl, reported, 2);
  const std::uint32_t now = reported[0] | (reported[1] << 8);
  if (r == 0 && (now == 0 || now > kDataBufferSize)) r = platform::HResultFromWin32(platform::kErrorInvalidData);
  if (r != 0) {
    size = std::uint16_t(dataControlSize_);
    ReportError("ChangeDataControlSize SetCmd", r);
    return 0;
  }
  dataControlSize_ = now;
  if (now == size) return 1;
  size = std::uint16_t(now);
  return 0;
}
