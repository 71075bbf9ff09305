#include "device/vendor_request_v2.h"

#include <gtest/gtest.h>

#include "device/vendor_request_direct.h"
#include "platform/clock.h"
#include "tests/support/recording_pipe.h"

namespace {

class VendorRequest : public testing::Test {
 protected:
  RecordingPipe pipe;
  platform::VirtualClock clock;
  CVendorRequestV2 channel{pipe, clock};
};

TEST_F(VendorRequest, SpiReadGoesInPiecesOf0x1000WithTheHighAddressInWValue) {
  std::vector<std::uint8_t> buffer(0x2800);
  ASSERT_EQ(channel.SPI_SF_Read(0x1F000, 0x2800, buffer.data(), 3, nullptr, nullptr), 0);
  ASSERT_EQ(pipe.log.size(), 3u);
  const std::uint16_t expected[3][3] = {{0x0103, 0xF000, 0x1000}, {0x0203, 0x0000, 0x1000}, {0x0203, 0x1000, 0x0800}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pipe.log[i].requestType, 0xC0);
    EXPECT_EQ(pipe.log[i].request, 0x2E);
    EXPECT_EQ(pipe.log[i].value, expected[i][0]) << i;
    EXPECT_EQ(pipe.log[i].index, expected[i][1]) << i;
    EXPECT_EQ(pipe.log[i].length, expected[i][2]) << i;
  }
}

TEST_F(VendorRequest, MemoryFormCarriesAddressBits16To19InWValue) {
  std::uint8_t b[4];
  ASSERT_EQ(channel.ReadMem(0x3ABCD, 4, b, nullptr, nullptr), 0);
  EXPECT_EQ(pipe.log[0].request, 0x25);
  EXPECT_EQ(pipe.log[0].value, 0x0300);
  EXPECT_EQ(pipe.log[0].index, 0xABCD);
  EXPECT_EQ(MemoryFormValue(0x50000, 0x20000, 3), 0x2503);
}

TEST_F(VendorRequest, ProgressFollowsEachPiece) {
  std::vector<std::uint8_t> data(0x1800);
  std::vector<std::uint32_t> progress;
  auto cb = [](void* user, std::uint32_t n) { static_cast<std::vector<std::uint32_t>*>(user)->push_back(n); };
  ASSERT_EQ(channel.SPI_SF_Write(0, 0x1800, data.data(), cb, &progress), 0);
  EXPECT_EQ(progress, (std::vector<std::uint32_t>{0x1000, 0x800}));
  EXPECT_EQ(pipe.log[0].requestType, 0x40);
}

TEST_F(VendorRequest, EraseSectorAndBlockCheckAlignment) {
  EXPECT_EQ(channel.SPI_SF_EraseSector(0x1001, 0x1000), platform::kEInvalidArg);
  EXPECT_EQ(channel.SPI_SF_EraseBlock(0x8000, 0x10000, true), platform::kEInvalidArg);
  EXPECT_TRUE(pipe.log.empty());
}

TEST_F(VendorRequest, EraseBlockPollsUntilDoneOrTenSeconds) {
  pipe.reads = {0, 0, 1};
  ASSERT_EQ(channel.SPI_SF_EraseBlock(0x20000, 0x10000, true), 0);
  ASSERT_EQ(pipe.log.size(), 4u);
  EXPECT_EQ(pipe.log[0].request, 0x35);
  EXPECT_EQ(pipe.log[0].value, 0x0200);
  EXPECT_EQ(pipe.log[3].request, 0x36);
  EXPECT_EQ(clock.NowMs(), 100u);  // 50 ms apart

  pipe.log.clear();
  ASSERT_EQ(channel.SPI_SF_EraseBlock(0, 0x10000, true), 0);  // never done: success after 10 s
  EXPECT_EQ(pipe.log.size(), 201u);
  EXPECT_EQ(clock.NowMs(), 100u + 10000u);
}

TEST_F(VendorRequest, FailuresReturnTheErrorWithoutRecovery) {
  pipe.failAt = 0;
  pipe.failError = platform::kErrorTimeout;
  std::uint8_t b[2];
  EXPECT_EQ(channel.ReadMem(0, 2, b, nullptr, nullptr), platform::HResultFromWin32(platform::kErrorTimeout));
  EXPECT_EQ(pipe.log.size(), 1u);
}

TEST_F(VendorRequest, EraseChipUsesTheTimeLimitAsTimeout) {
  ASSERT_EQ(channel.SPI_SF_EraseChip(30000), 0);
  EXPECT_EQ(pipe.log[0].request, 0x32);
  EXPECT_EQ(pipe.log[0].timeoutMs, 30000u);
}

TEST_F(VendorRequest, UnsupportedSlotsSayNotImplemented) {
  std::uint8_t b[8];
  EXPECT_EQ(channel.OTPRead(0, 8, b), platform::kENotImpl);
  EXPECT_EQ(channel.I2CReadSlave(0x50, 1, b), platform::kENotImpl);
  EXPECT_TRUE(pipe.log.empty());
}

TEST(VendorRequestDirect, ResetsAndReads) {
  RecordingPipe pipe;
  EXPECT_EQ(VendorReset(pipe, 1, 9), 0u);
  EXPECT_EQ(pipe.log[0].request, 0x22);
  EXPECT_EQ(pipe.log[0].value, 1);
  EXPECT_EQ(VendorReset(pipe, 1, 10), std::uint32_t(platform::kEInvalidArg));
  EXPECT_EQ(VendorIndexedReset(pipe, 2, 9), 0u);
  EXPECT_EQ(pipe.log[1].request, 0x01);
  EXPECT_EQ(pipe.log[1].index, 9);
  std::uint8_t byte = 0;
  pipe.reads = {0x5A};
  EXPECT_EQ(VendorOneByteRead(pipe, 1, byte), 0u);
  EXPECT_EQ(byte, 0x5A);
  std::uint8_t status[12];
  EXPECT_EQ(VendorStatusRead(pipe, 0, 12, status), 0u);
  EXPECT_EQ(pipe.log.back().value, 1);  // two words
}

}  // namespace
