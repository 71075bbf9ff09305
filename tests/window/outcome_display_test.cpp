// What the outcome box and the status line tell the operator, and for how
// long: an outcome ends with the next Start, a device choice or a device
// arriving or leaving; an image that cannot be loaded is refused with its
// reason before the codec is touched; the exit code tells the job's outcome;
// the window can be enlarged; the loop test shows its total and what is left.
#include <QStandardItemModel>

#include "tests/window/window_fixture.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";
const QColor kGreen(0, 255, 0);

class Outcome : public WindowTest {
 protected:
  void StartToPass() {
    Click(1003);
    ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
    ASSERT_EQ(Text(1016), "PASS") << Text(1033);
    Settle();
    ASSERT_EQ(Text(1033), "Download Succeed");
  }
  QComboBox* Devices() { return static_cast<QComboBox*>(Control(1050)); }
  void Choose(int position) {
    Devices()->setCurrentIndex(position);
    emit Devices()->activated(position);
    Settle();
  }
};

TEST_F(Outcome, ChoosingADeviceEndsThePass) {
  Open({StationBench::Codec(kOld, "first", {1, {1}}), StationBench::Codec(kOld, "second", {1, {2}})});
  StartToPass();
  Choose(1);
  EXPECT_EQ(Text(1016), "N/A");
  EXPECT_NE(Background(1016), kGreen);
  EXPECT_EQ(Text(1033), "USB Audio Connected");  // no "Download Succeed" for the other codec
}

TEST_F(Outcome, ADeviceArrivingOrLeavingEndsThePass) {
  bench_.edit = [](sim::Bench& bench) { bench.Find("second")->PowerOff(); };
  Open({StationBench::Codec(kOld, "first", {1, {1}}), StationBench::Codec(kOld, "second", {1, {2}})});
  StartToPass();
  SetPlugged("second", true);
  Settle();
  EXPECT_EQ(Text(1016), "N/A");
  EXPECT_EQ(Text(1033), "USB Audio Connected");

  Choose(1);
  StartToPass();
  SetPlugged("first", false);
  Settle();
  EXPECT_EQ(Text(1016), "N/A");
  EXPECT_EQ(Text(1033), "USB Audio Connected");
}

TEST_F(Outcome, TwoIdenticalCodecsAreToldApartAndTheSecondCanBeChosen) {
  Open({StationBench::Codec(kOld, "first", {1, {1}}), StationBench::Codec(kOld, "second", {1, {2}})});
  ASSERT_EQ(Devices()->count(), 2);
  // The identity text stays what device selection matches; the location beside it differs.
  EXPECT_EQ(Devices()->itemText(0).toStdString(), "VID_3C5A&PID_2230&REV_0100");
  EXPECT_EQ(Devices()->itemText(1).toStdString(), "VID_3C5A&PID_2230&REV_0100");
  auto* model = static_cast<QStandardItemModel*>(Devices()->model());
  ASSERT_GE(model->columnCount(), 2);
  EXPECT_NE(model->item(0, 1)->text(), model->item(1, 1)->text());
  Choose(1);
  EXPECT_EQ(Devices()->currentIndex(), 1);
  StartToPass();
  EXPECT_EQ(VersionAfterPowerCycle("second"), StationBench::kBuiltInVersion);
  EXPECT_EQ(VersionAfterPowerCycle("first"), kOld);
  EXPECT_EQ(Devices()->currentIndex(), 1) << "the refresh after the outcome keeps the chosen codec";
}

// A file that cannot be loaded: refused with the reason, before any device
// access; neither the previous job's image nor an empty one is written.
TEST_F(Outcome, AFileThatDoesNotLoadIsRefusedBeforeTheCodecIsTouched) {
  Open({StationBench::Codec(kOld)}, "SaveResultToFile=1\r\n");
  UseImageFile("first.bin", SampleImageBytes("VMC2230", "4.119.0000-0000.0009"));
  StartToPass();
  ASSERT_EQ(VersionAfterPowerCycle(), "4.119.0000-0000.0009");
  const auto memory = MemoryOf();
  const auto transfers = Transfers();
  for (const char* name : {"missing.bin", "empty.bin"}) {
    SCOPED_TRACE(name);
    station_.Write("empty.bin", "");
    SetImageField(station_.File(name));
    Click(1003);
    ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL" || Text(1016) == "PASS"; }));
    EXPECT_EQ(Text(1016), "FAIL");
    Settle();
    EXPECT_EQ(Text(1033), StatusText(kStsLoadFileDataFail));
    EXPECT_EQ(station_.Read("Result.txt"), "fail");
    EXPECT_EQ(Transfers(), transfers) << "the codec was touched";
  }
  EXPECT_EQ(MemoryOf(), memory);
}

