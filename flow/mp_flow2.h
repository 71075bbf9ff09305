#pragma once
// Flash primitives of the flow object (write protection, erase, empty check,
// write, verify, read, tag, for SPI and NOR flash) and the layers up to the
// device-type data: CMpFlow2 .. CDevTypeInfo.
#include <cstdint>

#include "flow/mp_flow.h"
#include "flow/otp_layout.h"
#include "image/chip_facts.h"
#include "image/mixins.h"

class CMpFlow2 : public CMpFlow {
 public:
  int MP_DisableWriteProtect() override;
  int MP_EnableWriteProtect() override;
  int MP_EraseSPIFlash(int forceChipErase, std::uint32_t imageLength);
  int MP_CheckSPIFlashEmpty(std::uint8_t* buffer, std::uint32_t length);
  int MP_WriteSPIFlash(const std::uint8_t* image, std::uint32_t length);
  int MP_VerifySPIFlash(std::uint8_t* buffer, std::uint32_t length);
  int MP_ReadSPIFlash(std::uint8_t* buffer, std::uint32_t length);
  int MP_WriteSPIFlashTag();
  int MP_EraseNORFlash();
  int MP_CheckNORFlashEmpty(std::uint8_t* buffer, std::uint32_t length);
  int MP_WriteNORFlash(const std::uint8_t* image, std::uint32_t length);
  int MP_VerifyNORFlash(std::uint8_t* buffer, std::uint32_t length);
  int MP_WriteNORFlashTag();

  // EEPROM primitives (eeprom_primitives.cpp). Chunks of 8 bytes, each tried
  // up to 8 times; a stop request or the first failing chunk returns 0.
  int MP_EepromWPOff();
  int MP_EepromWPOn();
  int MP_WriteEeprom16(const std::uint8_t* image, std::uint32_t length);
  int MP_ReadEeprom16(std::uint8_t* buffer, std::uint32_t length);
  int MP_VerifyEeprom16(std::uint8_t* buffer, std::uint32_t length);
  int MP_WriteEeprom16Tag();
  int MP_FillEeprom16();
  int MP_WriteEeprom8(const std::uint8_t* image, std::uint32_t length);
  int MP_ReadEeprom8(std::uint8_t* buffer, std::uint32_t length);
  // Only the first 64 bytes, the ones the 8-bit erase clears.
  int MP_CheckEeprom8Empty();
  int MP_EraseEeprom8();
  int MP_WriteEeprom8Tag();

  // The IC family code of the description in use.
  static std::uint8_t IcFamily();
  // The flash facts of that family, and where image offset `offset` of an
  // image of `imageLength` bytes lies in its flash.
  static const FlashChipFacts& FlashFacts();
  static std::uint32_t MappedFlashAddress(std::uint32_t imageLength, std::uint32_t offset);

 private:
  struct WpPin {
    std::uint16_t direction, output;
    std::uint8_t bit;
  };
  // The write-protect pin groups of the chip; `protectable` false when the
  // chip's pin groups leave protection to the firmware.
  bool PinGroups(WpPin* groups, int& count, bool& protectable);
  int SwitchPin(const WpPin& pin, bool high);
  int WaitFlashIdle();
  int SwitchEepromPin(bool release);
  // One EEPROM walk over `length` bytes from address 0, `width` 8 or 16:
  // writes `in` when given, else reads into `out`; progress
  // base + span x done / length after each chunk.
  int EepromChunks(int width, const std::uint8_t* in, std::uint8_t* out, std::uint32_t length, int phase, int base,
                   int span);
  int EepromRegisterOp(bool fill16);
  // Chunked reads of every chunk, at the mapped flash addresses when `mapped`.
  int ReadChunks(std::uint8_t* buffer, std::uint32_t length, int phase, int base, int span, bool mapped);
  int WaitEraseDone(std::uint32_t timeLimitMs);
  // Erases the 64 KiB blocks from flash address `start` that hold `length`
  // bytes (at least one), waiting for each; 0 at the first that fails.
  int EraseBlocks(std::uint32_t start, std::uint32_t length, std::uint32_t timeLimitMs);
  // The chip erase of a family that erases the whole chip, or, with
  // "Block Erase" set and an image to write, only the blocks the image and
  // its configuration area occupy.
  int EraseForImage(std::uint32_t imageLength, bool imageBlocksOnly, std::uint32_t timeLimitMs);
};

class CMpFlow3 : public CMpFlow2 {};

class CMpFlow4 : public CMpFlow3 {
 public:
  // Prepares the device and brings it into the boot ROM's update mode.
  int MP_OpenRomDevice();
};

class CMpFlow_Customize : public CMpFlow4 {
 public:
  // Reads the OTP's VD and ECC tables and what they leave for downloads;
  // bytes an interrupted write left behind the last block count as used.
  int MP_ReadOtpUsage(otp::Usage& usage);
  // One past the last byte programmed from `from` on, in `end`: a block write
  // cut off before its VD entry leaves its bytes there. Reads 256-byte windows
  // until one is blank; bytes that a pending ECC entry (marker 0x5A, value 0)
  // of the 64-byte table `ecc` names belong to that entry and do not count.
  int MP_OTPProgrammedEnd(std::uint32_t from, const std::uint8_t* ecc, std::uint32_t& end);
};

class CDevTypeInfo : public CMpFlow_Customize, public CDataInfo {
 public:
  // OTP usage figures of the device.
  std::uint32_t otpUsedSpace = 0;
};
