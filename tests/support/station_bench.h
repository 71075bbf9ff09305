#pragma once
// What window mode has after start-up, on a simulated bench in a temporary
// folder: the settings, the IC-type descriptions, the device library on the
// bench's host and the current flow object. Both the worker's tests and the
// window's tests start here.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program_services.h"
#include "app/program_state.h"
#include "flow/create_flow.h"
#include "flow/flow_host.h"
#include "image/ic_type_ini.h"
#include "image/image_version.h"
#include "sim/faults.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/image_fixtures.h"

class StationBench {
 public:
  // The codec of the window tests: a VMC2230 on an SPI flash, whose built-in
  // image (FFU_3C5A_2230) is 4.119.0000-0000.0008.
  static simtest::CodecSpec Codec(const std::string& version, const std::string& name = "codec",
                                  sim::PortPath port = {1, {1}}) {
    simtest::CodecSpec spec;
    spec.name = name;
    spec.chip = "VMC2230";
    spec.port = port;
    if (!version.empty()) spec.firmware = SampleImageBytes("VMC2230", version);
    return spec;
  }
  static constexpr char kBuiltInVersion[] = "4.119.0000-0000.0008";

  // Makes the bench and starts as window mode does; `settings` are lines of
  // section "Quillox Config" after the built-in ones; `faults` (the fault
  // specification of tessaload-sim) are armed on the first codec.
  void Start(const std::vector<simtest::CodecSpec>& codecs, const std::string& settings = "",
             const std::string& faults = "") {
    folder_ = simtest::TempBenchFolder();
    simtest::MakeBench(folder_, codecs);
    if (!faults.empty()) ArmFaults(codecs.front().name, faults);
    if (edit) Edit(edit);
    std::string error;
    host_ = sim::OpenBench(folder_, error);
    ASSERT_TRUE(host_) << error;
    ServiceOptions options;
    options.settingsText = "[Quillox Config]\r\nCheckVIDPID_INI=1\r\n" + settings;
    options.usbHost = host_.get();
    ASSERT_TRUE(services_.Start(options));
  }

  void Stop() {
    services_.Stop();
    host_.reset();
    SetFlowHost(nullptr);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
    folder_.clear();
  }

  // Changes the saved bench before Start opens it.
  std::function<void(sim::Bench&)> edit;

  void Edit(const std::function<void(sim::Bench&)>& change) {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    change(*bench);
    ASSERT_TRUE(bench->Save(error)) << error;
  }

  void ArmFaults(const std::string& name, const std::string& faults) {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    sim::Codec& codec = *bench->Find(name);
    ASSERT_TRUE(sim::ApplyFaultSpec(faults, codec.Faults(), codec.Memory().StuckBits(), error)) << error;
    ASSERT_TRUE(bench->Save(error)) << error;
  }

  sim::SimHost& Host() { return static_cast<sim::SimHost&>(*host_); }

  // The saved state of a codec, as another program on the bench sees it.
  std::unique_ptr<sim::Bench> Saved() {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    EXPECT_TRUE(bench) << error;
    return bench;
  }
  std::string RunningVersion(const std::string& name = "codec") {
    auto bench = Saved();
    return FormatVersion(bench->Find(name)->RunningVersion());
  }

  std::string folder_;
  std::unique_ptr<platform::UsbHost> host_;
  ProgramServices services_;  // stops before the host goes
};
