// An operator station as it runs: tessaload with no arguments opens the
// window (offscreen here) on a simulated bench.
#include "tests/support/factory_fixture.h"

namespace {

class OperatorStation : public Factory {
 protected:
  void SetUp() override {
    Factory::SetUp();
    // tessaload starts the window program that lies beside it.
    std::filesystem::copy_file(Bin("tessaload-window"), station_.File("tessaload-window"));
    // The station's codec: a VMC2230 on an older firmware than its built-in image.
    Must(Sim("unplug " + bench_ + " c1"));
    Must(Image("build --chip VMC2230 --version 4.119.0000-0000.0007 -o " + station_.File("old2230.bin")));
    Must(Sim("add " + bench_ + " c2 --chip VMC2230 --port 2 --firmware " + station_.File("old2230.bin")));
  }
  Outcome Window(const std::string& environment = "QT_QPA_PLATFORM=offscreen") {
    return Run("cd '" + station_.Path() + "' && " + environment + " TESSALOAD_SIM='" + bench_ +
               "' timeout 60 ./tessaload");
  }
};

TEST_F(OperatorStation, AutoRun2UpdatesTheCodecByItselfAndEndsAfterTheSuccess) {
  station_.Write("config.ini", "[Quillox Config]\r\nAutoRun=2\r\nSaveResultToFile=1\r\n");
  const Outcome o = Window();
  EXPECT_EQ(o.code, 0) << o.out;
  EXPECT_NE(Sim("show " + bench_ + " c2").out.find("version    4.119.0000-0000.0008"), std::string::npos);
  EXPECT_EQ(station_.Read("Result.txt"), "pass");
}

// One station, AutoRun 2, one codec after another: a flash, an EEPROM and an
// OTP codec, each updated to its built-in image by the window alone.
TEST_F(OperatorStation, AutoRun2UpdatesAFlashAnEepromAndAnOtpCodecOneAfterAnother) {
  station_.Write("config.ini", "[Quillox Config]\r\nAutoRun=2\r\nSaveResultToFile=1\r\n");
  Must(Image("build --chip VMC2210 --memory eeprom8 --version 1.000.0000-0000.0003 -o " + station_.File("ee.bin")));
  Must(Sim("add " + bench_ + " c3 --chip VMC2210 --memory eeprom8 --port 3 --firmware " + station_.File("ee.bin")));
  Must(Sim("add " + bench_ + " c4 --chip VMC2232 --memory otp --port 4"));
  Must(Sim("unplug " + bench_ + " c2"));
  Must(Sim("unplug " + bench_ + " c3"));
  Must(Sim("unplug " + bench_ + " c4"));
  const struct {
    const char* codec;
    const char* version;
  } kRuns[] = {{"c2", "4.119.0000-0000.0008"}, {"c3", "1.000.0000-0000.0004"}, {"c4", "4.120.0000-0000.0003"}};
  for (const auto& run : kRuns) {
    SCOPED_TRACE(run.codec);
    const std::string codec = bench_ + " " + run.codec;
    Must(Sim("plug " + codec));
    const Outcome o = Window();
    EXPECT_EQ(o.code, 0) << o.out;
    EXPECT_EQ(station_.Read("Result.txt"), "pass");
    // Off the bus and on again: the codec starts what it holds.
    Must(Sim("unplug " + codec));
    Must(Sim("plug " + codec));
    const std::string shown = Sim("show " + codec).out;
    EXPECT_NE(shown.find(std::string("version    ") + run.version), std::string::npos) << shown;
    Must(Sim("unplug " + codec));
  }
}

TEST_F(OperatorStation, WithoutADisplayTheWindowSaysSoAndTouchesNothing) {
  const Outcome o = Window("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
  EXPECT_NE(o.err.find("The operator window needs a display"), std::string::npos) << o.err;
  EXPECT_NE(Sim("show " + bench_ + " c2").out.find("version    4.119.0000-0000.0007"), std::string::npos);
}

}  // namespace
