#include <gtest/gtest.h>

#include "app/notify.h"
#include "app/program_state.h"
#include "app/status_codes.h"

namespace {

TEST(StatusTable, HoldsTheProgramsTexts) {
  EXPECT_EQ(StatusText(41511), "Detect Device Fail!");
  EXPECT_EQ(StatusText(41702), "Get Code Size Fail!");
  EXPECT_EQ(StatusText(41755), "Firmware Update Succeed.");
  EXPECT_EQ(StatusText(41802), "Read EERPOM Fail!");
  EXPECT_EQ(StatusText(41918), "OTP Locked,Can't Program!");
  EXPECT_EQ(StatusText(41935), "Device is not in cache mode.");
  EXPECT_EQ(StatusText(12345), "");
}

TEST(StatusTable, ExitCodes) {
  const std::pair<int, int> cases[] = {
      {0, 0},     {41511, 4}, {41714, 4}, {42045, 2}, {42046, 3}, {41705, 1}, {100, 1}, {-1, 1},
      {41752, 0}, {41753, 0}, {41852, 0},  // successes outside the seven that clear the status
  };
  for (auto [status, code] : cases) EXPECT_EQ(ExitCodeForStatus(status), code) << status;
}

class RecordingSink : public NotifySink {
 public:
  int Post(std::uint32_t message, std::intptr_t wparam, std::intptr_t lparam) override {
    posts.push_back({message, wparam, lparam});
    return 1;
  }
  struct Posted {
    std::uint32_t message;
    std::intptr_t wparam, lparam;
  };
  std::vector<Posted> posts;
};

TEST(NotifyUI, RecordsTheStatusWithoutAWindow) {
  LastStatusCode = 0;
  EXPECT_EQ(NotifyUI(kMsgProgress, 100, 0), 0);
  EXPECT_EQ(LastStatusCode, 100);
  NotifyUI(kMsgSuccess, 41755, 0);
  EXPECT_EQ(LastStatusCode, 0);
  NotifyUI(kMsgFailure, 41705, 0);
  EXPECT_EQ(LastStatusCode, 41705);
  NotifyUI(kMsgWorkerEnded, 0, 0);
  EXPECT_EQ(LastStatusCode, 41705);
  NotifyUI(kMsgDeviceOpened, 0, 0);
  EXPECT_EQ(LastStatusCode, 0);
}

TEST(NotifyUI, EverySuccessIdClearsTheStatus) {
  for (int id : {41751, 41755, 41851, 41854, 41910, 41913, 41931}) {
    LastStatusCode = 1;
    NotifyUI(kMsgSuccess, id, 0);
    EXPECT_EQ(LastStatusCode, 0) << id;
  }
  LastStatusCode = 1;
  NotifyUI(kMsgSuccess, 41752, 0);  // erase success is not one of them
  EXPECT_EQ(LastStatusCode, 41752);
}

TEST(NotifyUI, PostsToTheWindowInOrder) {
  RecordingSink sink;
  SetNotifySink(&sink);
  EXPECT_EQ(NotifyUI(kMsgPhase, 41719, 0), 1);
  NotifyUI(kMsgDeviceInfo, 41906, 1);
  SetNotifySink(nullptr);
  ASSERT_EQ(sink.posts.size(), 2u);
  EXPECT_EQ(sink.posts[0].message, kMsgPhase);
  EXPECT_EQ(sink.posts[0].wparam, 41719);
  EXPECT_EQ(sink.posts[1].lparam, 1);
}

}  // namespace
