#include "app/file_routines.h"

#include <gtest/gtest.h>

#include <numeric>

#include "platform/paths.h"
#include "platform/prompter.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(FileRoutines, HexTextOfTwentyBytes) {
  std::vector<std::uint8_t> bytes(20);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t(0xF0));
  EXPECT_EQ(HexText(bytes),
            "F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF \r\n"
            "00 01 02 03 ");
  TempDir dir;
  ASSERT_TRUE(WriteHexText(dir.File("dump.txt"), bytes));
  EXPECT_EQ(dir.Read("dump.txt"), HexText(bytes));
}

TEST(FileRoutines, FullPathTakesRelativeNamesFromTheProgramFolder) {
  EXPECT_EQ(FullPath("/abs/file.rfw"), "/abs/file.rfw");
  EXPECT_EQ(FullPath("fw\\image.rfw"), platform::ProgramFolderWithSeparator() + "fw/image.rfw");
  EXPECT_EQ(FullPath("VidPidList.ini"), platform::ProgramFolderWithSeparator() + "VidPidList.ini");
}

TEST(FileRoutines, WholeFileReadWriteAndSize) {
  TempDir dir;
  const std::vector<std::uint8_t> data{1, 2, 3, 4};
  EXPECT_FALSE(WriteWholeFile("", data));
  EXPECT_FALSE(WriteWholeFile(dir.File("e.bin"), {}));
  ASSERT_TRUE(WriteWholeFile(dir.File("d.bin"), data));
  EXPECT_EQ(FileSize(dir.File("d.bin")), 4u);
  EXPECT_EQ(FileSize(dir.File("none.bin")), 0u);
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(ReadFileBytes(dir.File("d.bin"), 3, out));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_FALSE(ReadFileBytes(dir.File("d.bin"), 5, out));  // shorter than asked
  EXPECT_FALSE(ReadFileBytes(dir.File("none.bin"), 1, out));
  EXPECT_TRUE(FileExists(dir.File("d.bin")));
  EXPECT_FALSE(FileExists(dir.Path()));
}

class CapturingPrompter : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string& text, const std::string&, platform::PromptKind,
                             platform::PromptAnswer silent) override {
    texts.push_back(text);
    return silent;
  }
  std::vector<std::string> texts;
};

TEST(FileRoutines, CreateFolderPathMakesEveryLevelOrNamesTheOneThatFailed) {
  TempDir dir;
  EXPECT_TRUE(CreateFolderPath(dir.File("a/b/c")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a/b/c")));
  dir.Write("plain", "x");
  CapturingPrompter prompter;
  platform::SetCurrentPrompter(&prompter);
  EXPECT_FALSE(CreateFolderPath(dir.File("plain/sub")));
  platform::SetCurrentPrompter(nullptr);
  ASSERT_EQ(prompter.texts.size(), 1u);
  EXPECT_EQ(prompter.texts[0], "Create Directory (" + dir.File("plain/sub") + ") : Failed !");
}

TEST(FileRoutines, Utf16ConversionsRoundTrip) {
  const std::string text = "Norvik \xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5";  // é € 🎵
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 11u);  // the last one needs a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // a lone surrogate
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\xFFFD");           // a cut sequence
}

}  // namespace
