#pragma once
// A factory station in a temporary folder: its own copy of tessaload, a
// simulated bench with one VMC2232 codec running firmware 4.119.0000-0000.0007,
// and the images old.bin (that firmware) and new.bin (4.120.0000-0000.0001),
// all made with the real programs as a factory script would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "tests/support/temp_dir.h"

struct Outcome {
  std::string out;
  int code = -1;
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
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    std::array<char, 512> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) o.out.append(buf.data(), n);
    const int status = pclose(p);
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
  }
  static void Must(const Outcome& o) { ASSERT_EQ(o.code, 0) << o.out; }
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

  TempDir station_;
  std::string bench_;
};
