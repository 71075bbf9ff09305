#include "app/trace.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

TEST(Trace, LineFormatWithPrefixAndCrLf) {
  EXPECT_EQ(FormatTraceLine(0x1A2C, 910, "CDevFlow::DEV_OpenDeviceByVIDPID", "Check VID/PID Mismatch!\n", true),
            "(1A2C-910):CDevFlow::DEV_OpenDeviceByVIDPID:> Check VID/PID Mismatch!\r\n");
  EXPECT_EQ(FormatTraceLine(0x1A2C, 910, "S", "no line end", true), "(1A2C-910):S:> no line end");
  EXPECT_EQ(FormatTraceLine(1, 2, "S", "----------------: ", false), "----------------: ");
  EXPECT_EQ(FormatTraceLine(1, 2, "S", "Fail --- Invalid parameter!\r\n", false),
            "Fail --- Invalid parameter!\r\r\n");
}

TEST(Trace, OverlongLinesAreCut) {
  const std::string line = FormatTraceLine(1, 2, "S", std::string(600, 'x') + "\n", true);
  EXPECT_EQ(line.size(), 511u);
  EXPECT_EQ(line.back(), 'x');
}

TEST(Trace, WritesLinesOfTheMaskedCategoriesToTheFile) {
  TempDir dir;
  TraceInitAt(dir.File("Log.txt"), true);
  {
    TraceScope scope("CDevFlow::DEV_OpenDevice", kTraceFlow);
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "value %d\n", 5);
  }
  TraceScope hidden("Hidden", 8, true);
  TraceLine(hidden, "never\n");
  TraceShutdown();
  const std::string log = dir.Read("Log.txt");
  EXPECT_NE(log.find(":CDevFlow::DEV_OpenDevice:> START --->>>\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("----------------: value 5\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(":CDevFlow::DEV_OpenDevice:> EXIT <<<---\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Hidden"), std::string::npos);
  EXPECT_EQ(log.find("never"), std::string::npos);
}

TEST(Trace, WithoutFileOutputNothingIsWritten) {
  TempDir dir;
  TraceInitAt(dir.File("Log.txt"), false);
  TraceScope scope("S", kTraceEntryPoints);
  TraceLine(scope, "x\n");
  TraceShutdown();
  EXPECT_FALSE(std::filesystem::exists(dir.File("Log.txt")));
}

}  // namespace
