// Every memory type through the operator window: a Start programs the
// device's built-in image and the codec starts it after a power cycle; a
// codec lost during the job shows FAIL with its reason until it is back, and
// then starts its old image, waits in its boot ROM or starts the whole new
// image, never a part of it.
// Screenshots of the running, PASS and FAIL states of each memory type go to
// the build's screenshot folder.
#include "tests/window/window_fixture.h"

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0);

struct MemoryCase {
  const char* name;
  const char* chip;
  SampleMemory memory;
  const char* old;      // the firmware the codec runs; blank when empty
  const char* builtIn;  // the device's built-in image
  const char* version;  // its version
  int transfers;        // of a job, about
};

const MemoryCase kMemoryCases[] = {
    {"SpiFlash", "VMC2230", SampleMemory::kSpi, "4.119.0000-0000.0007", "FFU_3C5A_2230", "4.119.0000-0000.0008", 252},
    {"NorFlash", "VMC2240", SampleMemory::kNor, "5.001.0000-0000.0001", "FFU_3C5A_2240", "5.001.0000-0000.0002", 252},
    {"Eeprom8", "VMC2210", SampleMemory::kEeprom8, "1.000.0000-0000.0003", "FFU_3C5A_2210", "1.000.0000-0000.0004",
     296},
    {"Eeprom16", "VMC2270", SampleMemory::kEeprom16, "6.002.0000-0000.0001", "FFU_3C5A_2270", "6.002.0000-0000.0002",
     367},
    {"BlankOtp", "VMC2232", SampleMemory::kOtp, "", "FFU_3C5A_2232", "4.120.0000-0000.0003", 562},
};

class MemoryTypes : public WindowTest, public testing::WithParamInterface<MemoryCase> {
 protected:
  // Questions other than the restart question of the products that need one.
  std::vector<std::string> OtherPrompts() const {
    std::vector<std::string> texts;
    for (const Prompt& p : prompter_.prompts)
      if (p.text != "Restart Windows System?") texts.push_back(p.text);
    return texts;
  }
};

TEST_P(MemoryTypes, StartWritesTheBuiltInImageAndTheCodecStartsIt) {
  const MemoryCase& c = GetParam();
  Open({CodecOf(c.chip, c.memory, c.old)});
  const std::vector<std::uint8_t> image = BuiltInImage(c.builtIn);
  EXPECT_EQ(Text(1000), std::string("Update FW version:") + c.version);
  ASSERT_TRUE(Enabled(1003));
  Click(1003);
  // Running: the phase on a neutral colour, neither PASS nor FAIL.
  EXPECT_EQ(Text(1016), "Begin to Download");
  EXPECT_NE(Background(1016), kRed);
  EXPECT_NE(Background(1016), kGreen);
  Screenshot("running");
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
  EXPECT_EQ(Text(1016), "PASS") << Text(1033);
  EXPECT_EQ(Background(1016), kGreen);
  Settle();
  Screenshot("pass");
  EXPECT_EQ(Text(1033), "Download Succeed");
  EXPECT_EQ(Text(1030), std::string("Current FW: ") + c.version);
  EXPECT_TRUE(OtherPrompts().empty()) << OtherPrompts().front();
  EXPECT_EQ(VersionAfterPowerCycle(), c.version);
  if (c.memory != SampleMemory::kOtp) {
    const std::vector<std::uint8_t> memory = MemoryOf();
    ASSERT_GE(memory.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin())) << "the memory holds the whole image";
  }
}

INSTANTIATE_TEST_SUITE_P(Memories, MemoryTypes, testing::ValuesIn(kMemoryCases),
                         [](const auto& info) { return info.param.name; });

// A codec lost during its job: it loses power after one to four fifths of the
// transfers of a job and the device refresh after it.
class LostCodec : public WindowTest, public testing::WithParamInterface<std::tuple<MemoryCase, int>> {};

