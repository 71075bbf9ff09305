// The serial number a download writes into its image first: the settings that
// choose the record, the trace, the OTP cuts, and the refusals that leave the
// job's image as it was (before any device access: the flow here has none).
#include <gtest/gtest.h>

#include "app/config_ini.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "flow/config_info.h"
#include "image/sample_image.h"
#include "tests/support/image_fixtures.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr char kSerial[] = "SN0001";

class SaveSerialNumber : public ImageTest {
 protected:
  void SetUp() override {
    ImageTest::SetUp();
    CICTypeIni& ic = ICTypeStore();
    ic.DiscoverDescriptions();
    const auto list = BuiltInDescriptions();
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].name == std::string("VMC2230")) ic.SelectDescriptionByIndex(int(i));
    ic.ReadGeneralKeys();
    TraceInitAt(dir_.File("Log.txt"), true);
  }
  void TearDown() override {
    TraceShutdown();
    DestroySettingsStore();
    ImageTest::TearDown();
  }

  static void Settings(int saveSn, int snAddress = 0, int snFunction = 0) {
    setting::Set(setting::kSaveSn, saveSn);
    setting::Set(setting::kSnAddress, snAddress);
    setting::Set(setting::kSnFunction, snFunction);
  }
  // Loads a sample image into the flow's download image and locates its
  // configuration area, as the command-line write does before Download.
  static void Load(CEepromConfigInfo& flow, SampleMemory memory, std::string serial = kSerial) {
    SampleImageSpec spec;
    spec.chip = "VMC2230";
    spec.memory = memory;
    std::string error;
    ASSERT_TRUE(BuildSampleImage(spec, flow.download.image, error)) << error;
    flow.download.imageCopy = flow.download.image;
    ASSERT_EQ(flow.LocateConfig(&flow.download.image, 0), 1);
    flow.serialText = std::move(serial);
  }
  std::string Log() {
    TraceShutdown();
    return dir_.Read("Log.txt");
  }

  TempDir dir_;
};

TEST_F(SaveSerialNumber, WithoutSaveSnTheImageIsProgrammedAsItIs) {
  CEepromConfigInfo flow;
  Load(flow, SampleMemory::kSpi, std::string(49, '9'));
  const std::vector<std::uint8_t> before = flow.download.image;
  int status = 0;
  EXPECT_EQ(flow.PreActionForAllInOne(status), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(flow.download.image, before);
}

TEST_F(SaveSerialNumber, ManufacturerRecordByDefault) {
  Settings(1);
  CEepromConfigInfo flow;
  Load(flow, SampleMemory::kSpi);
  int status = 0;
  ASSERT_EQ(flow.PreActionForAllInOne(status), 1);
  const std::vector<std::uint8_t>& image = flow.download.image;
  ASSERT_EQ(image.size(), 0x10000u);
  EXPECT_EQ(flow.download.imageCopy, image);
  EXPECT_EQ(image[0xEFFE], 0x55);
  EXPECT_EQ(image[0xEFFF], 0xAA);
  EXPECT_EQ(image[0xF000], 0x55);
  // The job's fields come from the rebuilt image.
  EXPECT_EQ(flow.download.manufacturer, kSerial);
  EXPECT_TRUE(flow.download.serialNumber.empty());
  const std::string log = Log();
  EXPECT_NE(log.find("|----- DescType length: 8\n |-----string length: 6\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("|----- DownLoad length: 65536\r\n"), std::string::npos) << log;
}

TEST_F(SaveSerialNumber, SerialRecordWithTheFunctionCharacter) {
  Settings(1, 1, 1);
  CEepromConfigInfo flow;
  Load(flow, SampleMemory::kSpi);
  int status = 0;
  ASSERT_EQ(flow.PreActionForAllInOne(status), 1);
  EXPECT_EQ(flow.download.serialNumber, std::string("\x07") + kSerial);
  EXPECT_EQ(flow.download.manufacturer, "Tessaload");
  EXPECT_NE(Log().find("|----- SN length: 9\n |-----string length: 7\r\n"), std::string::npos);
}

// An OTP image is cut to ConfigSize for the rebuild, then to the rebuilt area.
TEST_F(SaveSerialNumber, OtpImageIsCutToItsRebuiltArea) {
  Settings(1, 1);
  CEepromConfigInfo flow;
  Load(flow, SampleMemory::kOtp);
  ASSERT_EQ(MemoryType, 6);
  flow.download.image.resize(0x2000, 0xEE);  // bytes beyond ConfigSize
  int status = 0;
  ASSERT_EQ(flow.PreActionForAllInOne(status), 1) << Log();
  EXPECT_EQ(flow.download.image.size(), flow.download.ConfigLength);
  EXPECT_EQ(flow.download.image.back(), '1');  // the added serial-number record ends the area
  EXPECT_EQ(flow.download.serialNumber, kSerial);
  EXPECT_EQ(flow.download.imageCopy, flow.download.image);
  EXPECT_NE(Log().find("|----- DownLoad length: 4096\r\n"), std::string::npos);
}

TEST_F(SaveSerialNumber, RefusalsReport41713AndKeepTheImage) {
  struct Case {
    const char* name;
    SampleMemory memory;
    std::string serial;
    void (*prepare)(CEepromConfigInfo&);
  };
  const Case cases[] = {
      {"49 characters", SampleMemory::kSpi, std::string(49, '9'), nullptr},
      {"no serial number", SampleMemory::kSpi, "", nullptr},
      {"area not located", SampleMemory::kSpi, kSerial, [](CEepromConfigInfo& f) { f.download.configOffset.reset(); }},
      {"OTP area behind code", SampleMemory::kSpi, kSerial,
       [](CEepromConfigInfo& f) {
         f.download.image[0xF000] = 0x60;
         ASSERT_EQ(f.LocateConfig(&f.download.image, 0), 1);
         ASSERT_EQ(MemoryType, 6);
       }},
  };
  Settings(1);
  for (const Case& c : cases) {
    CEepromConfigInfo flow;
    Load(flow, c.memory, c.serial);
    if (c.prepare) c.prepare(flow);
    const CImageJob before = flow.download;
    int status = 0;
    EXPECT_EQ(flow.PreActionForAllInOne(status), 0) << c.name;
    EXPECT_EQ(status, kStsSaveSnFail) << c.name;
    EXPECT_EQ(flow.download.image, before.image) << c.name;
    EXPECT_EQ(flow.download.imageCopy, before.imageCopy) << c.name;
  }
  const std::string log = Log();
  std::size_t failures = 0;
  for (std::size_t at = 0; (at = log.find("----------------: Save SN Fail\r\n", at)) != std::string::npos; ++at)
    ++failures;
  EXPECT_EQ(failures, std::size(cases)) << log;
}

}  // namespace
