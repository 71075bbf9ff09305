// Downloads as the window starts them (the front end's Download with the image
// it was given, no file check before it): an image that cannot work is
// refused before the codec is touched, on every memory type. What is checked
// is the codec's memory and its reset counter, not the flow's own words.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/status_codes.h"
#include "tests/flow/flow_bench_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Memory {
  const char* name;
  sim::MemoryKind kind;
  int memoryType;
  SampleMemory sample;
  std::uint32_t capacity;  // the bytes an image may have
};
constexpr Memory kMemories[] = {
    {"SPI flash", sim::MemoryKind::kSpiFlash, 0, SampleMemory::kSpi, 0x80000},
    {"8-bit EEPROM", sim::MemoryKind::kEeprom8, 2, SampleMemory::kEeprom8, 0x800},
    {"16-bit EEPROM", sim::MemoryKind::kEeprom16, 3, SampleMemory::kEeprom16, 0x10000},
    {"OTP", sim::MemoryKind::kOtp, 6, SampleMemory::kOtp, 0x3F60},
};

class DownloadRefusal : public BenchFixture {
 protected:
  // The codec holding `content`, opened as a job opens it.
  void StartWith(const Memory& m, const Bytes& content) {
    memoryType_ = m.memoryType;
    Start({CodecSpec{"codec", "VMC2232", m.kind, {1, {1}}, content, "both"}});
    CDevFlow* flow = CurrentFlow();
    ASSERT_NE(flow, nullptr);
    ASSERT_TRUE(flow->DEV_OpenDeviceByVIDPID());
    flow->MP_GetDeviceInfo();
    flow->PrepareJobFlags();
  }
};

TEST_F(DownloadRefusal, AnImageThatCannotWorkIsRefusedBeforeTheCodecIsTouched) {
  for (const Memory& m : kMemories) {
    SCOPED_TRACE(m.name);
    const Bytes good = Image("VMC2232", "4.120.0000-0000.0001", m.sample);
    const std::size_t area = m.memoryType == 0 ? 0xF000 : 0;
    // Flash code starts at 0; the other images carry the program in a record.
    const Bytes program = {0x90, 0xFE, 0x21, 0xE0};
    const std::size_t firstCode =
        m.memoryType == 0 ? 0 : std::size_t(std::search(good.begin(), good.end(), program.begin(), program.end()) -
                                            good.begin());
    ASSERT_LT(firstCode, good.size());
    Bytes blankCode = good;
    blankCode[firstCode] = 0x00;
    Bytes wrongFamily = good;
    wrongFamily[area + 2] = (25 << 3) | 2;
    Bytes otherMemory = good;  // the storage kind of another memory
    otherMemory[area] = m.memoryType == 2 ? 0x12 : m.memoryType == 0 ? 0x11 : m.memoryType == 3 ? 0x11 : 0x55;
    Bytes unknownKind = good;
    unknownKind[area] = 0x77;
    Bytes tooLarge = good;  // one byte more than the memory holds
    tooLarge.resize(std::size_t(m.capacity) + 1, 0xFF);
    const struct {
      const char* name;
      Bytes image;
      int status;
    } cases[] = {
        {"empty", {}, kStsParseFwFileFail},
        {"the header alone", Bytes(good.begin() + std::ptrdiff_t(area), good.begin() + std::ptrdiff_t(area + 6)),
         kStsParseFwFileFail},
        {"blank code", blankCode, kStsGetCodeSizeFail},
        {"another family", wrongFamily, kStsFwNotForDevice},
        {"another memory's storage kind", otherMemory, kStsFwNotForDevice},
        {"an unknown storage kind", unknownKind, kStsParseFwFileFail},
        {"larger than the memory", tooLarge, kStsCodeExceedMaxLength},
    };
    // An OTP codec starts blank; the others hold the old image.
    const Bytes old = m.memoryType == 6 ? Bytes(0x4000, 0x00) : Image("VMC2232", "4.119.0000-0000.0007", m.sample);
    StartWith(m, old);
    const Bytes before = CodeMemory("codec");
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      CDevFlow* flow = CurrentFlow();
      flow->download.image = c.image;
      flow->download.imageCopy = c.image;
      LastStatusCode = 0;
      EXPECT_EQ(flow->Download(), 0);
      EXPECT_EQ(LastStatusCode, c.status);
      EXPECT_EQ(Resets("codec"), 0u);
      EXPECT_EQ(CodeMemory("codec"), before);
    }
    Close();
    std::filesystem::remove_all(folder_);
  }
}

}  // namespace
