#pragma once
// The flow object's middle layers: the job record, the codec's identity and
// modes, the resets into the boot ROM's update mode and back to the new code,
// and the reporting hooks.
#include <cstdint>
#include <string>

#include "flow/mp_config.h"
#include "flow/vex_fun.h"

class CShowInfo {};

// Reset kinds.
inline constexpr int kResetUpdate = 7;
inline constexpr int kResetRom = 9;
inline constexpr int kResetRomForced = 10;

class CMpFlow : public CVexFun, public CShowInfo, public CMpConfig {
 public:
  // Reporting: phase texts, progress, failure and success, through NotifyUI.
  static void PostPhase(int status);
  static void PostProgress(int percent);
  static void PostFailure(int status);
  static void PostSuccess(int status);

  // One attempt to open the device with that index; 1 when a handle was had.
  int MP_OpenDevice(int index);
  // The reset of that kind; the handle is replaced by the found device's.
  int MP_DoReset(int kind, std::uint16_t argument);
  int MP_RefreshIdentity();
  int MP_RefreshDeviceInfo();
  int MP_GetDeviceInfo();
  // `cache` becomes 1 when the device runs its firmware from code cache.
  int MP_IsCacheMode(std::uint8_t& cache);
  // Brings the device into the boot ROM's update mode.
  int MP_ResetToRomCode();
  // Flash write protection, by the chip's pin table.
  virtual int MP_DisableWriteProtect() = 0;
  virtual int MP_EnableWriteProtect() = 0;

  // The chip identifier at 0xFE21; false when it cannot be read.
  bool ReadChipId(ChipId& id);
  int ReadDeviceStatus(std::uint8_t* status104);
  // The mode byte and its text for the chip.
  bool ReadModeByte(const ChipId& id, std::uint8_t& mode);

 protected:
  // Identity text and version fields of the connected device.
  int BuildIdentity(bool forDisplay);
  int RefreshInfo(bool full);
};
