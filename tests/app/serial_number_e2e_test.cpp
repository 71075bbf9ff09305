// A factory station that keeps each codec's serial number across an update:
// with SaveSN the real tessaload writes the codec's serial-number string into
// the image it programs, and the codec boots the new image. The image is read
// back from the simulated codec and shown by tessaload-image.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "tests/support/temp_dir.h"

namespace {

class SerialNumberStation : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(Bin("tessaload"), station_.File("tessaload"));
    bench_ = station_.File("bench");
    Must("tessaload-sim create " + bench_);
    Must("tessaload-image build --chip VMC2232 --version 4.119.0000-0000.0007 -o " + station_.File("old.bin"));
    Must("tessaload-image build --chip VMC2232 --version 4.120.0000-0000.0001 -o " + station_.File("new.bin"));
  }

  static std::string Bin(const std::string& name) { return std::string(TESSALOAD_BINARY_DIR) + "/bin/" + name; }
  // Runs a command; its console output and exit code.
  static std::pair<std::string, int> Run(const std::string& command) {
    std::string out;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    std::array<char, 512> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) out.append(buf.data(), n);
    const int status = pclose(p);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
  }
  // A tool of the build (tessaload-sim, tessaload-image) that must succeed.
  std::string Must(const std::string& toolAndArgs) {
    const auto [out, code] = Run(Bin(toolAndArgs));
    EXPECT_EQ(code, 0) << toolAndArgs << "\n" << out;
    return out;
  }
  // A codec running the old image; the one tessaload updates while no other is plugged.
  void AddCodec(const std::string& name, int port, const std::string& serial) {
    Must("tessaload-sim add " + bench_ + " " + name + " --chip VMC2232 --port " + std::to_string(port) +
         " --firmware " + station_.File("old.bin") + " --serial " + serial);
  }
  std::pair<std::string, int> Write(const std::string& settings) {
    station_.Write("config.ini", "[Quillox Config]\r\n" + settings);
    return Run("cd '" + station_.Path() + "' && TESSALOAD_SIM='" + bench_ + "' ./tessaload -f -write new.bin");
  }
  // The codec's first 64 KB, where the image lies.
  std::string Dump(const std::string& name = "c1") {
    Must("tessaload-sim dump " + bench_ + " " + name + " " + station_.File("memory.bin"));
    const std::string image = station_.Read("memory.bin").substr(0, 0x10000);
    station_.Write("image.bin", image);
    return image;
  }
  std::string Show(const std::string& name = "c1") { return Must("tessaload-sim show " + bench_ + " " + name); }

  TempDir station_;
  std::string bench_;
};

TEST_F(SerialNumberStation, TheCodecsSerialNumberGoesIntoTheRecordTheSettingsName) {
  struct Case {
    const char* settings;
    const char* shown;  // by tessaload-image info
  };
  const Case cases[] = {
      {"SaveSN=1\r\n", "manufacturer:    SN0001\n"},
      {"SaveSN=1\r\nSN Address=1\r\n", "serial number:   SN0001\n"},
  };
  int port = 1;
  for (const Case& c : cases) {
    const std::string name = "c" + std::to_string(port);
    AddCodec(name, port, "SN0001");
    const auto [out, code] = Write(c.settings);
    EXPECT_NE(out.find("Write fw pass!"), std::string::npos) << c.settings << out;
    EXPECT_EQ(code, 0);
    Dump(name);  // the tag stays 0xFF 0xFF: this chip family's flash update writes none
    const std::string info = Must("tessaload-image info " + station_.File("image.bin"));
    EXPECT_NE(info.find(c.shown), std::string::npos) << c.settings << info;
    EXPECT_NE(info.find("version:         4.120.0000-0000.0001"), std::string::npos) << info;
    const std::string state = Show(name);
    EXPECT_NE(state.find("running its firmware"), std::string::npos) << state;
    EXPECT_NE(state.find("4.120.0000-0000.0001"), std::string::npos) << state;
    Must("tessaload-sim unplug " + bench_ + " " + name);
    ++port;
  }
}

TEST_F(SerialNumberStation, WithoutSaveSnTheImageIsWrittenAsItIs) {
  AddCodec("c1", 1, "SN0001");
  EXPECT_EQ(Write("SaveSN=0\r\n").second, 0);
  EXPECT_EQ(Dump(), station_.Read("new.bin"));
}

TEST_F(SerialNumberStation, ASerialNumberTooLongFailsBeforeTheCodecIsTouched) {
  AddCodec("c1", 1, std::string(49, '7'));
  const std::string before = Dump();
  const auto [out, code] = Write("SaveSN=1\r\n");
  EXPECT_NE(out.find("Write fw fail!"), std::string::npos) << out;
  EXPECT_NE(out.find("tessaload: 41713 Save SN Fail! ("), std::string::npos) << out;  // the reason line
  EXPECT_NE(code, 0);
  EXPECT_EQ(Dump(), before);
  const std::string state = Show();
  EXPECT_NE(state.find("resets 0"), std::string::npos) << state;
  EXPECT_NE(state.find("4.119.0000-0000.0007"), std::string::npos) << state;
}

}  // namespace
