#pragma once
// The OTP front ends: what the window and the command line call for a codec
// with OTP code memory. A download cuts the image into its code part and its
// configuration part and appends each as one block.
#include <string>
#include <vector>

#include "flow/memory_access.h"
#include "flow/otp_flow.h"

class COTPConfigInfo : public CMpFlow_OTP {
 public:
  // The part of the image the last block write took (of a download of both
  // parts, the configuration part).
  std::vector<std::uint8_t> otpPart;
};

class COTPInfo : public COTPConfigInfo {
 public:
  // Serial number, update mode, both parts, reset; success 41931.
  int OTP_Download();
  // Writes the code part and the configuration part of the image, each
  // present one as a block (both together as one download that starts only
  // once whole); success `successStatus`.
  int OTP_ForNormalDownload(const std::vector<std::uint8_t>& image, int successStatus);
  int OTP_ForConfigDownload(const std::vector<std::uint8_t>& image, int successStatus);
  // The whole OTP, as programmed, into the read-back buffer; success 41929.
  int OTP_Read();
  // The command-line write: only an image newer than the running code, or
  // any image for a blank OTP (42045 same version, 42046 older).
  int Silence_OTPWriteBin(const std::string& fileName);
  int Silence_OTPWriteSNBin(const std::string& fileName, const std::string& serial);

 protected:
  // Cuts the image into the parts the OTP takes (no code part unless
  // `withCode`); 0 with 41925 posted when it cannot be cut or holds neither.
  int CutParts(const std::vector<std::uint8_t>& image, bool withCode, std::vector<std::uint8_t>& code,
               std::vector<std::uint8_t>& config);
  // Writes the parts present, then the reset; the codec must be in its boot ROM.
  int WriteParts(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& config, int successStatus);
};

class COTPInfo_USB final : public COTPInfo {
 public:
  int ReadCode() override { return OTP_Read(); }
  int EraseCode() override { return RefuseAction(kNoErase); }
  int UpdateCode() override;
  int Download() override { return OTP_Download(); }
  int SilenceWriteBin(const std::string& fileName) override { return Silence_OTPWriteBin(fileName); }
  int SilenceWriteSNBin(const std::string& fileName, const std::string& serial) override {
    return Silence_OTPWriteSNBin(fileName, serial);
  }
  int SilenceReadBin(const std::string& fileName) override;
  int SilenceVerifyBin(const std::string&) override { return RefuseAction(kNoVerify); }
  int SilenceReadText(const std::string&) override { return RefuseAction(kNoReadText); }
  int EraseCodeEx(int) override { return RefuseAction(kNoErase); }

 private:
  static constexpr char kNoErase[] = "an OTP cannot be erased";
  static constexpr char kNoVerify[] =
      "an OTP holds its image as blocks, not as the file's bytes: it is not verified against a file (-dumpotp reads "
      "it)";
  static constexpr char kNoReadText[] = "the OTP is read as a binary file only";
};
