// tessaload-sim as scripts run it: separate processes on one bench folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/key_value_file.h"
#include "sim_fixture.h"

namespace simtest {
namespace {

class SimTool : public testing::Test {
 protected:
  void SetUp() override { folder_ = TempBenchFolder(); }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  // Runs the tool; returns its exit code and leaves its output in output_.
  int Run(const std::string& arguments) {
    const std::string out = folder_ + ".out";
    const std::string command = std::string(TESSALOAD_BINARY_DIR) + "/bin/tessaload-sim " + arguments + " >" + out + " 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    output_ = text.str();
    std::filesystem::remove(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string folder_;
  std::string output_;
};

TEST_F(SimTool, BenchWithTwoCodecsOnDifferentPortsIsSeenByAnotherProcess) {
  ASSERT_EQ(Run("create " + folder_), 0) << output_;
  ASSERT_EQ(Run("add " + folder_ + " left --chip VMC2232 --serial SN-1 --port 2"), 0) << output_;
  ASSERT_EQ(Run("add " + folder_ + " right --chip vmc2240 --memory eeprom16 --pid 0x4242 --port 2-1.3 --channels xu"), 0)
      << output_;
  ASSERT_EQ(Run("show " + folder_), 0);
  EXPECT_NE(output_.find("left\n"), std::string::npos);
  EXPECT_NE(output_.find("port       1-2"), std::string::npos);
  EXPECT_NE(output_.find("PID 4242"), std::string::npos);
  EXPECT_NE(output_.find("port       2-1.3"), std::string::npos);

  std::string error;
  auto host = sim::OpenBench(folder_, error);
  ASSERT_TRUE(host) << error;
  int functions = 0;
  for (const auto& node : host->Nodes()) functions += node.audioInterface;
  EXPECT_EQ(functions, 2);

  ASSERT_EQ(Run("unplug " + folder_ + " left"), 0);
  functions = 0;
  for (const auto& node : host->Nodes()) functions += node.audioInterface;
  EXPECT_EQ(functions, 1) << "the running host sees the other process's change";
  ASSERT_EQ(Run("plug " + folder_ + " left"), 0);
  EXPECT_NE(Run("plug " + folder_ + " left"), 0);
}

TEST_F(SimTool, ARealTimeBenchKeepsItsSettingAndAPlainOneStaysVirtual) {
  ASSERT_EQ(Run("create " + folder_ + " --real-time"), 0) << output_;
  ASSERT_EQ(Run("add " + folder_ + " c --chip VMC2232"), 0) << output_;  // a later save keeps the setting
  ASSERT_EQ(Run("show " + folder_), 0);
  EXPECT_NE(output_.find(": real time\n"), std::string::npos) << output_;
  std::string error;
  auto bench = sim::Bench::Load(folder_, error);
  ASSERT_TRUE(bench) << error;
  EXPECT_TRUE(bench->realTime);
  EXPECT_NE(Run("create " + folder_ + "-x --fast"), 0);

  std::filesystem::remove_all(folder_);
  ASSERT_EQ(Run("create " + folder_), 0) << output_;
  ASSERT_EQ(Run("show " + folder_), 0);
  EXPECT_EQ(output_.find("real time"), std::string::npos) << output_;
  bench = sim::Bench::Load(folder_, error);
  ASSERT_TRUE(bench) << error;
  EXPECT_FALSE(bench->realTime);
}

TEST_F(SimTool, ReenumerationTimeIsStoredWithTheCodecAndKeptByAReset) {
  ASSERT_EQ(Run("create " + folder_), 0);
  ASSERT_EQ(Run("add " + folder_ + " slow --chip VMC2232 --reenumerate-ms 4000"), 0) << output_;
  ASSERT_EQ(Run("add " + folder_ + " plain --chip VMC2232"), 0) << output_;
  EXPECT_NE(Run("add " + folder_ + " bad --chip VMC2232 --reenumerate-ms 60001"), 0);
  EXPECT_NE(output_.find("bad --reenumerate-ms"), std::string::npos) << output_;
  EXPECT_NE(Run("add " + folder_ + " bad --chip VMC2232 --reenumerate-ms 1s"), 0);
  ASSERT_EQ(Run("show " + folder_), 0);
  EXPECT_NE(output_.find("back 4000 ms after a reset"), std::string::npos) << output_;
  EXPECT_NE(output_.find("back 600 ms after a reset"), std::string::npos) << output_;

  std::string error;
  auto host = sim::OpenBench(folder_, error);
  ASSERT_TRUE(host) << error;
  const auto functions = [&] {
    int n = 0;
    for (const auto& node : host->Nodes()) n += node.audioInterface;
    return n;
  };
  std::uint32_t instance = 0;
  for (const auto& node : host->Nodes()) {
    if (node.audioInterface && instance == 0) instance = node.instance;  // "slow", on port 1
  }
  std::uint32_t openError = 0;
  auto device = host->Open(instance, openError);
  ASSERT_TRUE(device);
  Channels channels(*device);
  ASSERT_EQ(channels.VendorOut(0x20, 6, 0), platform::kErrorSuccess);  // into the boot ROM, off the bus
  platform::Clock& clock = host->HostClock();
  clock.SleepMs(3999);
  EXPECT_EQ(functions(), 1) << "back before its 4 s";
  clock.SleepMs(1);
  EXPECT_EQ(functions(), 2);
}

TEST_F(SimTool, FirmwareRunsAndDumpGivesTheCodeMemoryBack) {
  std::vector<std::uint8_t> image(0x10000, 0xFF);
  image[0] = 0x02;
  const std::uint8_t version[8] = {0x41, 0x19, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07};
  std::copy(version, version + 8, image.begin() + 0x100C);
  const std::uint8_t header[3] = {0x30, 0xA5, 24 << 3 | 2};
  std::copy(header, header + 3, image.begin() + 0xF000);
  const std::string file = folder_ + ".bin", dump = folder_ + ".dump";
  ASSERT_TRUE(sim::WriteBinaryFile(file, image));
  ASSERT_EQ(Run("create " + folder_), 0);
  ASSERT_EQ(Run("add " + folder_ + " c --chip VMC2232 --firmware " + file), 0) << output_;
  ASSERT_EQ(Run("show " + folder_ + " c"), 0);
  EXPECT_NE(output_.find("version    4.119.0000-0000.0007"), std::string::npos) << output_;
  EXPECT_NE(output_.find("running its firmware"), std::string::npos);
  ASSERT_EQ(Run("dump " + folder_ + " c " + dump), 0);
  std::vector<std::uint8_t> dumped;
  ASSERT_TRUE(sim::ReadBinaryFile(dump, dumped));
  ASSERT_EQ(dumped.size(), 0x80000u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), dumped.begin()));
  std::filesystem::remove(file);
  std::filesystem::remove(dump);
}

TEST_F(SimTool, ErrorsNameTheProblemAndLeaveTheBenchAlone) {
  EXPECT_NE(Run("show " + folder_), 0);
  EXPECT_NE(output_.find("no bench"), std::string::npos);
  ASSERT_EQ(Run("create " + folder_), 0);
  std::vector<std::uint8_t> before, after;
  ASSERT_TRUE(sim::ReadBinaryFile(folder_ + "/bench.txt", before));
  struct Case {
    std::string arguments, message;
  };
  const Case cases[] = {
      {"add " + folder_ + " x --chip VMC9999", "unknown chip"},
      {"add " + folder_ + " x --chip VMC2232 --firmware /nonexistent.bin", "cannot read firmware file"},
      {"add " + folder_ + " x --chip VMC2232 --memory flashy", "unknown memory"},
      {"add " + folder_ + " x --chip VMC2232 --port 1-9", "bad port"},
      {"fault " + folder_ + " x stall=vendor:2F", "no codec named x"},
      {"create " + folder_, "already holds a bench"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(Run(c.arguments), 0) << c.arguments;
    EXPECT_NE(output_.find(c.message), std::string::npos) << output_;
  }
  ASSERT_TRUE(sim::ReadBinaryFile(folder_ + "/bench.txt", after));
  EXPECT_EQ(before, after) << "failed commands leave the bench as it was";
  ASSERT_EQ(Run("add " + folder_ + " x --chip VMC2232"), 0);
  EXPECT_NE(Run("fault " + folder_ + " x stall=vendor"), 0);
  EXPECT_NE(output_.find("bad fault item"), std::string::npos);
  EXPECT_NE(Run("add " + folder_ + " y --chip VMC2232 --port 1-1.2"), 0) << "port 1 holds codec x";
}

TEST(FaultSpec, ItemsRoundTripAndCountDown) {
  sim::FaultSet faults;
  std::map<std::uint32_t, std::uint8_t> stuck;
  std::string error;
  ASSERT_TRUE(sim::ApplyFaultSpec("timeout=xu:02:97*2,stall=std:06,flip-read=F000:01,stuck-otp=10:80", faults, stuck, error))
      << error;
  EXPECT_EQ(faults.ToSpec(), "timeout=xu:02:97*2,stall=std:06,flip-read=F000:01");
  EXPECT_EQ(stuck.at(0x10), 0x80);
  const sim::RequestKey otpWrite{sim::RequestChannel::kExtensionUnit, 0x02, 0x97};
  EXPECT_TRUE(faults.Hit(otpWrite)->timeout);
  EXPECT_TRUE(faults.Hit(otpWrite));
  EXPECT_FALSE(faults.Hit(otpWrite));
  EXPECT_TRUE(faults.Hit({sim::RequestChannel::kStandard, 0x06, 0}));
  EXPECT_TRUE(faults.Hit({sim::RequestChannel::kStandard, 0x06, 0})) << "without a count: every time";
  EXPECT_FALSE(sim::ApplyFaultSpec("disconnect-after=3,bogus", faults, stuck, error));
  EXPECT_EQ(faults.disconnectAfter, -1) << "a bad spec changes nothing";
  ASSERT_TRUE(sim::ApplyFaultSpec("clear", faults, stuck, error));
  EXPECT_TRUE(faults.Empty());
  EXPECT_TRUE(stuck.empty());
}

}  // namespace
}  // namespace simtest
