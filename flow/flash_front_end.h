#pragma once
// The SPI and NOR flash front ends: what the window and the command line call
// for a flash-based codec.
#include <string>

#include "flow/flash_flow.h"

class CFlashConfigInfo : public CMpFlow_Flash {};

class CFlashInfo : public CFlashConfigInfo {
 public:
  int FFU_Download();
  int FFU_Silence_WriteBin(const std::string& fileName);
  int FFU_Silence_WriteSNBin(const std::string& fileName, const std::string& serial);
  int FFU_Silence_VerifyBin(const std::string& fileName);

 protected:
  // Carries data the device keeps in its flash over into the new image, for
  // the devices that need it.
  void PrepareImageForDevice();
  // A chip outside the boot-ROM family starts only an image that carries its
  // tag (0x55 0xAA, set when the configuration area is rebuilt): an image
  // without it would cost the old firmware and never start. Refused before
  // the codec is touched.
  int RefuseUntaggedImage(const std::vector<std::uint8_t>& image);
};

class CSPIFlashInfo_USB final : public CFlashInfo {
 public:
  int ReadCode() override;
  int EraseCode() override;
  int UpdateCode() override;
  int Download() override { return FFU_Download(); }
  int SilenceWriteBin(const std::string& fileName) override { return FFU_Silence_WriteBin(fileName); }
  int SilenceWriteSNBin(const std::string& fileName, const std::string& serial) override {
    return FFU_Silence_WriteSNBin(fileName, serial);
  }
  int SilenceReadBin(const std::string& fileName) override;
  int SilenceVerifyBin(const std::string& fileName) override { return FFU_Silence_VerifyBin(fileName); }
  int SilenceReadText(const std::string& fileName) override;
  int EraseCodeEx(int resetAfter) override;
};

class CNORFlashInfo_USB final : public CFlashInfo {
 public:
  int ReadCode() override { return 1; }
  int EraseCode() override { return 1; }
  int UpdateCode() override { return 1; }
  int Download() override;
};
