#pragma once
// A factory station in a temporary folder: its own copy of tessaload, a
// simulated bench with one VMC2232 codec running firmware 4.119.0000-0000.0007,
// and the images old.bin (that firmware) and new.bin (4.120.0000-0000.0001),
// all made with the real programs as a factory script would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <regex>

#include "tests/support/temp_dir.h"

struct Outcome {
  std::string out;  // standard output
  std::string err;  // standard error
  int code = -1;
  int signal = 0;  // the signal that ended the process, 0 when it exited
};

class Factory : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(Bin("tessaload"), station_.File("tessaload"));
    bench_ = station_.File("bench");
    Must(Sim("create " + bench_));
    Must(Image("build --chip VMC2232 --version 4.119.0000-0000.0007 -o " + station_.File("old.bin")));
    Must(Image("build --chip VMC2232 --version 4.120.0000-0000.0001 -o " + station_.File("new.bin")));
    Must(Sim("add " + bench_ + " c1 --chip VMC2232 --firmware " + station_.File("old.bin")));
  }

  static std::string Bin(const std::string& name) { return std::string(TESSALOAD_BINARY_DIR) + "/bin/" + name; }
  static Outcome Run(const std::string& command) {
    Outcome o;
    TempDir errors;
    FILE* p = popen(("(" + command + ") 2>'" + errors.File("err") + "'").c_str(), "r");
    std::array<char, 512> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) o.out.append(buf.data(), n);
    const int status = pclose(p);
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.err = errors.Read("err");
    return o;
  }
  static void Must(const Outcome& o) { ASSERT_EQ(o.code, 0) << o.out << o.err; }
  Outcome Sim(const std::string& args) { return Run(Bin("tessaload-sim") + " " + args); }
  Outcome Image(const std::string& args) { return Run(Bin("tessaload-image") + " " + args); }
  Outcome Tessaload(const std::string& args) {
    return Run("cd '" + station_.Path() + "' && TESSALOAD_SIM='" + bench_ + "' ./tessaload " + args);
  }
  std::string Show() { return Sim("show " + bench_ + " c1").out; }
  std::string Dump() {
    Must(Sim("dump " + bench_ + " c1 " + station_.File("memory.bin")));
    return station_.Read("memory.bin");
  }
  std::string Prompt() const { return station_.Path() + ">"; }

  // The transfer counter of codec c1.
  int Transfers() {
    std::smatch m;
    const std::string state = Show();
    return std::regex_search(state, m, std::regex("transfers +([0-9]+)")) ? std::stoi(m[1]) : -1;
  }
  void RestoreBench(const std::string& pristine) {
    std::filesystem::remove_all(bench_);
    std::filesystem::copy(pristine, bench_, std::filesystem::copy_options::recursive);
  }

  // What codec c1 does once back from a power loss during a write.
  enum class AfterPowerLoss { kOldFirmware, kBootRom, kNewFirmware };
  // Restores the pristine bench, cuts the codec's power after transfer `n` of
  // `tessaload -f -write new.bin` and checks the outcome: a success only with
  // the new firmware running (4.120.0000-0000.0001), the old firmware only
  // from unchanged memory, never a part of `image`.
  AfterPowerLoss WriteWithPowerLostAfter(int n, const std::string& pristine, const std::string& oldMemory,
                                         const std::string& image) {
    RestoreBench(pristine);
    Must(Sim("fault " + bench_ + " c1 disconnect-after=" + std::to_string(n)));
    const Outcome o = Tessaload("-f -write new.bin");
    const bool passed = o.out.find("Write fw pass!") != std::string::npos;
    EXPECT_EQ(o.code == 0, passed) << o.out;
    EXPECT_EQ(station_.Read("Result.txt").ends_with("pass"), passed);
    Sim("plug " + bench_ + " c1");  // fails when the codec is still on the bus
    const std::string state = Show();
    const std::string memory = Dump();
    if (!passed && state.find("boot ROM update mode") != std::string::npos) return AfterPowerLoss::kBootRom;
    if (!passed && state.find("4.119.0000-0000.0007") != std::string::npos) {
      EXPECT_EQ(memory, oldMemory) << "the old firmware runs from changed memory";
      return AfterPowerLoss::kOldFirmware;
    }
    EXPECT_NE(state.find("4.120.0000-0000.0001"), std::string::npos) << state;
    EXPECT_EQ(memory.substr(0, image.size()), image) << "a part image runs";
    return AfterPowerLoss::kNewFirmware;
  }

  TempDir station_;
  std::string bench_;
};
