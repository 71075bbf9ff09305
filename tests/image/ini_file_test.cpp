#include "image/ini_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

TEST(IniFile, LooksUpSectionsAndKeysWithoutRegardToCase) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText("[Vendor Info M1]\r\nConfigAddress=0xF000\r\n"));
  EXPECT_EQ(ini.GetInt("vendor info m1", "configaddress", 0), 0xF000);
  EXPECT_EQ(ini.GetInt("VENDOR INFO M1", "CONFIGADDRESS", 0), 61440);
  EXPECT_EQ(ini.FindSection("Vendor Info M1"), 0);
  EXPECT_EQ(ini.FindSection("Other"), -1);
  EXPECT_EQ(ini.FindKey(0, "Missing"), -1);
}

TEST(IniFile, ConvertsValuesLikeAnUnsignedAutomaticBaseConversion) {
  struct Case {
    const char* value;
    int expected;
  };
  const Case cases[] = {
      {"0x10", 16}, {"0X1f", 31}, {"010", 8},          {"12abc", 12},       {"", 0},
      {"abc", 0},   {"-5", -5},   {"0x10000 ", 65536}, {"09", 0},           {"0xFFFFFFFF", -1},
      {"0x", 0},    {" 42", 42},  {"--5", 0},          {"99999999999", -1}, {"+7", 7},
  };
  for (const Case& c : cases) {
    CIniFile ini;
    ini.LoadText(std::string("[S]\nK=") + c.value);
    EXPECT_EQ(ini.GetInt("S", "K", 123), c.expected) << "value \"" << c.value << "\"";
  }
}

TEST(IniFile, DefaultsApplyToMissingSectionsAndKeys) {
  CIniFile ini;
  ini.LoadText("[S]\nK=1\n");
  EXPECT_EQ(ini.GetInt("S", "Other", 10000), 10000);
  EXPECT_EQ(ini.GetInt("None", "K", -3), -3);
  EXPECT_EQ(ini.GetString("S", "Other", "dflt"), "dflt");
  EXPECT_EQ(ini.GetString(-1, "K", "x"), "x");
}

TEST(IniFile, KeepsKeysAndValuesExactlyAsWritten) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText("[S]\nKey = value ; not a comment\nQ=\"Norvik\"\nBare key\n"));
  EXPECT_EQ(ini.FindKey(0, "Key"), -1);  // the key ends in a blank
  EXPECT_EQ(ini.GetString("S", "Key ", ""), " value ; not a comment");
  EXPECT_EQ(ini.GetString("S", "Q", ""), "\"Norvik\"");
  EXPECT_GE(ini.FindKey(0, "Bare key"), 0);
  EXPECT_EQ(ini.GetString("S", "Bare key", "x"), "");
}

TEST(IniFile, FirstMarkerDecidesWhatALineIs) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText(
      "; file comment\n"
      "[A] ; dropped\n"
      "#K=not a key\n"
      "K=v;w\n"
      "x[B]\n"
      "[no close\n"
      "L=1\n"));
  EXPECT_EQ(ini.FileComments(), std::vector<std::string>{" file comment"});
  EXPECT_EQ(ini.GetString("A", "K", ""), "v;w");
  EXPECT_EQ(ini.FindKey(ini.FindSection("A"), "#K"), -1);
  // "x[B]" opens section B; the line without ']' is ignored, so L lands in B.
  EXPECT_EQ(ini.GetInt("B", "L", 0), 1);
}

TEST(IniFile, LineStartingWithANonPrintableCharacterStopsTheLoad) {
  CIniFile ini;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ini.LoadText("[A]\nK=1\n\tT=2\n[B]\nM=3\n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failing on char 9\n");
  EXPECT_EQ(ini.GetInt("A", "K", 0), 1);  // what was read before stays usable
  EXPECT_EQ(ini.FindSection("B"), -1);
}

TEST(IniFile, KeysBeforeTheFirstSectionGoToTheSectionWithTheEmptyName) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText("K=7\n[S]\n"));
  EXPECT_EQ(ini.FindSection(""), 0);
  EXPECT_EQ(ini.GetInt("", "K", 0), 7);
}

TEST(IniFile, RepeatedKeysReplaceAndRepeatedSectionsFeedTheFirst) {
  CIniFile ini;
  ASSERT_TRUE(ini.LoadText("[V]\nConfigAddress=1\nConfigAddress=2\n[W]\n[v]\nTagAddress=3\n"));
  EXPECT_EQ(ini.GetInt("V", "ConfigAddress", 0), 2);
  EXPECT_EQ(ini.SectionCount(), 3);
  EXPECT_EQ(ini.GetInt(0, "TagAddress", 0), 3);
  EXPECT_EQ(ini.SectionKeys(2).size(), 0u);
}

TEST(IniFile, LoadNeedsASectionAndRunsOfLineEndsAreSkipped) {
  CIniFile keysOnly;
  EXPECT_TRUE(keysOnly.LoadText("K=1\n"));  // the section with the empty name
  CIniFile none;
  EXPECT_FALSE(none.LoadText("; only a comment\n\n\n"));
  CIniFile runs;
  EXPECT_TRUE(runs.LoadText("\r\n\r\n[S]\r\n\r\n\nK=1\r\n\r\n"));
  EXPECT_EQ(runs.GetInt("S", "K", 0), 1);
}

TEST(IniFile, SetValueAddSectionAndComment) {
  CIniFile ini;
  EXPECT_FALSE(ini.SetValue("S", "K", "1", false));
  EXPECT_TRUE(ini.SetValue("S", "K", "1", true));
  EXPECT_TRUE(ini.SetValue("s", "k", "2", false));
  EXPECT_EQ(ini.GetInt("S", "K", 0), 2);
  EXPECT_FALSE(ini.AddComment("T", "x"));
  EXPECT_EQ(ini.AddSection("T"), 1);
  EXPECT_TRUE(ini.AddComment("T", "x"));
  ini.Clear();
  EXPECT_EQ(ini.SectionCount(), 0);
}

TEST(IniFile, DuplicateKeysFlagAddsASecondEntry) {
  CIniFile ini("", true, true);
  ini.LoadText("[S]\nK=1\nK=2\n");
  EXPECT_EQ(ini.SectionKeys(0).size(), 2u);
  EXPECT_EQ(ini.GetInt("S", "K", 0), 1);  // lookups find the first
}

TEST(IniFile, LoadsFilesAndTreatsAMissingFileAsEmpty) {
  TempDir dir;
  dir.Write("a.ini", "[Quillox Config]\r\nIc Name=VMC2230\r\nBus Type=USB");
  CUserIni ini(dir.File("a.ini"));
  EXPECT_TRUE(ini.Load());
  EXPECT_EQ(ini.GetString("Quillox Config", "Ic Name", ""), "VMC2230");
  EXPECT_EQ(ini.GetString("Quillox Config", "Bus Type", ""), "USB");

  CUserIni missing(dir.File("missing.ini"));
  EXPECT_FALSE(missing.Load());
  EXPECT_EQ(missing.GetInt("Vendor Info M1", "ConfigAddress", 0), 0);
}

}  // namespace
