// The operator window on simulated codecs, driven through its control ids.
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QRawFont>

#include "app/status_codes.h"
#include "tests/window/window_fixture.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";

TEST_F(WindowTest, StartGivesPassOnGreenAndTheCodecRunsTheBuiltInImage) {
  Open({StationBench::Codec(kOld)});
  EXPECT_EQ(window_->windowTitle().toStdString(), "USB Audio FW Update Tool 1.0.1");
  // Text renders only with a font that has the glyphs.
  ASSERT_FALSE(QFontDatabase::families().isEmpty());
  ASSERT_FALSE(QFontInfo(window_->font()).family().isEmpty());
  ASSERT_TRUE(QRawFont::fromFont(Control(1016)->font()).supportsCharacter(QChar('P')));

  EXPECT_EQ(Text(1143), "Audio IC:");
  EXPECT_EQ(Text(1033), "USB Audio Connected");
  EXPECT_EQ(Text(1000), "Update FW version:4.119.0000-0000.0008");
  EXPECT_EQ(Text(1030), "Current FW: 4.119.0000-0000.0007");
  EXPECT_EQ(Background(1016), QColor(255, 0, 0));  // "N/A" on red
  ASSERT_TRUE(Enabled(1003));
  Click(1003);
  EXPECT_FALSE(Enabled(1003));
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS"; }));
  EXPECT_EQ(Background(1016), QColor(0, 255, 0));
  // The word is drawn: the box holds more than its green.
  const QImage box = Control(1016)->grab().toImage();
  int ink = 0;
  for (int y = 0; y < box.height(); ++y)
    for (int x = 0; x < box.width(); ++x) ink += box.pixelColor(x, y) != QColor(0, 255, 0);
  EXPECT_GT(ink, 100);
  ASSERT_TRUE(WaitFor([&] { return Enabled(1003); }));  // the refresh after the outcome
  EXPECT_EQ(Text(1033), "Download Succeed");
  EXPECT_EQ(Text(1030), "Current FW: 4.119.0000-0000.0008");
  EXPECT_EQ(bench_.RunningVersion(), StationBench::kBuiltInVersion);
  EXPECT_TRUE(prompter_.prompts.empty());
}

TEST_F(WindowTest, AFailingCodecGivesFailOnRedWithTheFailureTextAfterTheRefresh) {
  Open({StationBench::Codec(kOld)}, "", "flip-read=100:01");  // the empty check reads a bit that is not blank
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL"; }));
  EXPECT_EQ(Background(1016), QColor(255, 0, 0));
  Settle();
  EXPECT_EQ(Text(1033), StatusText(kStsCheckEmptyFail));
  EXPECT_EQ(Text(1016), "FAIL");
  EXPECT_TRUE(Enabled(1003));
}

TEST_F(WindowTest, StartWhileBusyCancelsTheRunningJob) {
  Open({StationBench::Codec(kOld)});
  Click(1003);
  window_->PostStart();  // the loop test's Start arrives while the job runs
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL"; }));
  Settle();
  EXPECT_NE(bench_.RunningVersion(), StationBench::kBuiltInVersion);
  // The stop flag is cleared with the outcome: the next Start runs to its end.
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS"; }));
}

TEST_F(WindowTest, TheSameVersionIsRefusedAndNothingIsWritten) {
  Open({StationBench::Codec(StationBench::kBuiltInVersion)});
  const auto before = bench_.Saved()->Find("codec")->Counters().transfers;
  Click(1003);
  Settle();
  ASSERT_EQ(prompter_.prompts.size(), 1u);
  EXPECT_EQ(prompter_.prompts[0].text, "Same FW version!");
  EXPECT_EQ(prompter_.prompts[0].caption, "Warning!!");
  EXPECT_EQ(Text(1016), "N/A");
  EXPECT_TRUE(Enabled(1003));
  EXPECT_EQ(bench_.Saved()->Find("codec")->Counters().transfers, before);
}

TEST_F(WindowTest, AnOlderBuiltInImageEndsTheProgramAfterOk) {
  // No component of the image is greater: the device's firmware is newer.
  Open({StationBench::Codec("4.120.0000-0000.0008")});
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }));
  ASSERT_EQ(prompter_.prompts.size(), 1u);
  EXPECT_EQ(prompter_.prompts[0].text, "The updated FW version is older than the current one.");
  EXPECT_EQ(bench_.RunningVersion(), "4.120.0000-0000.0008");
}

