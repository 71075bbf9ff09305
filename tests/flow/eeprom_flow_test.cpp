// The EEPROM front ends on simulated codecs with 8- and 16-bit EEPROMs: write,
// verify, dump and erase end to end, the 8-bit empty check, the reset after a
// read and the refusal of an empty image.
#include <gtest/gtest.h>

#include <fstream>

#include "app/status_codes.h"
#include "flow/eeprom_front_end.h"
#include "flow/job_flags.h"
#include "tests/flow/flow_bench_fixture.h"

namespace {

struct Width {
  const char* name;
  sim::MemoryKind kind;
  int memoryType;
  SampleMemory sample;
};
constexpr Width kWidths[] = {{"8-bit", sim::MemoryKind::kEeprom8, 2, SampleMemory::kEeprom8},
                             {"16-bit", sim::MemoryKind::kEeprom16, 3, SampleMemory::kEeprom16}};

class EepromBench : public BenchFixture {
 protected:
  void Opened() override {
    flow_ = dynamic_cast<CEepromInfo*>(CurrentFlow());
    ASSERT_NE(flow_, nullptr);
  }
  void StartWith(const Width& w, std::vector<std::uint8_t> content = {}) {
    memoryType_ = w.memoryType;
    Start({CodecSpec{"codec", "VMC2232", w.kind, {1, {1}}, std::move(content), "both"}});
    Connect();
  }
  // Opens the codec as a job does.
  void Connect() {
    ASSERT_TRUE(flow_->DEV_OpenDeviceByVIDPID());
    flow_->MP_GetDeviceInfo();
    flow_->PrepareJobFlags();
  }
  std::string File(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }
  static std::vector<std::uint8_t> Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  CEepromInfo* flow_ = nullptr;
};

TEST_F(EepromBench, WriteVerifyDumpAndEraseEndToEnd) {
  for (const Width& w : kWidths) {
    SCOPED_TRACE(w.name);
    StartWith(w);
    const auto image = Image("VMC2232", "4.120.0000-0000.0001", w.sample);
    const std::string file = File("image.bin", image);

    ASSERT_EQ(flow_->SilenceWriteBin(file), 1) << LastStatusCode;
    EXPECT_EQ(LastStatusCode, 0);
    auto memory = CodeMemory("codec");
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin())) << "the image with its tag byte 0xA5";
    EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));

    Connect();
    EXPECT_EQ(flow_->SilenceVerifyBin(file), 1);
    EXPECT_EQ(flow_->updateImage, image);

    Connect();
    CodeReadSize = std::uint32_t(image.size());
    ASSERT_EQ(flow_->SilenceReadBin(folder_ + "/dump/code.bin"), 1);
    EXPECT_EQ(Read(folder_ + "/dump/code.bin"), image);

    // A verify against another image reads, then reports the difference.
    Connect();
    const std::string other = File("other.bin", Image("VMC2232", "4.121.0000-0000.0001", w.sample));
    EXPECT_EQ(flow_->SilenceVerifyBin(other), 0);
    EXPECT_EQ(LastStatusCode, kStsCompareDataFail);

    Connect();
    CodeReadSize = 0x800;
    ASSERT_EQ(flow_->EraseCodeEx(1), 1);
    memory = CodeMemory("codec");
    const std::size_t erased = w.memoryType == 2 ? 64 : 0x800;  // the 8-bit erase clears the header's 64 bytes
    EXPECT_TRUE(std::all_of(memory.begin(), memory.begin() + erased, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(Running(), sim::FirmwareVersion{}) << "nothing runs after the erase";
    TearDown();
  }
}

TEST_F(EepromBench, TheEightBitEmptyCheckLooksAtTheFirst64BytesOnly) {
  std::vector<std::uint8_t> content(0x800, 0x00);
  std::fill(content.begin(), content.begin() + 64, 0xFF);
  StartWith(kWidths[0], content);
  ASSERT_EQ(flow_->MP_OpenRomDevice(), 1);
  EXPECT_EQ(flow_->MP_CheckEeprom8Empty(), 1);
  content[63] = 0xFE;
  TearDown();
  StartWith(kWidths[0], content);
  ASSERT_EQ(flow_->MP_OpenRomDevice(), 1);
  EXPECT_EQ(flow_->MP_CheckEeprom8Empty(), 0);
}

TEST_F(EepromBench, AnOldImageBeyondTheErasedBytesIsOverwritten) {
  std::vector<std::uint8_t> content(0x800, 0x00);
  StartWith(kWidths[0], content);
  const auto image = Image("VMC2232", "4.120.0000-0000.0001", SampleMemory::kEeprom8);
  flow_->download.image = image;
  ASSERT_EQ(flow_->Download(), 1) << LastStatusCode;
  const auto memory = CodeMemory("codec");
  EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
}

TEST_F(EepromBench, ASixteenBitReadResetsTheCodecEvenWithoutTheResetJobBit) {
  const auto image = Image("VMC2232", "4.120.0000-0000.0001", SampleMemory::kEeprom16);
  StartWith(kWidths[1], image);
  JobFlags &= ~kJobResetAfterUpdate;
  CodeReadSize = 0x200;
  ASSERT_EQ(flow_->ReadCode(), 1);
  EXPECT_EQ(Resets("codec"), 2u);  // into the boot ROM, and back to the code
  EXPECT_EQ(Running(), (sim::FirmwareVersion{4, 1, 0x20, 0, 0, 1}));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flow_->updateImage.begin()));
}

TEST_F(EepromBench, AnImageOfLengthZeroIsRefusedBeforeTheWrite) {
  for (const Width& w : kWidths) {
    SCOPED_TRACE(w.name);
    StartWith(w);
    flow_->download.image.clear();
    EXPECT_EQ(flow_->Download(), 0);
    EXPECT_EQ(LastStatusCode, kStsParseFwFileFail);
    EXPECT_EQ(Resets("codec"), 0u);
    TearDown();
  }
}

TEST_F(EepromBench, WriteProtectionHoldsOutsideTheUpdate) {
  StartWith(kWidths[1]);
  const auto image = Image("VMC2232", "4.120.0000-0000.0001", SampleMemory::kEeprom16);
  ASSERT_EQ(flow_->MP_OpenRomDevice(), 1);
  const std::vector<std::uint8_t> zeros(16, 0x00);
  ASSERT_EQ(flow_->MP_EepromWPOn(), 1);
  EXPECT_EQ(flow_->MP_WriteEeprom16(zeros.data(), 16), 1);  // acknowledged, not stored
  EXPECT_EQ(CodeMemory("codec")[0], 0xFF);

  std::vector<std::uint8_t> work = image;
  int status = 0;
  ASSERT_EQ(flow_->EE16_UpdateEx_Cmd2(work, status), 1) << status;
  EXPECT_EQ(flow_->MP_WriteEeprom16(zeros.data(), 16), 1);  // protected again afterwards
  const auto memory = CodeMemory("codec");
  EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
}

}  // namespace
