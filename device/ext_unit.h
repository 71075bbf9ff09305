#pragma once
// The extension-unit channel: command blocks and their data tunnelled through
// the command control (10) and the data control (11) of the vendor's
// extension unit, as class requests to the audio-control interface.
//
// Every operation takes the codec's channel lock (device/codec_locks.h, 10 s);
// the lock re-enters for the owning thread, so an operation that splits itself
// holds it across its pieces. A failed request is followed by
// a status read and the clear command (ReportError), except when the device
// has gone away.
#include <cstdint>
#include <string>

#include "device/codec_locks.h"
#include "device/command_block.h"
#include "device/vendor_cmd_common.h"
#include "platform/named_mutex.h"

class ControlPipe;
namespace platform {
class Clock;
}

class CExtUnitBase : public CVendorCmdCommon {
 public:
  // `location`: the codec's location path, which names its channel lock.
  CExtUnitBase(platform::Clock& clock, const std::string& location);

  std::int32_t GetDevStatus(std::uint32_t start, std::uint8_t* buffer, std::uint32_t count) override;
  std::int32_t ResetToUpdateFW(std::uint16_t argument) override;
  std::int32_t ResetToUpdateFW2(std::uint16_t argument) override;
  std::int32_t ResetToRom() override;
  std::int32_t ReadIMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t ReadMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t WriteMem(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t ReadCode(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t ReadPhy(std::uint32_t a, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t WritePhy(std::uint32_t a, std::uint32_t n, const std::uint8_t* b) override;
  std::int32_t EraseFlash() override;
  std::int32_t NorFlash_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t WriteFlash(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t NorFlash_WriteTag() override;
  std::int32_t SPI_SF_ReadID(std::uint8_t* id) override;
  std::int32_t SPI_SF_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, std::uint8_t mode, ProgressCallback cb,
                           void* u) override;
  std::int32_t SPI_SF_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t SPI_SF_ReadSr(std::uint8_t& status) override;
  std::int32_t SPI_SF_WriteSr(std::uint8_t status) override;
  std::int32_t SPI_SF_EraseChip(std::uint32_t timeLimitMs) override;
  std::int32_t SPI_SF_EraseSector(std::uint32_t address, std::uint32_t sectorSize) override;
  std::int32_t SPI_SF_WriteTag() override;
  std::int32_t I2C_EEP8_Erase(std::uint32_t count) override;
  std::int32_t I2C_EEP8_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP8_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP8_WriteTag() override;
  std::int32_t I2C_EEP16_Erase(std::uint32_t count) override;
  std::int32_t I2C_EEP16_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP16_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP16_WriteTag() override;
  std::int32_t I2CReadSlave(std::uint8_t slave, std::uint32_t n, std::uint8_t* out) override;
  std::int32_t I2CRead(std::uint8_t width, std::uint32_t reg, std::uint16_t& value) override;
  std::int32_t I2CWriteSlave(std::uint8_t slave, std::uint32_t n, const std::uint8_t* data) override;
  std::int32_t I2CWrite(std::uint8_t width, std::uint32_t reg, std::uint16_t value) override;
  std::int32_t I2CGenRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t I2CGenWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) override;
  std::int32_t I2CRandomRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* out) override;
  std::int32_t I2CRandomWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* data) override;
  std::int32_t I2CSuperRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t I2CSuperWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) override;
  std::int32_t I2CLongRead(std::uint8_t slave, std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb,
                           void* u) override;
  std::int32_t I2CLongWrite(std::uint8_t slave, std::uint32_t a, std::uint32_t ignored, std::uint32_t n,
                            const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t OTPWrite(std::uint32_t a, std::uint32_t n, std::uint16_t parameter, const std::uint8_t* data) override;
  std::int32_t OTPRead(std::uint32_t a, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t OTPBlankCheck(std::uint32_t a, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t OTPAllBlankCheck(std::uint32_t a, std::uint32_t resultLength, std::uint8_t* b) override;
  std::int32_t OTPPrgmFailAddr(std::uint32_t resultLength, std::uint8_t* b) override;

  // After any failed request: last status 0xFF, then (unless the device went
  // away) the status block is read and the clear command sent.
  virtual void ReportError(const std::string& label, std::int32_t result);
  // True when the device answers the signature check with "MORVANE\0".
  virtual bool DevQualify();
  // Asks for another data-control size: 1 when the size is now the requested
  // one; 0 when the device reported another size (given back in `size`) or a
  // request failed (`size` set back to the current one).
  virtual std::int32_t ChangeDataControlSize(std::uint16_t& size) = 0;
  virtual std::int32_t OTPTestDec(std::uint32_t a, std::uint32_t n, std::uint8_t* b);
  virtual std::int32_t OTPWriteST(std::uint32_t a, std::uint16_t parameter, std::uint32_t n, const std::uint8_t* data);

  // Channel primitives.
  virtual std::int32_t SendCommand(const CommandBlock& block) = 0;
  virtual std::int32_t GetStatusBlock(std::uint8_t* status8) = 0;
  virtual std::int32_t GetDataUnit(std::uint8_t* unit) = 0;
  virtual std::int32_t SetDataUnit(const std::uint8_t* unit) = 0;
  // Whole units straight to the caller, a tail through the data buffer; on a
  // failed unit `failedOffset` says where.
  std::int32_t GetDataBulk(std::uint8_t* buffer, std::uint32_t length, std::uint32_t& failedOffset,
                           ProgressCallback cb = nullptr, void* user = nullptr);
  std::int32_t SetDataBulk(const std::uint8_t* buffer, std::uint32_t length, std::uint32_t& failedOffset,
                           ProgressCallback cb = nullptr, void* user = nullptr);

  std::uint8_t LastStatus() const { return lastStatus_; }
  std::uint32_t DataControlSize() const { return dataControlSize_; }

 protected:
  static constexpr std::uint32_t kDataBufferSize = 1024;

  // Holds the channel lock for one operation.
  class CSyncOperate {
   public:
    explicit CSyncOperate(CExtUnitBase& unit);
    ~CSyncOperate();
    explicit operator bool() const { return locked_; }

   private:
    CExtUnitBase& unit_;
    bool locked_;
  };

  // Command, then a data phase of `length` bytes in the command's direction;
  // lengths of 0x10000 and more go in pieces of 0x8000.
  std::int32_t Transfer(const char* name, CommandBlock block, bool high, std::uint32_t address,
                        std::uint32_t length, std::uint8_t* buffer, ProgressCallback cb, void* user);
  // A command without a data phase.
  std::int32_t Simple(const char* name, const CommandBlock& block);
  // A command followed by one data unit through the data buffer.
  std::int32_t UnitRead(const char* name, const CommandBlock& block, std::uint8_t* out, std::uint32_t n);
  std::int32_t UnitWrite(const char* name, const CommandBlock& block, const std::uint8_t* data, std::uint32_t n);
  std::int32_t Erase(const CommandBlock& write, std::uint32_t count);

  platform::Clock& clock_;
  platform::NamedMutex lock_;
  std::uint8_t data_[kDataBufferSize] = {};
  std::uint32_t dataControlSize_ = 8;
  std::uint8_t lastStatus_ = 0xFF;
};

class CExtUnit final : public CExtUnitBase {
 public:
  // The channel of the extension unit `unitId` in audio-control interface
  // `interfaceNumber` of the device behind `pipe`.
  CExtUnit(ControlPipe& pipe, std::uint8_t unitId, std::uint8_t interfaceNumber, platform::Clock& clock,
           const std::string& location = {});
  ~CExtUnit() override = default;

  std::int32_t ChangeDataControlSize(std::uint16_t& size) override;
  std::int32_t SendCommand(const CommandBlock& block) override;
  std::int32_t GetStatusBlock(std::uint8_t* status8) override;
  std::int32_t GetDataUnit(std::uint8_t* unit) override;
  std::int32_t SetDataUnit(const std::uint8_t* unit) override;

  std::uint8_t UnitId() const { return unitId_; }

 private:
  std::int32_t Request(bool read, std::uint8_t request, std::uint8_t control, std::uint8_t* data,
                       std::uint16_t length);

  ControlPipe& pipe_;
  std::uint8_t unitId_;
  std::uint8_t interface_;
};
