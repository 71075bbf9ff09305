#pragma once
// Device selection and the memory-type interface: which connected codec a job
// works on (by position, by the accepted identities, by the locked port, by
// the entry chosen in the window), and the eleven operations every memory
// type's front end implements.
#include <cstdint>
#include <string>

#include "flow/mp_flow2.h"
#include "image/image_version.h"

class FlowHost;
class TraceScope;

class CDevFlow : public CDevTypeInfo {
 public:
  CDevFlow();
  ~CDevFlow() override;

  // Memory-type interface. The defaults: slot 0 returns 0, slots 1 to 4
  // return 0, slots 5 to 10 record 41500 "Not Support!" and return 0.
  virtual int LocateConfig(const std::vector<std::uint8_t>* image, int ignored);
  virtual int ReadCode();
  virtual int EraseCode();
  virtual int UpdateCode();
  virtual int Download();
  virtual int SilenceWriteBin(const std::string& fileName);
  virtual int SilenceWriteSNBin(const std::string& fileName, const std::string& serial);
  virtual int SilenceReadBin(const std::string& fileName);
  virtual int SilenceVerifyBin(const std::string& fileName);
  virtual int SilenceReadText(const std::string& fileName);
  virtual int EraseCodeEx(int resetAfter);

  int DEV_OpenDevice();
  int DEV_OpenDeviceByICIni();
  int DEV_OpenDeviceByICIni(int index);
  int DEV_OpenDeviceByVIDPID();
  // The command line's choice: with `explicitIndex` ("-d N") the codec at
  // that position or none; otherwise the first accepted one. The identity
  // rule follows "CheckVIDPID_INI": 0 the vendor ID alone, 2 VidPidList.ini,
  // any other value the built-in list; "LockPort" keeps to "PortNo".
  int DEV_OpenDeviceForCommandLine(int index, bool explicitIndex);
  void DEV_GetDefaultDeviceForAllInOne();
  int DEV_GetDeviceListForAllInOne(int reason);
  void DEV_GetDeviceListExist();
  int Dev_OpenDeviceForMultiCamera();
  int DEV_GetDeviceListAfterReset();
  int DEV_ReadDeviceInfo();
  int DEV_RefreshDeviceInfo();
  void PrepareJobFlags();

  // Identity checks of a "VID_vvvv&PID_pppp&REV_rrrr" text.
  static bool CheckVidPidBuiltIn(const std::string& identity);
  static bool CheckVidPidFile(const std::string& identity);
  bool CheckVidPidImage() const;
  // The configured check; true when none is configured.
  bool RunConfiguredCheck();
  static bool CheckConfigured();
  // The open device's identity passes the rule of "CheckVIDPID_INI".
  bool AcceptedIdentity();

  int defaultIndex = -1;
  int defaultListPosition = -1;
  int listCheckResult = 1;
  int romDeviceFlag = 0;
  int device1010Flag = 0;
  std::uint8_t chipRegister1 = 0, chipRegister2 = 0;
  std::uint32_t port = 0;
  // "Update FW version:" and the version of the device's built-in image.
  std::string updateVersionText;
  // What device identification read of the device's built-in image: its
  // version, and four flags of the configuration block at 0xF000.
  FwVersion imageVersion{};
  struct ConfigFlags {
    bool signedImage = false;      // bank-copy byte 0x5A
    bool eepromSettingSet = false;  // EEPROM-setting record present, byte 0x5A
    bool bankSwitch = false;       // force-update flags, bit 4
    bool signatureCheck = false;   // force-update flags, bit 6
  } imageFlags;

 protected:
  // Reads VID, PID, REV and the manufacturer string, and the texts built of them.
  void ReadIdentity();
  void ReadLocation();
  void ReadChipRegisters();
  // Selects the IC-type description whose chip registers match; 1 when one did.
  int SelectIcTypeForChip();
  void CloseDevice();
  // Opens a position, trying again after a failed attempt.
  int OpenIndex(int index);
  // With "LockPort": the open device is on port "PortNo" (which the first
  // device fills when it is 0).
  bool OnLockedPort();
  int ChooseOpenDevice();
  int RefuseIdentity(const TraceScope& scope);
  // The start of a device-list pass: the auto-run event reset, no device
  // chosen, the window's list emptied; the device count.
  int BeginListPass(FlowHost* host, bool autoRun);
  void Say(const std::string& text);
};
