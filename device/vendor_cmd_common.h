#pragma once
// The command interface over the chip's memories: data memory, code memory,
// PHY registers, SPI and NOR flash, I2C EEPROMs, the OTP array and the chip's
// I2C bus. Two channels implement it: the extension-unit channel (CExtUnit)
// and the vendor-request channel (CVendorRequestV2).
//
// Every operation returns 0 on success and otherwise an error: the HRESULT of
// the platform error (0x8007048F: the device went away), E_INVALIDARG,
// E_NOTIMPL for what the channel does not offer, or 1 when the channel lock
// could not be taken. Read operations fill the caller's buffer; out values are
// written only on success.
#include <cstdint>

#include "platform/error_codes.h"

// Progress of a bulk transfer: called with the user value and the bytes just
// moved.
using ProgressCallback = void (*)(void* user, std::uint32_t bytes);

class CVendorCmdCommon {
 public:
  virtual ~CVendorCmdCommon() = default;

  static constexpr std::int32_t kNotImpl = platform::kENotImpl;

  virtual std::int32_t GetDevStatus(std::uint32_t, std::uint8_t*, std::uint32_t) { return kNotImpl; }  // 0
  virtual std::int32_t ResetToUpdateFW(std::uint16_t) { return kNotImpl; }                            // 1
  virtual std::int32_t ResetToUpdateFW2(std::uint16_t) { return kNotImpl; }                           // 2
  virtual std::int32_t ResetToRom() { return kNotImpl; }                                               // 3
  virtual std::int32_t ReadIMem(std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t ReadMem(std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t WriteMem(std::uint32_t, std::uint32_t, const std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t ReadCode(std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t ReadPhy(std::uint32_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }        // 8
  virtual std::int32_t WritePhy(std::uint32_t, std::uint32_t, const std::uint8_t*) { return kNotImpl; } // 9
  virtual std::int32_t EraseFlash() { return kNotImpl; }                                                // 10
  virtual std::int32_t NorFlash_Read(std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t WriteFlash(std::uint32_t, std::uint32_t, const std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t NorFlash_WriteTag() { return kNotImpl; }                                         // 13
  virtual std::int32_t SPI_SF_ReadID(std::uint8_t*) { return kNotImpl; }                                // 14: 8 bytes
  virtual std::int32_t SPI_SF_Read(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint8_t, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t SPI_SF_Write(std::uint32_t, std::uint32_t, const std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t SPI_SF_ReadSr(std::uint8_t&) { return kNotImpl; }                                // 17
  virtual std::int32_t SPI_SF_WriteSr(std::uint8_t) { return kNotImpl; }                                // 18
  virtual std::int32_t SPI_SF_EraseChip(std::uint32_t) { return kNotImpl; }                             // 19: time limit, ms
  virtual std::int32_t SPI_SF_EraseSector(std::uint32_t, std::uint32_t) { return kNotImpl; }            // 20
  virtual std::int32_t SPI_SF_EraseBlock(std::uint32_t, std::uint32_t, bool) { return kNotImpl; }       // 21
  virtual std::int32_t SPI_SF_WriteTag() { return kNotImpl; }                                           // 22
  virtual std::int32_t I2C_EEP8_Erase(std::uint32_t) { return kNotImpl; }                               // 23
  virtual std::int32_t I2C_EEP8_Read(std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2C_EEP8_Write(std::uint32_t, std::uint32_t, const std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2C_EEP8_WriteTag() { return kNotImpl; }                                         // 26
  virtual std::int32_t I2C_EEP16_Erase(std::uint32_t) { return kNotImpl; }                              // 27
  virtual std::int32_t I2C_EEP16_Read(std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2C_EEP16_Write(std::uint32_t, std::uint32_t, const std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2C_EEP16_WriteTag() { return kNotImpl; }                                        // 30
  virtual std::int32_t I2C_EEP_Erase(std::uint32_t) { return kNotImpl; }                                // 31
  virtual std::int32_t I2C_EEP_Read(std::uint32_t, std::uint32_t, std::uint8_t*, std::uint8_t, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2C_EEP_Write(std::uint32_t, std::uint32_t, const std::uint8_t*, std::uint8_t, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2C_EEP_WriteTag() { return kNotImpl; }                                          // 34
  virtual std::int32_t I2CReadSlave(std::uint8_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }     // 35
  virtual std::int32_t I2CRead(std::uint8_t, std::uint32_t, std::uint16_t&) { return kNotImpl; }         // 36
  virtual std::int32_t I2CWriteSlave(std::uint8_t, std::uint32_t, const std::uint8_t*) { return kNotImpl; }  // 37
  virtual std::int32_t I2CWrite(std::uint8_t, std::uint32_t, std::uint16_t) { return kNotImpl; }         // 38
  virtual std::int32_t I2CGenRead(std::uint8_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }       // 49
  virtual std::int32_t I2CGenWrite(std::uint8_t, std::uint32_t, const std::uint8_t*) { return kNotImpl; }  // 50
  virtual std::int32_t I2CRandomRead(std::uint8_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }    // 51
  virtual std::int32_t I2CRandomWrite(std::uint8_t, std::uint32_t, const std::uint8_t*) { return kNotImpl; }  // 52
  virtual std::int32_t I2CSuperRead(std::uint8_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }     // 53
  virtual std::int32_t I2CSuperWrite(std::uint8_t, std::uint32_t, const std::uint8_t*) { return kNotImpl; }  // 54
  virtual std::int32_t I2CLongRead(std::uint8_t, std::uint32_t, std::uint32_t, std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t I2CLongWrite(std::uint8_t, std::uint32_t, std::uint32_t, std::uint32_t, const std::uint8_t*, ProgressCallback, void*) { return kNotImpl; }
  virtual std::int32_t OTPWrite(std::uint32_t, std::uint32_t, std::uint16_t, const std::uint8_t*) { return kNotImpl; }  // 57
  virtual std::int32_t OTPRead(std::uint32_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }          // 58
  virtual std::int32_t OTPBlankCheck(std::uint32_t, std::uint32_t, std::uint8_t*) { return kNotImpl; }    // 59
  virtual std::int32_t OTPAllBlankCheck(std::uint32_t, std::uint32_t, std::uint8_t*) { return kNotImpl; } // 60
  virtual std::int32_t OTPPrgmFailAddr(std::uint32_t, std::uint8_t*) { return kNotImpl; }                 // 61
  virtual std::int32_t VendorModeSet(std::uint32_t) { return kNotImpl; }                                   // 62
  virtual std::int32_t VendorQuery(std::uint32_t, std::uint8_t*, std::uint32_t&) { return kNotImpl; }      // 63
};
