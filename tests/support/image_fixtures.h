#pragma once
// Shared helpers of the image tests: the program-wide values the image code
// reads, restored after each test, and the built-in descriptions by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_state.h"
#include "image/builtin_tables.h"
#include "image/ic_type_ini.h"
#include "image/image_version.h"
#include "image/sample_image.h"
#include "platform/prompter.h"

// A sample SPI image of the chip with the version given in its text form.
inline std::vector<std::uint8_t> SampleImageBytes(const std::string& chip, const std::string& version,
                                                  SampleMemory memory = SampleMemory::kSpi) {
  SampleImageSpec spec;
  spec.chip = chip;
  spec.memory = memory;
  spec.version = *ParseVersionText(version);
  std::vector<std::uint8_t> image;
  std::string error;
  EXPECT_TRUE(BuildSampleImage(spec, image, error)) << error;
  return image;
}

// Records every message box instead of showing it.
class RecordingPrompter final : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string& text, const std::string& caption, platform::PromptKind,
                             platform::PromptAnswer silentAnswer) override {
    shown.push_back(caption + ": " + text);
    return silentAnswer;
  }
  std::vector<std::string> shown;
};

class ImageTest : public testing::Test {
 protected:
  void SetUp() override {
    IniType = 0;
    MemoryType = 0;
    BusType = 0;
    CodeReadSize = kDefaultCodeReadSize;
    platform::SetCurrentPrompter(&prompter);
  }
  void TearDown() override {
    platform::SetCurrentPrompter(nullptr);
    IniType = 0;
    MemoryType = 0;
    CodeReadSize = kDefaultCodeReadSize;
  }
  // A description object with the built-in description `name` loaded.
  static CICTypeIni BuiltIn(const std::string& name) {
    CICTypeIni ic;
    ic.DiscoverDescriptions();
    const auto list = BuiltInDescriptions();
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].name == name) {
        ic.SelectDescriptionByIndex(int(i));
        ic.ReadGeneralKeys();
        ic.SetChipInfo(std::uint8_t(ic.GetInt("Camera_Register_00", "ChipInfo", 0)));
      }
    }
    return ic;
  }

  RecordingPrompter prompter;
};
