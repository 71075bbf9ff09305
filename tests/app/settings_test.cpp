#include <gtest/gtest.h>

#include "app/config_ini.h"
#include "app/settings_keys.h"
#include "platform/resources.h"
#include "tests/support/temp_dir.h"

namespace {

class Settings : public testing::Test {
 protected:
  void TearDown() override { DestroySettingsStore(); }
};

TEST_F(Settings, BuiltInTextIsTheFourLinesOfTheResource) {
  auto bytes = platform::FindResource("ICINI", 3032);
  const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  EXPECT_EQ(text, "[Quillox Config]\r\nCheckVIDPID_INI=1\r\nAutoRun=0\r\nCompanyName=\"Norvik\"");
  EXPECT_TRUE(platform::FindResource("icini", 3032).size() == bytes.size());
  EXPECT_TRUE(platform::FindResource("ICINI", 9999).empty());
}

TEST_F(Settings, BuiltInValuesAndDefaults) {
  CConfigIni config;
  config.LoadSettings();
  EXPECT_EQ(setting::Get(setting::kCheckVidPidIni), 1);
  EXPECT_EQ(setting::Get(setting::kAutoRun), 0);
  EXPECT_EQ(setting::Get(setting::kEraseTimeOut), 10000);
  EXPECT_EQ(setting::Get(setting::kWaitTime), 5000);
  EXPECT_EQ(setting::Get(setting::kResetToCache), 1);
  EXPECT_EQ(setting::Get(setting::kNormalReset), 1);
  EXPECT_EQ(setting::Get(setting::kDebugLog), 0);
  EXPECT_EQ(setting::OtpPassword(), "");
  EXPECT_EQ(GetConfigString(kConfigSection, "CompanyName", ""), "\"Norvik\"");
}

TEST_F(Settings, KeysMatchInAnyLetterCase) {
  CConfigIni config;
  config.LoadSettingsFrom("[Quillox Config]\r\nDebug Log=1\r\n", "");
  EXPECT_EQ(GetConfigInt(0, "quillox config", "debug log"), 1);
  EXPECT_EQ(GetConfigInt(0, "QUILLOX CONFIG", "DEBUG LOG"), 1);
}

TEST_F(Settings, WithoutAnyTextEveryKeyTakesItsDefault) {
  CConfigIni config;
  config.LoadSettingsFrom("", "");
  EXPECT_EQ(setting::Get(setting::kCheckVidPidIni), 0);
  EXPECT_EQ(setting::Get(setting::kWaitTime), 5000);
  DestroySettingsStore();
  EXPECT_EQ(setting::Get(setting::kEraseTimeOut), 10000);  // no store at all
}

TEST_F(Settings, SetConfigIntAddsAMissingKey) {
  CConfigIni config;
  config.LoadSettingsFrom("[Quillox Config]\r\nAutoRun=0", "");
  setting::Set(setting::kPortNo, 7);
  EXPECT_EQ(setting::Get(setting::kPortNo), 7);
  SetConfigInt("New Section", "Key", -2);
  EXPECT_EQ(GetConfigValue("New Section", "Key", 0), -2);
}

TEST_F(Settings, ConfigIniOverridesTheBuiltInTextKeyByKey) {
  TempDir dir;
  dir.Write("config.ini", "[Quillox Config]\r\nAutoRun=2\r\nLoop Test=1\r\nLogType=0x1\r\n");
  CConfigIni config;
  config.LoadSettingsFrom("[Quillox Config]\r\nCheckVIDPID_INI=1\r\nAutoRun=0", dir.File("config.ini"));
  EXPECT_EQ(setting::Get(setting::kAutoRun), 2);
  EXPECT_EQ(setting::Get(setting::kLoopTest), 1);
  EXPECT_EQ(setting::Get(setting::kLogType), 1);
  EXPECT_EQ(setting::Get(setting::kCheckVidPidIni), 1);  // untouched keys stay
}

TEST_F(Settings, AMissingConfigIniChangesNothing) {
  TempDir dir;
  CConfigIni config;
  config.LoadSettingsFrom("[Quillox Config]\r\nAutoRun=1", dir.File("config.ini"));
  EXPECT_EQ(setting::Get(setting::kAutoRun), 1);
}

}  // namespace