TEST_P(LostCodec, ShowsFailUntilItIsBackAndNeverStartsAPartImage) {
  const MemoryCase& c = std::get<0>(GetParam());
  const int fifths = std::get<1>(GetParam());
  Open({CodecOf(c.chip, c.memory, c.old)}, "SaveResultToFile=1\r\n");
  const std::vector<std::uint8_t> before = MemoryOf();
  ArmFaults("codec", "disconnect-after=" + std::to_string(c.transfers * fifths / 5));
  Click(1003);
  // Late points fall after the job, into the device refresh that follows it.
  ASSERT_TRUE(WaitFor([&] { return !station_.Read("Result.txt").empty(); })) << "no outcome";
  Settle();
  LookAtBus();
  Settle();
  const bool passed = station_.Read("Result.txt") == "pass";
  if (!passed) {
    // The failure and its reason stay in view with the codec gone.
    const std::string reason = Text(1033);
    EXPECT_EQ(Text(1016), "FAIL");
    EXPECT_EQ(Background(1016), QColor(255, 0, 0));
    EXPECT_NE(reason, "No USB Audio");
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Text(1030), "Current FW: N/A");
    if (fifths == 2) Screenshot("fail");
  }

  SetPlugged("codec", true);
  Settle();
  // Back on the bus: a device arrived, and nothing of the failure is left.
  EXPECT_EQ(Text(1016), "N/A");
  EXPECT_EQ(Text(1033), "USB Audio Connected");
  // A PASS was true; after a FAIL the codec starts its old image unchanged,
  // waits in its boot ROM, or starts the whole new image; never a part of it.
  const std::string running = VersionAfterPowerCycle();
  const std::string old = *c.old ? c.old : kBootRom;
  if (passed) {
    EXPECT_EQ(running, c.version);
  }
  if (running == old && running != kBootRom) {
    EXPECT_EQ(MemoryOf(), before) << "the old image runs from changed memory";
  } else if (running == c.version) {
    if (c.memory != SampleMemory::kOtp) {
      const std::vector<std::uint8_t> image = BuiltInImage(c.builtIn), memory = MemoryOf();
      EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin())) << "a part image runs";
    }
  } else {
    EXPECT_EQ(running, kBootRom);
  }
}

INSTANTIATE_TEST_SUITE_P(Memories, LostCodec, testing::Combine(testing::ValuesIn(kMemoryCases), testing::Range(1, 5)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "After" +
                                  std::to_string(std::get<1>(info.param)) + "Fifths";
                         });


// An OTP that holds code takes a newer image as a further download.
TEST_F(WindowTest, AnOtpHoldingCodeTakesANewerImage) {
  Open({CodecOf("VMC2232", SampleMemory::kOtp, "")});
  UseImageFile("first.bin", SampleImageBytes("VMC2232", "4.120.0000-0000.0001", SampleMemory::kOtp));
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
  ASSERT_EQ(Text(1016), "PASS") << Text(1033);
  Settle();
  EXPECT_EQ(VersionAfterPowerCycle(), "4.120.0000-0000.0001");
  EXPECT_EQ(Text(1000), "Update FW version:4.120.0000-0000.0003");  // the built-in image again
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
  ASSERT_EQ(Text(1016), "PASS") << Text(1033);
  Settle();
  EXPECT_EQ(Text(1030), "Current FW: 4.120.0000-0000.0003");
  EXPECT_EQ(VersionAfterPowerCycle(), "4.120.0000-0000.0003");
  EXPECT_TRUE(prompter_.prompts.empty());
}

// EEPROM images from files, on a chip that also takes flash images.
class EepromFiles : public WindowTest, public testing::WithParamInterface<SampleMemory> {};

TEST_P(EepromFiles, AFileImageGoesToTheEeprom) {
  Open({CodecOf("VMC2232", GetParam(), "4.119.0000-0000.0007")});
  const auto image = SampleImageBytes("VMC2232", "4.120.0000-0000.0001", GetParam());
  UseImageFile("new.bin", image);
  Click(1003);
  ASSERT_TRUE(WaitFor([&] { return Text(1016) == "PASS" || Text(1016) == "FAIL"; }));
  EXPECT_EQ(Text(1016), "PASS") << Text(1033);
  Settle();
  EXPECT_EQ(VersionAfterPowerCycle(), "4.120.0000-0000.0001");
  const std::vector<std::uint8_t> memory = MemoryOf();
  ASSERT_GE(memory.size(), image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), memory.begin()));
}

INSTANTIATE_TEST_SUITE_P(Widths, EepromFiles, testing::Values(SampleMemory::kEeprom8, SampleMemory::kEeprom16),
                         [](const auto& info) { return info.param == SampleMemory::kEeprom8 ? "Eeprom8" : "Eeprom16"; });

}  // namespace
