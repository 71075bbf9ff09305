// The NOR flash download in-process on a simulated codec: the whole image
// written, its header and tag last, and power lost after any transfer never
// leaving a part image the boot ROM would start.
#include <gtest/gtest.h>

#include "app/program_state.h"
#include "flow/flash_front_end.h"
#include "tests/flow/flow_bench_fixture.h"

namespace {

constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kNew[] = "4.120.0000-0000.0001";

class NorBench : public BenchFixture {
 protected:
  void Opened() override {
    flow_ = dynamic_cast<CNORFlashInfo_USB*>(CurrentFlow());
    ASSERT_NE(flow_, nullptr);
  }
  // A fresh bench whose codec holds the old image; power lost after
  // `cutAfter` transfers when not negative.
  void Fresh(int cutAfter) {
    if (host_) Close();
    memoryType_ = 1;
    Start({CodecSpec{"codec", "VMC2232", sim::MemoryKind::kNorFlash, {1, {1}}, old_, "both"}});
    if (cutAfter >= 0) EditCodec("codec", [&](sim::Codec& c) { c.Faults().disconnectAfter = cutAfter; });
  }
  int Download() {
    if (!flow_->DEV_OpenDeviceByVIDPID()) return 0;
    flow_->MP_GetDeviceInfo();
    flow_->PrepareJobFlags();
    flow_->download.image = new_;
    flow_->download.imageCopy = new_;
    return flow_->Download();
  }
  // The codec powered on again, as the boot ROM then decides.
  sim::FirmwareVersion AfterPowerCycle() {
    EditCodec("codec", [](sim::Codec& c) {
      c.Faults() = {};
      c.PowerOff();
      c.PowerOn();
    });
    return Running();
  }

  std::vector<std::uint8_t> old_ = Image("VMC2232", kOld, SampleMemory::kNor);
  std::vector<std::uint8_t> new_ = Image("VMC2232", kNew, SampleMemory::kNor);
  CNORFlashInfo_USB* flow_ = nullptr;
};

const sim::FirmwareVersion kOldVersion{4, 1, 0x19, 0, 0, 7};
const sim::FirmwareVersion kNewVersion{4, 1, 0x20, 0, 0, 1};

TEST_F(NorBench, ADownloadWritesTheWholeImageAndTheTagAndStartsIt) {
  Fresh(-1);
  ASSERT_EQ(Download(), 1) << LastStatusCode;
  std::vector<std::uint8_t> expected = new_;
  expected[0xEFFE] = 0x55;  // the NOR tag
  expected[0xEFFF] = 0xAA;
  const auto memory = CodeMemory("codec");
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), memory.begin()));
  EXPECT_EQ(AfterPowerCycle(), kNewVersion);
}

TEST_F(NorBench, PowerLostAfterAnyTransferLeavesTheOldImageTheBootRomOrTheWholeNewOne) {
  Fresh(-1);
  ASSERT_EQ(Download(), 1);
  const int total = int(Saved()->Find("codec")->Counters().transfers);
  ASSERT_GT(total, 50);
  int old = 0, rom = 0, whole = 0;
  for (int n = 1; n < total; ++n) {
    SCOPED_TRACE("power lost after transfer " + std::to_string(n));
    Fresh(n);
    const int passed = Download();
    const sim::FirmwareVersion running = AfterPowerCycle();
    const auto memory = CodeMemory("codec");
    if (running == kNewVersion) {
      ++whole;
      EXPECT_TRUE(std::equal(new_.begin(), new_.begin() + 0xEFFE, memory.begin())) << "a part image starts";
    } else if (running == kOldVersion) {
      ++old;
      EXPECT_EQ(passed, 0);
      EXPECT_TRUE(std::equal(old_.begin(), old_.end(), memory.begin())) << "the old image was changed";
    } else {
      ++rom;
      EXPECT_EQ(passed, 0);
      EXPECT_EQ(running, sim::FirmwareVersion{});
    }
    if (HasFailure()) return;
  }
  EXPECT_GT(old, 0);
  EXPECT_GT(rom, 0);
}

}  // namespace
