#pragma once
// Flows in-process on a simulated bench: the bench in a temporary folder, the
// device library over its host, the built-in descriptions and the current
// flow object for a memory type. Edits and reads of the saved codecs close
// and reopen the bench as a separate program would.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/program_services.h"
#include "app/program_state.h"
#include "flow/create_flow.h"
#include "flow/flow_host.h"
#include "image/sample_image.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/image_fixtures.h"
#include "tests/support/remembering_host.h"

using simtest::CodecSpec;

class TestHost : public RememberingHost {
 public:
  bool StopRequested() override { return stop_; }
  bool stop_ = false;
};

class BenchFixture : public testing::Test {
 public:
  // A sample image of the chip.
  static std::vector<std::uint8_t> Image(const std::string& chip, const std::string& version,
                                         SampleMemory memory = SampleMemory::kSpi) {
    return SampleImageBytes(chip, version, memory);
  }

 protected:
  // The memory type of the flow objects Open creates.
  int memoryType_ = 0;

  void Start(const std::vector<CodecSpec>& specs, const std::string& settings = "") {
    folder_ = simtest::TempBenchFolder();
    simtest::MakeBench(folder_, specs);
    Open(settings);
  }
  void Open(const std::string& settings = "") {
    settings_ = settings;
    std::string error;
    host_ = sim::OpenBench(folder_, error);
    ASSERT_TRUE(host_) << error;
    SetFlowHost(&host);
    ServiceOptions options;
    options.settingsText = "[Quillox Config]\r\nCheckVIDPID_INI=1\r\n" + settings;
    options.usbHost = host_.get();
    options.memoryType = memoryType_;
    ASSERT_TRUE(services_.Start(options));
    Opened();
  }
  // Called once the flow object exists.
  virtual void Opened() {}
  void Close() {
    services_.Stop();
    host_.reset();
    SetFlowHost(nullptr);
  }
  void TearDown() override {
    Close();
    std::filesystem::remove_all(folder_);
  }
  // Changes the saved bench while no program has it open.
  template <typename Edit>
  void EditCodec(const std::string& name, Edit edit) {
    Close();
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    edit(*bench->Find(name));
    ASSERT_TRUE(bench->Save(error)) << error;
    Open(settings_);
  }
  // The saved state of a codec, as another program sees it now.
  std::unique_ptr<sim::Bench> Saved() {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    EXPECT_TRUE(bench) << error;
    return bench;
  }
  std::uint64_t Resets(const std::string& name) { return Saved()->Find(name)->Counters().resets; }
  std::vector<std::uint8_t> CodeMemory(const std::string& name) { return Saved()->Find(name)->Memory().Bytes(); }
  // The version the codec runs; zeros in its boot ROM.
  sim::FirmwareVersion Running(const std::string& name = "codec") {
    auto bench = Saved();
    const sim::Codec& codec = *bench->Find(name);
    return codec.Mode() == sim::CodecMode::kRunning ? codec.RunningVersion() : sim::FirmwareVersion{};
  }

  TestHost host;
  std::string folder_;
  std::string settings_;
  std::unique_ptr<platform::UsbHost> host_;
  ProgramServices services_;  // stops before the host goes
};
