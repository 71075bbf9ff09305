// Runs the real tessaload executable from a station folder of its own, as a
// factory script does, and checks what the script sees.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "tests/support/temp_dir.h"

namespace {

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int code = -1;
};

class CommandLine : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::string(TESSALOAD_BINARY_DIR) + "/bin/tessaload", station_.File("tessaload"));
  }
  // `environment`: further env(1) arguments.
  RunResult Tessaload(const std::string& args, const std::string& environment = "") {
    RunResult run;
    const std::string cmd = "cd '" + station_.Path() + "' && env -u TESSALOAD_SIM " + environment + " ./tessaload " +
                            args + " 2>'" + station_.File("stderr.txt") + "'";
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 256> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) run.out.append(buf.data(), n);
    const int status = pclose(p);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = station_.Read("stderr.txt");
    return run;
  }
  TempDir station_;
};

TEST_F(CommandLine, NoCodecMeansDetectFailureAndExitCode4) {
  const RunResult run = Tessaload("-f -write image.rfw");
  EXPECT_EQ(run.out, "\nCannot find Quanzor USB Audio!\nGet IC Info Fail\n" + station_.Path() + ">");
  EXPECT_EQ(station_.Read("Result.txt"), "Cannot find Quanzor USB Audio!\r\nfail");
  EXPECT_EQ(run.code, 4);
  EXPECT_TRUE(run.err.ends_with("tessaload: 41511 Detect Device Fail! (no codec found: check the cable and the udev "
                                "rule (packaging/udev/70-tessaload.rules))\n"))
      << run.err;
}

TEST_F(CommandLine, WithoutDashFNothingRunsResultTxtSaysFailAndTheExitCodeIs1) {
  station_.Write("Result.txt", "pass");
  const RunResult run = Tessaload("/forcerestart x");
  EXPECT_EQ(station_.Read("Result.txt"), "fail");
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("usage: tessaload -f"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("tessaload: 41540 Invalid Parameter!"), std::string::npos) << run.err;
  EXPECT_EQ(run.code, 1);
}

// Window mode is the window program beside tessaload; here without a
// display, so it says what it needs.
TEST_F(CommandLine, ForceRestartInAnyCaseOpensWindowMode) {
  std::filesystem::copy_file(std::string(TESSALOAD_BINARY_DIR) + "/bin/tessaload-window",
                             station_.File("tessaload-window"));
  for (const char* args : {"", "/FORCERESTART"}) {
    const RunResult run = Tessaload(args, "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_NE(run.err.find("The operator window needs a display"), std::string::npos) << run.out << run.err;
    EXPECT_EQ(run.code, 0);
    EXPECT_FALSE(std::filesystem::exists(station_.File("Result.txt")));
  }
}

TEST_F(CommandLine, WindowModeWithoutItsProgramSaysSoAndFails) {
  const RunResult run = Tessaload("");
  EXPECT_NE(run.err.find("tessaload: the operator window program " + station_.File("tessaload-window") +
                         " cannot be started"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.code, 1);
}

TEST_F(CommandLine, ConfigIniAndTraceSwitchWork) {
  station_.Write("config.ini", "[Quillox Config]\r\nDebug Log=1\r\n");
  const std::string cmd = "cd '" + station_.Path() + "' && TESSALOAD_TRACE=1 ./tessaload -f -write a.rfw >/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 4);
  EXPECT_TRUE(std::filesystem::exists(station_.File("DebugLog.txt")));
  EXPECT_NE(station_.Read("Log.txt").find("CParseArg::LoadICTypeIni:> START --->>>\r\n"), std::string::npos);
}

}  // namespace
