// What enumeration and opening ask of a codec, on both command channels.
#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace simtest {
namespace {

using platform::kErrorSuccess;

constexpr std::uint8_t kMorvane[8] = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};

// The extension unit's id and code, found as the program finds them: the
// class-specific descriptors after the first interface descriptor.
std::pair<int, int> FindExtensionUnit(const std::vector<std::uint8_t>& config) {
  bool afterInterface = false;
  for (std::size_t at = 0; at + 1 < config.size() && config[at] > 0; at += config[at]) {
    if (config[at + 1] == 4 && !afterInterface) {
      afterInterface = true;
      continue;
    }
    if (!afterInterface) continue;
    if (config[at + 1] != 0x24) break;
    if (config[at + 2] == 8 || config[at + 2] == 9) return {config[at + 3], config[at + 4] | config[at + 5] << 8};
  }
  return {-1, 0};
}

class CodecChannels : public BenchTest {};

TEST_F(CodecChannels, DescriptorsCarryTheVendorsExtensionUnitInBothAudioClassForms) {
  for (const char* chip : {"VMC2230", "VMC2232"}) {  // class 1 and class 2
    CodecSpec spec;
    spec.chip = chip;
    Start({spec});
    std::uint8_t header[9] = {};
    ASSERT_EQ(channels_->Request(0x80, 6, 0x0200, 0, header, 9), kErrorSuccess);
    std::vector<std::uint8_t> config(header[2] | header[3] << 8);
    ASSERT_EQ(channels_->Request(0x80, 6, 0x0200, 0, config.data(), static_cast<std::uint16_t>(config.size())),
              kErrorSuccess);
    EXPECT_EQ(FindExtensionUnit(config), std::make_pair(int(sim::kExtensionUnitId), 0x3C5A)) << chip;
    TearDown();
  }
}

TEST_F(CodecChannels, DeviceDescriptorBytes) {
  Start();
  std::uint8_t d[18] = {};
  ASSERT_EQ(channels_->Request(0x80, 6, 0x0100, 0, d, 18), kErrorSuccess);
  const std::uint8_t expected[18] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x5A, 0x3C, 0x32, 0x22, 0x00, 0x01, 1, 2, 0, 1};
  EXPECT_EQ(std::vector<std::uint8_t>(d, d + 18), std::vector<std::uint8_t>(expected, expected + 18));
}

TEST_F(CodecChannels, VendorStatusCarriesTheSignatureAndTheOneByteReadAnswers) {
  Start();
  std::vector<std::uint8_t> status(96);
  for (int word = 0; word < 12; ++word) {
    std::vector<std::uint8_t> w(8);
    ASSERT_EQ(channels_->VendorIn(0x07, static_cast<std::uint16_t>(word), 0, w), kErrorSuccess);
    std::copy(w.begin(), w.end(), status.begin() + word * 8);
  }
  EXPECT_EQ(std::vector<std::uint8_t>(status.begin() + 24, status.begin() + 32),
            std::vector<std::uint8_t>(kMorvane, kMorvane + 8));
  std::vector<std::uint8_t> byte(1);
  EXPECT_EQ(channels_->VendorIn(0x06, 0, 0, byte), kErrorSuccess);
  std::vector<std::uint8_t> id(2);
  ASSERT_EQ(channels_->VendorIn(0x25, 0, 0xFE21, id), kErrorSuccess);
  EXPECT_EQ(id, (std::vector<std::uint8_t>{0x10, 0xF0}));
}

TEST_F(CodecChannels, ExtensionUnitSignatureCheckAndUnitRules) {
  Start();
  ASSERT_EQ(channels_->Command(0x00, 0xD0, 0, 8), kErrorSuccess);
  std::vector<std::uint8_t> signature(8);
  ASSERT_EQ(channels_->ReadUnits(signature), kErrorSuccess);
  EXPECT_EQ(signature, std::vector<std::uint8_t>(kMorvane, kMorvane + 8));
  EXPECT_EQ(channels_->Status(), sim::kStsDone);

  // No data phase pending: the data control stalls and the status says why.
  std::vector<std::uint8_t> unit(8);
  EXPECT_EQ(channels_->ReadUnits(unit), platform::kErrorGenFailure);
  EXPECT_EQ(channels_->Status(), sim::kStsErrDir);
  EXPECT_EQ(channels_->Command(0x00, 0x77, 0, 0), platform::kErrorGenFailure);
  EXPECT_EQ(channels_->Status(), sim::kStsUnknownCmd);
  EXPECT_EQ(channels_->Command(0xFF, 0, 0, 0), kErrorSuccess);
  EXPECT_EQ(channels_->Status(), sim::kStsCmd);

  // 64-byte units once the data control is resized; GET_LEN reports the size.
  ASSERT_EQ(channels_->Command(0x00, 0x16, 0, 64), kErrorSuccess);
  std::uint8_t size[2] = {};
  ASSERT_EQ(channels_->Request(0xA1, 0x85, 0x0B00, Channels::kXuIndex, size, 2), kErrorSuccess);
  EXPECT_EQ(size[0] | size[1] << 8, 64);
  ASSERT_EQ(channels_->Command(0x00, 0xC2, 0xFE21, 2), kErrorSuccess);
  std::vector<std::uint8_t> id(2);
  ASSERT_EQ(channels_->ReadUnits(id, 64), kErrorSuccess);
  EXPECT_EQ(id, (std::vector<std::uint8_t>{0x10, 0xF0}));
}

TEST_F(CodecChannels, AChannelSwitchedOffStalls) {
  CodecSpec spec;
  spec.channels = "xu";
  Start({spec});
  std::vector<std::uint8_t> word(8);
  EXPECT_EQ(channels_->VendorIn(0x07, 3, 0, word), platform::kErrorGenFailure);
  EXPECT_EQ(channels_->Command(0x00, 0xD0, 0, 8), kErrorSuccess);
}

TEST_F(CodecChannels, RomResetStartsTheWrittenImageWhichReportsItsVersion) {
  Start();
  std::vector<std::uint8_t> image(0x10000, 0xFF);
  image[0] = 0x02;
  const std::uint8_t version[8] = {0x41, 0x19, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07};
  std::copy(version, version + 8, image.begin() + 0x100C);
  const std::uint8_t header[6] = {0x30, 0xA5, 24 << 3 | 2, 0x06, 0x00, 0x00};
  std::copy(header, header + 6, image.begin() + 0xF000);
  for (std::uint32_t at = 0; at < image.size(); at += 0x1000) {
    ASSERT_EQ(FlashWrite(at, std::vector<std::uint8_t>(image.begin() + at, image.begin() + at + 0x1000)), kErrorSuccess);
  }
  ASSERT_EQ(channels_->VendorOut(0x22, 0, 0), kErrorSuccess);
  host_->HostClock().SleepMs(1000);
  Reopen();
  std::vector<std::uint8_t> mode(1);
  ASSERT_EQ(channels_->VendorIn(0x25, 0, 0xC2A8, mode), kErrorSuccess);
  EXPECT_EQ(mode[0], sim::kModeSpi);
  std::vector<std::uint8_t> words(16);
  ASSERT_EQ(channels_->VendorIn(0x07, 9, 0, words), platform::kErrorSuccess);
  // Status bytes 0x4C..0x53: the version in its six-component form 4.119.0000-0000.0007.
  EXPECT_EQ(std::vector<std::uint8_t>(words.begin() + 4, words.begin() + 12),
            (std::vector<std::uint8_t>{0x00, 0x00, 0x19, 0x41, 0x07, 0x00, 0x00, 0x00}));
}

}  // namespace
}  // namespace simtest
