// An operator station as it runs: tessaload with no arguments opens the
// window (offscreen here) on a simulated bench.
#include "tests/support/factory_fixture.h"

namespace {

class OperatorStation : public Factory {
 protected:
  void SetUp() override {
    Factory::SetUp();
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

TEST_F(OperatorStation, WithoutADisplayTheWindowSaysSoAndTouchesNothing) {
  const Outcome o = Window("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
  EXPECT_NE(o.err.find("The operator window needs a display"), std::string::npos) << o.err;
  EXPECT_NE(Sim("show " + bench_ + " c2").out.find("version    4.119.0000-0000.0007"), std::string::npos);
}

}  // namespace
