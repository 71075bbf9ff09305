#pragma once
// Flash primitives of the flow object (write protection, erase, empty check,
// write, verify, read, tag, for SPI and NOR flash) and the layers up to the
// device-type data: CMpFlow2 .. CDevTypeInfo.
#include <cstdint>

#include "flow/mp_flow.h"
#include "image/mixins.h"

// Where the image lives in flash and how it is erased, by IC family.
std::uint32_t FlashAddressFor(std::uint8_t family, std::uint32_t imageLength, std::uint32_t offset);

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

  // The IC family code of the description in use.
  static std::uint8_t IcFamily();

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
  // Chunked walks over the mapped flash addresses.
  int ReadChunks(std::uint8_t* buffer, std::uint32_t length, int phase, int base, int span, bool mapped,
                 bool (*skip)(std::uint8_t* chunk, std::uint32_t offset, std::uint32_t n, std::uint8_t family));
};

class CMpFlow3 : public CMpFlow2 {};

class CMpFlow4 : public CMpFlow3 {
 public:
  // Prepares the device and brings it into the boot ROM's update mode.
  int MP_OpenRomDevice();
};

class CMpFlow_Customize : public CMpFlow4 {};

class CDevTypeInfo : public CMpFlow_Customize, public CDataInfo {
 public:
  // OTP usage figures of the device.
  std::uint32_t otpUsedSpace = 0;
};
