#pragma once
// Every key of the settings store with its default. Keys whose default is read
// as one byte go through GetConfigInt; the others through GetConfigValue.
#include <string>

#include "app/config_ini.h"

struct SettingKey {
  const char* name;
  int def;
  bool byteDefault;
};

namespace setting {
inline constexpr SettingKey kDebugLog{"Debug Log", 0, true};
inline constexpr SettingKey kIniType{"Ini Type", 0, false};
inline constexpr SettingKey kLibType{"Lib Type", 0, false};
inline constexpr SettingKey kLockPort{"LockPort", 0, true};
inline constexpr SettingKey kPortNo{"PortNo", 0, false};
inline constexpr SettingKey kAutoRun{"AutoRun", 0, true};
inline constexpr SettingKey kCheckVidPidIni{"CheckVIDPID_INI", 0, true};
inline constexpr SettingKey kCheckVidPidBin{"CheckVIDPID_BIN", 0, true};
inline constexpr SettingKey kResetToCache{"ResetToCache", 1, true};
inline constexpr SettingKey kNormalReset{"Normal Reset", 1, true};
inline constexpr SettingKey kSnFunction{"SN Function", 0, true};
inline constexpr SettingKey kSaveSn{"SaveSN", 0, true};
inline constexpr SettingKey kSnAddress{"SN Address", 0, true};
inline constexpr SettingKey kEraseTimeOut{"EraseTimeOut", 10000, false};
inline constexpr SettingKey kEraseCommandTime{"EraseCommandTime", 0, false};
inline constexpr SettingKey kDisableRebootCheck{"Disable Reboot Check", 0, true};
inline constexpr SettingKey kLoopTest{"Loop Test", 0, true};
inline constexpr SettingKey kLoopTestReboot{"Loop Test Reboot", 0, true};
inline constexpr SettingKey kSaveResultToFile{"SaveResultToFile", 0, false};
inline constexpr SettingKey kLogType{"LogType", 0, true};
inline constexpr SettingKey kWaitTime{"Wait Time", 5000, false};
inline constexpr SettingKey kRtd3{"RTD3", 0, true};
inline constexpr SettingKey kBcdType{"BCDType", 0, true};
inline constexpr SettingKey kAutoRunDelay{"AutoRunDelay", 0, false};
// 1: a flash update of a family that erases the whole chip erases only the
// 64 KiB blocks its image occupies.
inline constexpr SettingKey kBlockErase{"Block Erase", 0, true};
inline constexpr char kOtpPassword[] = "OTP Password";  // text, default empty

// The value of a key of section "Quillox Config", with its default.
inline int Get(const SettingKey& key) {
  return key.byteDefault ? GetConfigInt(static_cast<std::uint8_t>(key.def), kConfigSection, key.name)
                         : GetConfigValue(kConfigSection, key.name, key.def);
}
inline void Set(const SettingKey& key, int value) { SetConfigInt(kConfigSection, key.name, value); }
inline std::string OtpPassword() { return GetConfigString(kConfigSection, kOtpPassword, ""); }
}  // namespace setting
