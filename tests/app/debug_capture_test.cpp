#include "app/debug_capture.h"

#include <gtest/gtest.h>

#include "platform/debug_output.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(DebugCapture, AppendsOwnStringsInOrderWithoutTerminators) {
  TempDir dir;
  platform::DebugOutput("before start is lost\n");
  DebugCapture capture;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(capture.Start(dir.File("DebugLog.txt")));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Tracing PID: "), std::string::npos);
  for (int i = 0; i < 50; ++i) platform::DebugOutput("line " + std::to_string(i) + ";");
  capture.Stop();  // returns without another string arriving
  std::string expected;
  for (int i = 0; i < 50; ++i) expected += "line " + std::to_string(i) + ";";
  EXPECT_EQ(dir.Read("DebugLog.txt"), expected);
  platform::DebugOutput("after stop is lost");
  EXPECT_EQ(dir.Read("DebugLog.txt"), expected);
}

TEST(DebugCapture, StopsAtOnceWhenNothingArrives) {
  TempDir dir;
  DebugCapture capture;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(capture.Start(dir.File("DebugLog.txt")));
  testing::internal::GetCapturedStdout();
  capture.Stop();
  EXPECT_FALSE(capture.Running());
  EXPECT_EQ(dir.Read("DebugLog.txt"), "");
}

TEST(DebugCapture, AFileThatCannotBeCreatedStartsNoThread) {
  DebugCapture capture;
  EXPECT_FALSE(capture.Start("/nonexistent-folder/DebugLog.txt"));
  EXPECT_FALSE(capture.Running());
  capture.Stop();
}

}  // namespace
