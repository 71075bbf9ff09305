// Downloads to EEPROM and OTP codecs against the chip's own answers: every
// guarded transfer is tried 8 times (7 stalls pass, 8 fail), and a read-back
// that differs from the image in any byte, the last one too, fails the write
// before the codec could start it. Each case checks the codec's memory and
// what it starts afterwards.
#include <gtest/gtest.h>

#include "app/status_codes.h"
#include "flow/otp_image.h"
#include "sim/faults.h"
#include "tests/flow/flow_bench_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const sim::FirmwareVersion kOld{4, 1, 0x19, 0, 0, 7};
const sim::FirmwareVersion kNew{4, 1, 0x20, 0, 0, 1};

struct Memory {
  const char* name;
  sim::MemoryKind kind;
  int memoryType;
  SampleMemory sample;
  const char* stalled;  // the guarded request that stalls: the first one of the download tried 8 times
};
// The 8-bit erase is tried 3 times, so its EEPROM stalls on the empty check's reads.
constexpr Memory kMemories[] = {
    {"8-bit EEPROM", sim::MemoryKind::kEeprom8, 2, SampleMemory::kEeprom8, "stall=vendor:35*N,stall=xu:02:CB*N"},
    {"16-bit EEPROM", sim::MemoryKind::kEeprom16, 3, SampleMemory::kEeprom16, "stall=xu:02:91*N"},
    {"OTP", sim::MemoryKind::kOtp, 6, SampleMemory::kOtp, "stall=xu:02:97*N"},
};

class Downloads : public BenchFixture {
 protected:
  // A codec of that memory running the old image (the OTP's written by a
  // download), with the faults armed.
  void StartWith(const Memory& m, const std::string& faults) {
    memoryType_ = m.memoryType;
    const bool otp = m.kind == sim::MemoryKind::kOtp;
    Start({CodecSpec{"codec", "VMC2232", m.kind, {1, {1}}, otp ? Bytes{} : Image("VMC2232", "4.119.0000-0000.0007", m.sample), "both"}});
    if (otp) {
      ASSERT_EQ(DownloadImage(Image("VMC2232", "4.119.0000-0000.0007", m.sample)), 1) << LastStatusCode;
    }
    ASSERT_EQ(Running(), kOld);
    old_ = CodeMemory("codec");
    if (!faults.empty()) {
      EditCodec("codec", [&](sim::Codec& c) {
        std::string error;
        ASSERT_TRUE(sim::ApplyFaultSpec(faults, c.Faults(), c.Memory().StuckBits(), error)) << error;
      });
    }
  }
  int DownloadImage(const Bytes& image) {
    CDevFlow* flow = CurrentFlow();
    EXPECT_TRUE(flow->DEV_OpenDeviceByVIDPID());
    flow->MP_GetDeviceInfo();
    flow->PrepareJobFlags();
    flow->download.image = image;
    LastStatusCode = 0;
    return flow->Download();
  }
  // After a failed download: the old image, unchanged, or nothing starts.
  void ExpectOldOrBootRom() {
    const sim::FirmwareVersion running = Running();
    if (running == kOld) {
      const Bytes memory = CodeMemory("codec");
      EXPECT_TRUE(std::equal(old_.begin(), old_.begin() + 0x180, memory.begin())) << "the old image changed";
    } else {
      EXPECT_EQ(running, sim::FirmwareVersion{}) << "a part image starts";
    }
  }
  static std::string WithCount(std::string spec, int n) {
    for (std::size_t at; (at = spec.find('N')) != std::string::npos;) spec.replace(at, 1, std::to_string(n));
    return spec;
  }
  Bytes old_;
};

TEST_F(Downloads, EveryGuardedTransferIsTriedEightTimes) {
  for (const Memory& m : kMemories) {
    for (const int stalls : {7, 8}) {
      SCOPED_TRACE(std::string(m.name) + ", " + std::to_string(stalls) + " stalls");
      StartWith(m, WithCount(m.stalled, stalls));
      const Bytes image = Image("VMC2232", "4.120.0000-0000.0001", m.sample);
      const int result = DownloadImage(image);
      if (stalls == 7) {
        EXPECT_EQ(result, 1) << LastStatusCode;
        EXPECT_EQ(Running(), kNew);
      } else {
        EXPECT_EQ(result, 0);
        EXPECT_NE(LastStatusCode, 0);
        ExpectOldOrBootRom();
      }
      TearDown();
    }
  }
}

TEST_F(Downloads, AReadBackDifferenceInAnyByteFailsTheWriteBeforeTheImageCanStart) {
  for (const Memory& m : kMemories) {
    const Bytes image = Image("VMC2232", "4.120.0000-0000.0001", m.sample);
    // Where the image's bytes land, and the chip's address of the byte tried.
    std::vector<std::pair<const char*, std::uint32_t>> bytes;
    if (m.kind == sim::MemoryKind::kOtp) {
      Bytes code, config;
      otp::SplitImage(image, otp::PartKind::kCode, code);
      otp::SplitImage(image, otp::PartKind::kConfig, config);
      const std::uint32_t used = std::uint32_t(otp::DownloadFootprint(image).bytes);  // the old download's blocks
      bytes = {{"the code block's last byte", used + std::uint32_t(code.size()) - 1},
               {"the configuration block's last byte", used + std::uint32_t(code.size() + config.size()) - 1}};
    } else {
      std::uint32_t blank = 8;  // an 8-byte chunk the image leaves 0xFF
      while (blank + 8 < image.size() && !std::all_of(image.begin() + blank, image.begin() + blank + 8,
                                                      [](std::uint8_t b) { return b == 0xFF; }))
        blank += 8;
      ASSERT_LT(blank + 8, image.size()) << "the sample has a blank chunk";
      bytes = {{"the last byte", std::uint32_t(image.size()) - 1}, {"a chunk of 0xFF", blank}};
    }
    for (const auto& [what, address] : bytes) {
      SCOPED_TRACE(std::string(m.name) + ", " + what);
      StartWith(m, "flip-read=" + [](std::uint32_t a) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X:01", unsigned(a));
        return std::string(hex);
      }(address));
      EXPECT_EQ(DownloadImage(image), 0);
      EXPECT_EQ(LastStatusCode, kStsCompareDataFail);
      ExpectOldOrBootRom();
      // The next download, once the chip reads right, writes the image whole.
      EditCodec("codec", [](sim::Codec& c) { c.Faults().flipOnRead.clear(); });
      EXPECT_EQ(DownloadImage(image), 1) << LastStatusCode;
      EXPECT_EQ(Running(), kNew);
      TearDown();
    }
  }
}

}  // namespace
