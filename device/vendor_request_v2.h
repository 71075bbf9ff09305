#pragma once
// The vendor-request channel: every operation is a USB vendor request to the
// device (bmRequestType 0x40 out, 0xC0 in) carrying up to 0x1000 bytes, which
// makes it the faster of the two channels. It takes no lock and keeps no
// buffer; a failed request returns its error without a status read.
//
// Field forms:
//   memory       wValue = addr[19:16] << 8 | len[19:16] << 12 (| parameter), wIndex = addr[15:0], wLength = len[15:0]
//   SPI          wValue = addr[23:16] << 8 | read mode,                      wIndex = addr[15:0], wLength = len
//   value        wValue = a byte value,                                       wIndex = 0
#include <cstdint>

#include "device/vendor_cmd_common.h"

class ControlPipe;
namespace platform {
class Clock;
}

inline constexpr std::uint32_t kVendorRequestTimeoutMs = 5000;
inline constexpr std::uint32_t kVendorRequestPiece = 0x1000;

class CVendorRequestV2 final : public CVendorCmdCommon {
 public:
  CVendorRequestV2(ControlPipe& pipe, platform::Clock& clock) : pipe_(pipe), clock_(clock) {}

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
  std::int32_t SPI_SF_EraseBlock(std::uint32_t address, std::uint32_t blockSize, bool wait) override;
  std::int32_t SPI_SF_WriteTag() override;
  std::int32_t I2C_EEP8_Erase(std::uint32_t count) override;
  std::int32_t I2C_EEP8_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP8_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP8_WriteTag() override;
  std::int32_t I2C_EEP16_Erase(std::uint32_t count) override;
  std::int32_t I2C_EEP16_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP16_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP16_WriteTag() override;
  std::int32_t I2C_EEP_Erase(std::uint32_t count) override;
  std::int32_t I2C_EEP_Read(std::uint32_t a, std::uint32_t n, std::uint8_t* b, std::uint8_t width, ProgressCallback cb,
                            void* u) override;
  std::int32_t I2C_EEP_Write(std::uint32_t a, std::uint32_t n, const std::uint8_t* b, std::uint8_t width,
                             ProgressCallback cb, void* u) override;
  std::int32_t I2C_EEP_WriteTag() override;
  std::int32_t I2CRead(std::uint8_t width, std::uint32_t reg, std::uint16_t& value) override;
  std::int32_t I2CWrite(std::uint8_t width, std::uint32_t reg, std::uint16_t value) override;
  std::int32_t I2CGenRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t I2CGenWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) override;
  std::int32_t I2CRandomRead(std::uint8_t slave, std::uint32_t n, std::uint8_t* b) override;
  std::int32_t I2CRandomWrite(std::uint8_t slave, std::uint32_t n, const std::uint8_t* b) override;
  std::int32_t VendorModeSet(std::uint32_t value) override;
  std::int32_t VendorQuery(std::uint32_t value, std::uint8_t* buffer, std::uint32_t& count) override;

  // One byte with request 0x06 (value 0), and request 0x10 with a byte value.
  std::int32_t ReadOneByte(std::uint8_t& value);
  std::int32_t SendByteCommand(std::uint8_t value);

 private:
  enum class Form { Memory, Spi };
  std::int32_t Request(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                       std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs = kVendorRequestTimeoutMs);
  // A read or write in pieces of 0x1000 bytes.
  std::int32_t Pieces(std::uint8_t request, bool in, Form form, std::uint8_t low, std::uint32_t address,
                      std::uint32_t length, std::uint8_t* buffer, ProgressCallback cb, void* user);
  std::int32_t Fill(std::uint32_t count, std::uint8_t request, std::uint8_t low);

  ControlPipe& pipe_;
  platform::Clock& clock_;
};
