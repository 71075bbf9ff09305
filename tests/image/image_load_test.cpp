// Loading images from files and from the built-in data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <algorithm>

#include "image/image_load.h"
#include "platform/resources.h"
#include "tests/support/image_fixtures.h"

namespace {

namespace fs = std::filesystem;

class ImageLoadTest : public ImageTest {
 protected:
  void SetUp() override {
    ImageTest::SetUp();
    folder = fs::temp_directory_path() / "tessaload-image-load";
    fs::create_directories(folder);
  }
  void TearDown() override {
    fs::remove_all(folder);
    ImageTest::TearDown();
  }
  fs::path folder;
};

TEST_F(ImageLoadTest, FileIsReadWholeUnderItsFullPath) {
  const std::string path = (folder / "fw.bin").string();
  std::ofstream(path, std::ios::binary) << std::string("\x02\x01\x00\xFF", 4);
  CImageJob job;
  job.fileName = path;
  std::replace(job.fileName.begin(), job.fileName.end(), '/', '\\');
  ASSERT_EQ(LoadFileData(job), 1);
  EXPECT_EQ(job.fileName, path);
  EXPECT_EQ(job.image, (std::vector<std::uint8_t>{0x02, 0x01, 0x00, 0xFF}));
  EXPECT_EQ(job.imageCopy, job.image);
}

TEST_F(ImageLoadTest, UnreadableNamesLeaveTheJobUnchanged) {
  std::ofstream(folder / "empty.bin");
  for (const std::string& name : {std::string(), (folder / "missing.bin").string(), folder.string(),
                                  (folder / "empty.bin").string()}) {
    CImageJob job;
    job.fileName = name;
    job.image = {1, 2, 3};
    EXPECT_EQ(LoadFileData(job), 0) << name;
    EXPECT_EQ(job.image, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(job.fileName, name);
  }
}

TEST_F(ImageLoadTest, BuiltInImagesSetTheReadSize) {
  CImageJob job;
  ASSERT_EQ(LoadBuiltInImage(job, 3018), 1);
  EXPECT_EQ(job.builtInImage.size(), 0x10000u);
  EXPECT_EQ(job.builtInImage[0], 0x02);  // LJMP
  EXPECT_EQ(CodeReadSize, 0x10000u);
  CodeReadSize = 7;
  EXPECT_EQ(LoadBuiltInImage(job, 3100), 0);
  EXPECT_EQ(CodeReadSize, 7u);
  EXPECT_EQ(job.builtInImage.size(), 0x10000u);
}

TEST_F(ImageLoadTest, DeviceImageOrTheDescriptionsDefault) {
  CICTypeIni ic = BuiltIn("VMC2232");
  CImageJob job;
  ASSERT_EQ(FindDeviceImage(job, ic, "VID_3C5A&PID_2232&REV_0100"), 1);
  EXPECT_EQ(job.image, std::vector<std::uint8_t>(platform::FindResource("BINARY", 3022).begin(),
                                                 platform::FindResource("BINARY", 3022).end()));
  EXPECT_EQ(job.imageCopy, job.image);
  ASSERT_EQ(FindDeviceImage(job, ic, "VID_1111&PID_2222&REV_0001"), 1);
  EXPECT_EQ(job.image.size(), platform::FindResource("BINARY", 3020).size());
  EXPECT_EQ(job.image[0xF000 + 2] >> 3, 24);

  IniType = 1;  // no description files: nothing found
  CICTypeIni none((fs::temp_directory_path() / "tessaload-image-load").string());
  none.DiscoverDescriptions();
  CImageJob empty;
  EXPECT_EQ(FindDeviceImage(empty, none, "VID_3C5A&PID_2232&REV_0100"), 0);
  EXPECT_TRUE(empty.image.empty());
  EXPECT_EQ(LoadDefaultImage(empty, none), 0);
  EXPECT_TRUE(empty.builtInImage.empty());
}

}  // namespace
