// The program's start-up and shut-down on a simulated bench, in-process:
// the services start, a factory job runs through them, they stop, and the
// next round in the same process starts as a new process would. What the
// codec holds is read from the saved bench afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/parse_arg.h"
#include "app/program_services.h"
#include "app/program_state.h"
#include "app/status_codes.h"
#include "image/image_version.h"
#include "image/sample_image.h"
#include "tests/support/image_fixtures.h"
#include "sim/open_bench.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kNew[] = "4.120.0000-0000.0001";
constexpr char kSettings[] = "[Quillox Config]\r\nCheckVIDPID_INI=1\r\n";

using Bytes = std::vector<std::uint8_t>;

class Services : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = simtest::TempBenchFolder();
    simtest::CodecSpec codec;
    codec.firmware = SampleImageBytes("VMC2232", kOld);
    simtest::MakeBench(folder_, {codec});
    old_ = codec.firmware;
    new_ = SampleImageBytes("VMC2232", kNew);
    station_.Write("old.bin", std::string(old_.begin(), old_.end()));
    station_.Write("new.bin", std::string(new_.begin(), new_.end()));
  }
  void TearDown() override {
    services_.Stop();
    host_.reset();
    unsetenv("TESSALOAD_SIM");
    std::filesystem::remove_all(folder_);
  }

  // Starts over the bench's host, opened here as a test owns it.
  bool Start() {
    std::string error;
    host_ = sim::OpenBench(folder_, error);
    EXPECT_TRUE(host_) << error;
    ServiceOptions options;
    options.settingsText = kSettings;
    options.usbHost = host_.get();
    return services_.Start(options);
  }
  // The exit code; the bench is saved once its host is gone.
  int Stop() {
    const int code = services_.Stop();
    host_.reset();
    return code;
  }
  // `tessaload -f ...` through the running services: the job's outcome as
  // the factory form fills it.
  JobOutcome Factory(std::vector<std::string> args) {
    CParseArg command;
    command.SetResultFolder(station_.Path());
    args.insert(args.begin(), {"tessaload", "-f"});
    EXPECT_EQ(command.Parse_Arg(args), 1);
    const int result =
        services_.RunJob(&command, true, [&] { return command.Prepare() ? command.Excute_Arg() : 0; });
    return command.Outcome(result);
  }
  static void ExpectPass(const JobOutcome& o, const char* action) {
    EXPECT_EQ(o.action, action);
    EXPECT_TRUE(o.pass);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_EQ(o.burnSerial, "Morvane");
  }

  // The codec's memory, and what it starts after a power cycle.
  Bytes Memory() {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    EXPECT_TRUE(bench) << error;
    return bench->Find("codec")->Memory().Bytes();
  }
  std::string StartsAfterPowerCycle() {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    sim::Codec& codec = *bench->Find("codec");
    codec.PowerOff();
    codec.PowerOn();
    return codec.Mode() == sim::CodecMode::kRunning ? FormatVersion(codec.RunningVersion()) : "boot ROM";
  }
  std::uint64_t Transfers() {
    std::string error;
    return sim::Bench::Load(folder_, error)->Find("codec")->Counters().transfers;
  }
  bool Holds(const Bytes& image) {
    const Bytes memory = Memory();
    return memory.size() >= image.size() && std::equal(image.begin(), image.end(), memory.begin());
  }

  TempDir station_;
  std::string folder_;
  Bytes old_, new_;
  std::unique_ptr<platform::UsbHost> host_;
  ProgramServices services_;  // stops before the host goes
};

TEST_F(Services, RoundAfterRoundInOneProcess) {
  // Write, then stop: the exit code of a pass, and the codec runs the image.
  ASSERT_TRUE(Start());
  ExpectPass(Factory({"-write", station_.File("new.bin")}), "write");
  EXPECT_EQ(SilentMode, 1) << "the job ran as the command line";
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(SilentMode, 0);
  EXPECT_TRUE(Holds(new_));
  EXPECT_EQ(StartsAfterPowerCycle(), kNew);

  // A dump changes the read size for its job only: the next round reads as
  // a new process does.
  ASSERT_TRUE(Start());
  ExpectPass(Factory({"-dumpspi", station_.File("dump.bin")}), "dumpspi");
  EXPECT_EQ(CodeReadSize, 0x10000u);
  EXPECT_EQ(Stop(), 0);
  const Bytes memory = Memory();
  EXPECT_EQ(station_.Read("dump.bin"), std::string(memory.begin(), memory.begin() + 0x10000));

  // A failing job: its exit code comes out of Stop and stays the last status.
  ASSERT_TRUE(Start());
  EXPECT_EQ(CodeReadSize, kDefaultCodeReadSize);
  const JobOutcome failed = Factory({"-verify", station_.File("old.bin")});
  EXPECT_EQ(failed.action, "verify");
  EXPECT_FALSE(failed.pass);
  EXPECT_EQ(failed.status, kStsCompareDataFail);
  EXPECT_EQ(failed.statusText, StatusText(kStsCompareDataFail));
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.burnSerial, "Morvane");
  EXPECT_EQ(Stop(), 1);
  EXPECT_EQ(LastStatusCode, 1);

  // And the round after a failure starts clean.
  ASSERT_TRUE(Start());
  EXPECT_EQ(LastStatusCode, 0);
  ExpectPass(Factory({"-verify", station_.File("new.bin")}), "verify");
  EXPECT_EQ(Stop(), 0);
  EXPECT_TRUE(Holds(new_));
  EXPECT_EQ(StartsAfterPowerCycle(), kNew);
}

// Without a given host the services open the one the environment names, own
// it and save the bench when they stop.
TEST_F(Services, OwnTheHostTheEnvironmentNames) {
  setenv("TESSALOAD_SIM", folder_.c_str(), 1);
  ServiceOptions options;
  options.settingsText = kSettings;
  ASSERT_TRUE(services_.Start(options));
  ASSERT_NE(services_.UsbHost(), nullptr);
  ExpectPass(Factory({"-write", station_.File("new.bin")}), "write");
  EXPECT_EQ(services_.Stop(), 0);
  EXPECT_EQ(services_.UsbHost(), nullptr);
  EXPECT_TRUE(Holds(new_));
  EXPECT_EQ(StartsAfterPowerCycle(), kNew);
}

// A host that cannot be opened: the services say why, and a job is refused
// with "Detect Device Fail!" before any codec is touched.
TEST_F(Services, WithoutAHostAJobFindsNoCodec) {
  const std::string missing = folder_ + "/missing";
  setenv("TESSALOAD_SIM", missing.c_str(), 1);
  ServiceOptions options;
  options.settingsText = kSettings;
  EXPECT_FALSE(services_.Start(options));
  EXPECT_EQ(services_.UsbHost(), nullptr);
  EXPECT_NE(services_.UsbError().find("TESSALOAD_SIM=" + missing), std::string::npos) << services_.UsbError();
  const JobOutcome refused = Factory({"-write", station_.File("new.bin")});
  EXPECT_FALSE(refused.pass);
  EXPECT_EQ(refused.status, kStsDetectDeviceFail);
  EXPECT_EQ(refused.exitCode, 4);
  EXPECT_EQ(services_.Stop(), 4);
  EXPECT_EQ(Transfers(), 0u);
  EXPECT_TRUE(Holds(old_));
}

}  // namespace
