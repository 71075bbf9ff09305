#pragma once
// The EEPROM front ends: what the window and the command line call for a
// codec whose code lives in an I2C EEPROM with 8-bit or 16-bit addresses.
// One class serves both widths; the width is the front end's. Reads go into
// the update image, which the read slots save.
#include <string>

#include "flow/config_info.h"
#include "image/image_check.h"

class CEepromInfo : public CEepromConfigInfo {
 public:
  explicit CEepromInfo(int width) : width_(width) {}
  int Width() const { return width_; }

  int ReadCode() override;
  int EraseCode() override;
  int UpdateCode() override;
  int Download() override { return EEU_Download(); }
  int SilenceWriteBin(const std::string& fileName) override { return EEU_Silence_WriteBin(fileName); }
  int SilenceWriteSNBin(const std::string& fileName, const std::string& serial) override {
    return EEU_Silence_WriteSNBin(fileName, serial);
  }
  int SilenceReadBin(const std::string& fileName) override;
  int SilenceVerifyBin(const std::string& fileName) override { return EEU_Silence_VerifyBin(fileName); }
  int SilenceReadText(const std::string& fileName) override;
  int EraseCodeEx(int resetAfter) override;

  // EEU8_Download and EEU16_Download by the front end's width, and the
  // command-line operations of both widths.
  int EEU_Download();
  int EEU_Silence_WriteBin(const std::string& fileName);
  int EEU_Silence_WriteSNBin(const std::string& fileName, const std::string& serial);
  int EEU_Silence_VerifyBin(const std::string& fileName);

 private:
  // What the guard checks an image for: this front end's EEPROM.
  ImageTarget Target() const;
  void ReadNoMoreThanTheEeprom() const;

  const int width_;
};

class CEepromInfo8_USB final : public CEepromInfo {
 public:
  CEepromInfo8_USB() : CEepromInfo(8) {}
};

class CEepromInfo16_USB final : public CEepromInfo {
 public:
  CEepromInfo16_USB() : CEepromInfo(16) {}
};
