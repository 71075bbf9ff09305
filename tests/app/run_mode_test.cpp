#include <gtest/gtest.h>

#include "app/parse_arg.h"
#include "app/quillox_app.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(RunMode, WindowModeForNoArgumentsOrForceRestartAlone) {
  EXPECT_TRUE(IsWindowModeCommandLine({"tessaload"}));
  EXPECT_TRUE(IsWindowModeCommandLine({"tessaload", "/forcerestart"}));
  EXPECT_TRUE(IsWindowModeCommandLine({"tessaload", "/ForceRestart"}));
  EXPECT_FALSE(IsWindowModeCommandLine({"tessaload", "/forcerestart", "x"}));
  EXPECT_FALSE(IsWindowModeCommandLine({"tessaload", "-f", "a.rfw"}));
  EXPECT_FALSE(IsWindowModeCommandLine({"tessaload", ""}));
}

TEST(RunMode, VersionTextKeepsMajorMinorAndBuild) {
  EXPECT_EQ(VersionTextFromFileVersion("3.0.0.46"), "3.0.46");
  EXPECT_EQ(VersionTextFromFileVersion("1.12.7.1234"), "1.12.1234");
  EXPECT_EQ(VersionTextFromFileVersion("1.2"), "");
  EXPECT_EQ(VersionTextFromFileVersion(""), "");
}

struct ParseCase {
  std::vector<std::string> args;
  int result;
  char action;
  const char* file;
  int startIndex;
};

TEST(ParseArg, ActionsFileNamesAndStartIndex) {
  const ParseCase cases[] = {
      {{"t", "-f", "-write", "image.rfw"}, 1, 'W', "image.rfw", 0},
      {{"t", "-f", "image.rfw"}, 1, 'W', "image.rfw", 0},
      {{"t", "-f", "image.rfw", "-erase"}, 1, 'W', "image.rfw", 0},
      {{"t", "-F", "-erase", "x.rfw"}, 1, 'E', "x.rfw", 0},
      {{"t", "-f", "-ERASE", "image.rfw"}, 1, 'W', "-ERASE", 0},
      {{"t", "-f", "-verify", "a.bin"}, 1, 'V', "a.bin", 0},
      {{"t", "-f", "-dumpotp", "o.bin"}, 1, 'Y', "o.bin", 0},
      {{"t", "-f", "-dumpspi", "s.bin"}, 1, 'Z', "s.bin", 0},
      {{"t", "-f", "-version", "v.rfw"}, 1, 'D', "v.rfw", 0},
      {{"t", "-f", "-detect", "d.rfw", "-d", "2"}, 1, 'C', "d.rfw", 2},
      {{"t", "-f", "-write", "w.rfw", "-D", "1"}, 1, 'W', "w.rfw", 1},
      {{"t", "-f", "-erase"}, 1, 'E', "", 0},
      {{"t", "-f", "-erase", "-d", "1"}, 1, 'E', "", 1},
      {{"t", "-f", "w.rfw", "-d", "3"}, 1, 'W', "w.rfw", 3},
      // Refused: whatever is not understood runs nothing.
      {{"t", "-f", "-write", "w.rfw", "-D", "1x"}, 0, char(0xFF), "", 0},
      {{"t", "-f", "-write", "w.rfw", "-x", "3"}, 0, char(0xFF), "", 0},
      {{"t", "-f", "-write", "my", "file.rfw"}, 0, char(0xFF), "", 0},
      {{"t", "-f", "-write", "w.rfw", "-d"}, 0, char(0xFF), "", 0},
      {{"t", "-f", "-write"}, 0, char(0xFF), "", 0},
      {{"t", "-f", "-write", "-d", "1"}, 0, char(0xFF), "", 0},
      {{"t", "-x", "-f", "w.rfw"}, 0, char(0xFF), "", 0},
      {{"t", "-f"}, 0, char(0xFF), "", 0},
      {{"t", "-f", "a", "b", "c", "d", "e"}, 0, char(0xFF), "", 0},
  };
  TempDir dir;
  for (const auto& c : cases) {
    CParseArg parse;
    parse.SetResultFolder(dir.Path());
    EXPECT_EQ(parse.Parse_Arg(c.args), c.result) << c.args[2 % c.args.size()];
    EXPECT_EQ(char(parse.Action()), c.action);
    EXPECT_EQ(parse.FileName(), c.file);
    EXPECT_EQ(parse.StartIndex(), c.startIndex);
    if (c.result == 0) {
      EXPECT_EQ(dir.Read("Result.txt"), "fail");
    }
    std::filesystem::remove(dir.File("Result.txt"));
  }
}

TEST(ParseArg, HelpWordsAlone) {
  for (const char* word : {"--help", "-h", "/?"}) EXPECT_TRUE(CParseArg::IsHelpCommandLine({"t", word}));
  EXPECT_FALSE(CParseArg::IsHelpCommandLine({"t", "-h", "x"}));
  EXPECT_FALSE(CParseArg::IsHelpCommandLine({"t", "-H"}));
}

TEST(ParseArg, WithoutDashFResultTxtSaysFail) {
  TempDir dir;
  CParseArg parse;
  parse.SetResultFolder(dir.Path());
  EXPECT_EQ(parse.Parse_Arg({"t", "-write", "image.rfw"}), 0);
  EXPECT_EQ(dir.Read("Result.txt"), "fail");
}

TEST(ParseArg, PrintedTextsGoToResultTxtWithCrLf) {
  TempDir dir;
  CParseArg parse;
  parse.SetResultFolder(dir.Path());
  ASSERT_TRUE(parse.OpenResultFile());
  parse.Print("Begin to Write fw!\r\n");
  parse.Print("Write fw pass!\r\n");
  parse.PrintPrompt();
  parse.CloseResultFile(true);
  EXPECT_EQ(dir.Read("Result.txt"),
            "Begin to Write fw!\r\r\nWrite fw pass!\r\r\n" + dir.Path() + ">pass");
}

}  // namespace