// Loop test: runs left in control 1009, the loop text in 1011.
TEST_F(WindowTest, LoopTestOfThreeRunsUpdatesThreeTimesAndEndsAtLeft0) {
  Open({StationBench::Codec(kOld)}, "Loop Test=1\r\n");
  ASSERT_TRUE(Control(1009)->isVisible());
  static_cast<QLineEdit*>(Control(1009))->setText("3");
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1011) == "Left : 0" && window_->Quiet() && Enabled(1003); }));
  EXPECT_EQ(Text(1016), "PASS");
  EXPECT_EQ(Text(1009), "3");  // the total stays
  EXPECT_EQ(bench_.Saved()->Find("codec")->Counters().resets, 6u);  // two resets a run
  EXPECT_TRUE(prompter_.prompts.empty());
  // With no runs left, Start does nothing at all.
  const auto transfers = bench_.Saved()->Find("codec")->Counters().transfers;
  Click(1003);
  Settle();
  EXPECT_EQ(Text(1016), "PASS");
  EXPECT_EQ(bench_.Saved()->Find("codec")->Counters().transfers, transfers);
}

TEST_F(WindowTest, AFailedRunEndsTheLoopTest) {
  Open({StationBench::Codec(kOld)}, "Loop Test=1\r\n", "flip-read=100:01");
  static_cast<QLineEdit*>(Control(1009))->setText("3");
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL"; }));
  Settle();
  EXPECT_EQ(Text(1011), "Left : 2");
  EXPECT_EQ(Text(1009), "3");  // the total stays
  EXPECT_EQ(bench_.Saved()->Find("codec")->Counters().resets, 1u);  // one run, into the boot ROM
}

TEST_F(WindowTest, AnArrivalWhileBusyPostsNoDeviceListJob) {
  Open({StationBench::Codec(kOld)});
  const int before = window_->DeviceChangeRefreshes();
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS"; }));
  Settle();
  // The codec left the bus and came back twice during the job.
  EXPECT_EQ(bench_.Saved()->Find("codec")->Counters().resets, 2u);
  EXPECT_EQ(window_->DeviceChangeRefreshes(), before);
}

TEST_F(WindowTest, AutoRunStartsOneUpdateOnTheFirstIdentificationOnly) {
  Open({StationBench::Codec(kOld)}, "AutoRun=1\r\n");
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" && window_->Quiet(); }));
  Settle();
  EXPECT_EQ(bench_.RunningVersion(), StationBench::kBuiltInVersion);
  EXPECT_EQ(bench_.Saved()->Find("codec")->Counters().resets, 2u);
  EXPECT_TRUE(prompter_.prompts.empty());  // no second Start met "Same FW version!"
  EXPECT_EQ(Text(1033), "Download Succeed");
}

TEST_F(WindowTest, ClosingDuringADownloadStopsTheFlowAndClosesAfterTheWorkerEnded) {
  Open({StationBench::Codec(kOld)});
  Click(1003);
  window_->close();  // the window's close button
  EXPECT_TRUE(window_->isVisible());  // not before the worker has ended
  ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }));
  EXPECT_TRUE(window_->Quiet());
  EXPECT_NE(bench_.RunningVersion(), StationBench::kBuiltInVersion);
}

}  // namespace

namespace {

// "RTD3": the keep-awake thread lives as long as the window and is stopped
// when it closes, with or without a USB capture endpoint.
class KeepAwakeWindow : public WindowTest, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    station_.Write("asound.conf", std::string("pcm.") + (GetParam() ? "usbmic" : "mic") +
                                      " {\n  type null\n  hint { show on description \"Microphone\" }\n}\n");
    setenv("ALSA_CONFIG_PATH", station_.File("asound.conf").c_str(), 1);
    audio_ = platform::CreateSystemAudioCapture();
    audio = audio_.get();
  }
  void TearDown() override {
    WindowTest::TearDown();
    unsetenv("ALSA_CONFIG_PATH");
  }
  std::unique_ptr<platform::AudioCapture> audio_;
};

TEST_P(KeepAwakeWindow, RunsWhileTheWindowIsOpenAndEndsWhenItCloses) {
  Open({StationBench::Codec(kOld)}, "RTD3=1\r\n");
  const CWakeUpThread* thread = window_->KeepAwake();
  ASSERT_NE(thread, nullptr);
  if (GetParam())
    ASSERT_TRUE(WaitFor([&] { return thread->Passes() > 0; }));
  else
    ASSERT_TRUE(WaitFor([&] { return thread->Done(); }));
  window_->close();
  ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }));
  EXPECT_EQ(window_->KeepAwake(), nullptr);  // stopped and ended with the window
}

INSTANTIATE_TEST_SUITE_P(Endpoints, KeepAwakeWindow, testing::Bool(),
                         [](const auto& info) { return info.param ? "UsbCapture" : "NoUsbCapture"; });

TEST_F(WindowTest, WithoutRtd3ThereIsNoKeepAwakeThread) {
  Open({StationBench::Codec(kOld)});
  EXPECT_EQ(window_->KeepAwake(), nullptr);
}

}  // namespace
