// IC-type descriptions: discovery, selection, keys, chip match, image table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "image/builtin_tables.h"
#include "image/ic_type_ini.h"
#include "platform/resources.h"
#include "tests/support/image_fixtures.h"

namespace {

namespace fs = std::filesystem;

class IcTypeIniTest : public ImageTest {
 protected:
  void SetUp() override {
    ImageTest::SetUp();
    folder = fs::temp_directory_path() /
             ("tessaload-ic-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    fs::remove_all(folder);
    ImageTest::TearDown();
  }
  void Write(const std::string& name, const std::string& text) { std::ofstream(folder / name) << text; }

  fs::path folder;
};

TEST_F(IcTypeIniTest, BuiltInDescriptionsCarryTheirKeys) {
  struct Row {
    const char* name;
    int id;
    const char* icName;
    const char* defBin;
    int configAddress, configSize;
    std::vector<std::array<int, 3>> variants;
  };
  const Row rows[] = {
      {"VMC2210", 2030, "VMC2210", "FFU_2210", 0xAE00, 512, {{0x00, 0x00, 17}, {0x10, 0x70, 17}}},
      {"VMC2230", 2031, "VMC2230", "FFU_2230", 0xF000, 4096, {{0x10, 0xB0, 21}}},
      {"VMC2232", 2032, "VMC2230", "FFU_2232", 0xF000, 4096, {{0x10, 0xF0, 24}, {0x10, 0xC0, 24}}},
      {"VMC2240", 2033, "VMC2230", "FFU_2240", 0xF000, 4096, {{0x10, 0xD0, 25}}},
      {"VMC2222", 2034, "VMC2230", "FFU_2222", 0xF000, 4096, {{0x10, 0xE0, 23}}},
      {"VMC2270", 2035, "VMC2230", "FFU_2270", 0xF000, 4096, {{0x10, 0x10, 26}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto text = platform::FindResource("ICINI", r.id);
    CIniFile ini;
    ASSERT_TRUE(ini.LoadText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size())));
    EXPECT_EQ(ini.GetString("Quillox Config", "Ic Name", ""), r.icName);
    EXPECT_EQ(ini.GetString("Quillox Config", "Def Bin", ""), r.defBin);
    EXPECT_EQ(ini.GetString("Quillox Config", "Bus Type", ""), "USB");
    EXPECT_EQ(ini.GetString("Quillox Config", "Project Type", ""), "FLASH");
    EXPECT_GE(ini.FindKey(ini.FindSection("Property Config"), "ShowStyle"), 0);
    EXPECT_EQ(ini.GetInt("Vendor Info M1", "ConfigAddress", 0), r.configAddress);
    EXPECT_EQ(ini.GetInt("Vendor Info M1", "ConfigSize", 0), r.configSize);
    EXPECT_EQ(ini.GetInt("Vendor Info M1", "TagAddress", 0), 0xEFFE);
    for (const char* key : {"PROPTYPE_Manufactor", "PROPTYPE_Product", "PROPTYPE_SN", "PROPTYPE_IADStr",
                            "propType_UBistName", "propType_VIDPID", "Vendor Info", "PPAddress", "FlashSize",
                            "CodeSize", "UIType", "DSPAddress"})
      EXPECT_GE(ini.FindKey(ini.FindSection("Vendor Info M1"), key), 0) << key;
    EXPECT_GE(ini.FindKey(ini.FindSection("Camera_USB_01"), "GroupName"), 0);
    for (std::size_t i = 0; i < r.variants.size(); ++i) {
      const std::string section = "Camera_Register_0" + std::to_string(i);
      EXPECT_EQ(ini.GetInt(section, "ICRegister1", -1), r.variants[i][0]);
      EXPECT_EQ(ini.GetInt(section, "ICRegister2", -1), r.variants[i][1]);
      EXPECT_EQ(ini.GetInt(section, "ChipInfo", -1), r.variants[i][2]);
    }
    EXPECT_LT(ini.FindSection("Camera_Register_0" + std::to_string(r.variants.size())), 0);
  }
  const auto text = platform::FindResource("ICINI", 2030);
  CIniFile ini;
  ini.LoadText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  EXPECT_EQ(ini.GetInt("Vendor Info M1", "propType_AudioSetting1", 0), 16);
}

TEST_F(IcTypeIniTest, BuiltInInitialSelection) {
  CICTypeIni ic(folder.string());
  ic.DiscoverDescriptions();
  EXPECT_EQ(ic.FoundFiles(), (std::vector<std::string>{"VMC2232.ini", "VMC2270.ini", "VMC2240.ini", "VMC2210.ini",
                                                       "VMC2222.ini", "VMC2230.ini"}));
  ic.SelectInitialDescription();
  EXPECT_EQ(ic.GetString("Quillox Config", "Def Bin", ""), "FFU_2230");
  EXPECT_EQ(ic.DescriptionText().size(), platform::FindResource("ICINI", 2031).size());

  ic.SetSelectedFileName("VMC9999.INI");
  ic.SelectInitialDescription();
  EXPECT_EQ(ic.IcName(), "VMC2210");
  EXPECT_EQ(ic.GetConfigAddress(), 0xAE00);

  ic.SelectDescriptionByIndex(6);  // beyond the list: nothing loaded
  EXPECT_EQ(ic.SectionCount(), 0);
  EXPECT_EQ(ic.GetConfigAddress(), 0);
}

TEST_F(IcTypeIniTest, ExternalDiscoveryLeavesOutConfigIniOnly) {
  IniType = 1;
  Write("config.ini", "[Quillox Config]\nIc Name=settings\n");
  Write("VMC9999.ini", "[Quillox Config]\nIc Name=VMC9999\nBus Type=PCIE\n");
  Write("notes.txt", "[Quillox Config]\n");
  fs::create_directories(folder / "folder.ini");
  CICTypeIni ic(folder.string());
  ic.DiscoverDescriptions();
  EXPECT_EQ(ic.FoundFiles(), std::vector<std::string>{"VMC9999.ini"});
  ic.SelectInitialDescription();  // "VMC2230.INI" is not there: the first file
  EXPECT_EQ(ic.SelectedFileName(), "VMC9999.ini");
  EXPECT_EQ(ic.IcName(), "VMC9999");
  EXPECT_EQ(BusType, 1);

  Write("CONFIG.INI", "[Quillox Config]\nIc Name=upper\n");
  Write("VMC2230.INI", "[Quillox Config]\nIc Name=VMC2230\nBus Type=SATA\n");
  ic.DiscoverDescriptions();
  EXPECT_EQ(ic.FoundFiles(), (std::vector<std::string>{"CONFIG.INI", "VMC2230.INI", "VMC9999.ini"}));
  ic.SetSelectedFileName("VMC2230.INI");
  ic.SelectInitialDescription();
  EXPECT_EQ(ic.IcName(), "VMC2230");
  EXPECT_EQ(BusType, 1);  // unknown bus name: unchanged
  ic.SelectDescriptionByIndex(0);
  ic.ReadGeneralKeys();
  EXPECT_EQ(ic.IcName(), "upper");
}

TEST_F(IcTypeIniTest, ExternalModeWithoutFilesRunsWithoutDescription) {
  IniType = 1;
  CICTypeIni ic(folder.string());
  ic.SetChipInfo(21);
  ic.DiscoverDescriptions();
  ic.SelectInitialDescription();
  EXPECT_EQ(ic.FoundCount(), 0);
  EXPECT_TRUE(ic.SelectedFileName().empty());
  EXPECT_EQ(ic.GetConfigAddress(), 0);
  EXPECT_EQ(ic.MatchChipRegisters(0x10, 0xB0), 0);
  EXPECT_EQ(ic.ChipInfo(), 21);
  EXPECT_EQ(ic.FindDeviceImageId("VID_3C5A&PID_2230&REV_0100"), 0);
}

TEST_F(IcTypeIniTest, VendorInfoIntegers) {
  IniType = 1;
  Write("A.ini", "[Vendor Info M1]\nConfigAddress=0xF000\nConfigSize=010\nTagAddress=0x10000 \n");
  CICTypeIni ic(folder.string());
  ic.DiscoverDescriptions();
  ic.SelectInitialDescription();
  EXPECT_EQ(ic.GetConfigAddress(), 61440);
  EXPECT_EQ(ic.GetConfigSize(), 8);
  EXPECT_EQ(ic.GetTagAddress(), 65536);
  EXPECT_EQ(ic.GetVendorInfo("PPAddress"), 0);
}

TEST_F(IcTypeIniTest, ChipRegistersSelectTheDescription) {
  CICTypeIni ic(folder.string());
  ic.DiscoverDescriptions();
  int matched = -1;
  for (int i = 0; i < ic.FoundCount() && matched < 0; ++i) {
    ic.SelectDescriptionByIndex(i);
    if (ic.MatchChipRegisters(0x10, 0xC0)) matched = i;
  }
  ASSERT_GE(matched, 0);
  EXPECT_EQ(BuiltInDescriptions()[std::size_t(matched)].id, 2032);
  EXPECT_EQ(ic.ChipInfo(), 24);
  EXPECT_EQ(ic.MatchedRegister2(), 0xC0);

  ic.SelectDescriptionByIndex(3);  // VMC2210: (0x00, 0x00) is its first variant
  EXPECT_EQ(ic.MatchChipRegisters(0x00, 0x00), 1);
  EXPECT_EQ(ic.ChipInfo(), 17);
  EXPECT_EQ(ic.MatchChipRegisters(0x10, 0xC0), 0);
  EXPECT_EQ(ic.ChipInfo(), 17);
}

TEST_F(IcTypeIniTest, ImageTableAndDeviceImageNames) {
  EXPECT_EQ(DeviceImageName("VID_3C5A&PID_2230&REV_0100"), "FFU_3C5A_2230");
  EXPECT_EQ(DeviceImageName("VID_1234&PID_ABCD"), "FFU_1234");
  EXPECT_EQ(DeviceImageName(""), "FFU");
  const CICTypeIni ic = BuiltIn("VMC2270");
  EXPECT_EQ(ic.GetDefaultImageId(), 3046);
  EXPECT_EQ(ic.FindImageId("FFU_2210"), 3012);
  EXPECT_EQ(ic.FindImageId("FFU_9999"), 0);
  EXPECT_EQ(ic.FindDeviceImageId("VID_3C5A&PID_2232&REV_0100"), 3022);
  for (const NamedId& row : BuiltInImageTable())
    EXPECT_EQ(platform::FindResource("BINARY", row.id).empty(), row.id == 3100) << row.name;
}

TEST_F(IcTypeIniTest, IdentityListsNameTheSimulatedCodecs) {
  const auto list = platform::FindResource("ICINI", 3034);
  const std::string text(list.begin(), list.end());
  for (const char* pid : {"2210", "2230", "2232", "2240", "2222", "2270"})
    EXPECT_NE(text.find(std::string("VID_3C5A&PID_") + pid + "&REV_0100\r\n"), std::string::npos) << pid;
  EXPECT_FALSE(platform::FindResource("ICINI", 3036).empty());
  EXPECT_FALSE(platform::FindResource("ICINI", 3037).empty());
}

}  // namespace