// An image the chip cannot take is refused the same way.
TEST_F(Outcome, AnImageForAnotherChipIsRefusedBeforeTheCodecIsTouched) {
  Open({StationBench::Codec(kOld)});
  const auto transfers = Transfers();
  UseImageFile("other.bin", SampleImageBytes("VMC2240", "5.001.0000-0000.0009"));
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL" || Text(1016) == "PASS"; }));
  EXPECT_EQ(Text(1016), "FAIL");
  Settle();
  EXPECT_EQ(Text(1033), StatusText(kStsFwNotForDevice));
  EXPECT_EQ(Transfers(), transfers);
  EXPECT_EQ(VersionAfterPowerCycle(), kOld);
}

TEST_F(Outcome, TheWindowCanBeEnlargedAndTheOutcomeBoxGrows) {
  Open({StationBench::Codec(kOld)});
  const QSize box = Control(1016)->size();
  const QPoint start = Control(1003)->pos();
  window_->resize(window_->width() + 300, window_->height() + 200);
  QTest::qWait(0);
  EXPECT_EQ(window_->width(), 504 + 300);
  EXPECT_EQ(Control(1016)->width(), box.width() + 300);
  EXPECT_EQ(Control(1016)->height(), box.height() + 200);
  EXPECT_EQ(Control(1003)->pos(), start + QPoint(0, 200));  // Start stays under the box
  EXPECT_GE(Control(1033)->geometry().bottom(), window_->height() - 40);
}

// Loop test: the Total field keeps the total; "Left" counts down beside it;
// "Current FW" shows what the codec runs after each run. Here the codec is
// lost early in the second run, so only the first run's end can have shown
// the new firmware.
TEST_F(Outcome, TheLoopTestShowsItsTotalWhatIsLeftAndTheRunningFirmware) {
  Open({StationBench::Codec(kOld)}, "Loop Test=1\r\n");
  ArmFaults("codec", "disconnect-after=300");  // a run takes about 250 transfers
  static_cast<QLineEdit*>(Control(1009))->setText("2");
  EXPECT_EQ(Text(1011), "Left : 2");
  Click(1003);
  EXPECT_EQ(Text(1011), "Left : 1");
  EXPECT_EQ(Text(1009), "2");
  ASSERT_TRUE(WaitFor([&] { return Text(1030) == std::string("Current FW: ") + StationBench::kBuiltInVersion; }));
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL"; }));
  Settle();
  EXPECT_EQ(Text(1011), "Left : 0");
  EXPECT_EQ(Text(1009), "2");
}

// AutoRun 2: the program's exit code is the job's outcome, whatever the
// device refresh after it reported.
class AutoRun2 : public WindowTest, public testing::WithParamInterface<bool> {};

TEST_P(AutoRun2, ExitCodeTellsTheOutcome) {
  const bool fails = GetParam();
  Open({StationBench::Codec(kOld)}, "AutoRun=2\r\n", fails ? "flip-read=100:01" : "");
  if (fails) {
    ASSERT_TRUE(WaitFor([&] { return Text(1016) == "FAIL"; }));
    Settle();
    window_->close();  // the operator closes the window
  }
  ASSERT_TRUE(WaitFor([&] { return !window_->isVisible(); }));
  EXPECT_EQ(ExitCodeForStatus(LastStatusCode.load()), fails ? 1 : 0);
  EXPECT_EQ(VersionAfterPowerCycle() == StationBench::kBuiltInVersion, !fails);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, AutoRun2, testing::Bool(),
                         [](const auto& info) { return info.param ? "AfterFail" : "AfterPass"; });

}  // namespace
