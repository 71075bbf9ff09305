#include "device/chip_registers.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "tests/support/register_channel.h"

namespace {

TEST(ChipRegisters, WriteProtectDrivesThePinAndTheStatusRegister) {
  RegisterChannel c;
  platform::VirtualClock clock;
  c.regs[0xFEA0] = 0xF0;
  c.regs[0xFEA6] = 0x0F;
  ASSERT_EQ(EnableWriteProtect(c), 0);
  EXPECT_EQ(c.regs[0xFEA0], 0xF1);
  EXPECT_EQ(c.regs[0xFEA6], 0x0E);
  EXPECT_EQ(c.statusWrites, (std::vector<std::uint8_t>{0x8C}));

  c.busyReads = 3;
  ASSERT_EQ(DisableWriteProtect(c, clock), 0);
  EXPECT_EQ(c.regs[0xFEA6], 0x0F);
  EXPECT_EQ(c.statusWrites.back(), 0x00);
  EXPECT_EQ(c.statusReads, 4);  // polled while busy, 5 ms apart
  EXPECT_EQ(clock.NowMs(), 15u);

  c.busyReads = 1 << 20;  // never idle: given up after 1 s
  const std::uint64_t before = clock.NowMs();
  ASSERT_EQ(DisableWriteProtect(c, clock), 0);
  EXPECT_EQ(clock.NowMs() - before, 1000u);
}

TEST(ChipRegisters, GpioSetsWriteTheFourRegistersInOrder) {
  RegisterChannel c;
  c.regs[0xFEA0] = 0xFF;
  c.regs[0xFEA1] = 0xFF;
  ASSERT_EQ(GpioSetA(c), 0);
  ASSERT_EQ(c.writes.size(), 4u);
  EXPECT_EQ(c.writes[0], std::make_pair(std::uint16_t(0xFEA0), std::uint8_t(0xDF)));
  EXPECT_EQ(c.writes[1], std::make_pair(std::uint16_t(0xFEA6), std::uint8_t(0x01)));
  EXPECT_EQ(c.writes[2], std::make_pair(std::uint16_t(0xFEA1), std::uint8_t(0xFD)));
  EXPECT_EQ(c.writes[3], std::make_pair(std::uint16_t(0xFEA7), std::uint8_t(0x01)));
  ASSERT_EQ(GpioSetB(c), 0);
  EXPECT_EQ(c.regs[0xFEA0], 0xFF);
  EXPECT_EQ(c.regs[0xFEA1], 0xFF);
}

// The SPI controller register reads back a scripted value once started.
class SpiController : public RegisterChannel {
 public:
  std::int32_t ReadMem(std::uint32_t a, std::uint32_t n, std::uint8_t* b, ProgressCallback cb, void* u) override {
    if (a == 0xFCE0 && regs[0xFCE0] == 0x82 && ++polls > busyPolls) {
      b[0] = finished;
      return 0;
    }
    return RegisterChannel::ReadMem(a, n, b, cb, u);
  }
  int polls = 0;
  int busyPolls = 2;
  std::uint8_t finished = 0x40;
};

TEST(ChipRegisters, SpiEraseByRegisters) {
  struct Case {
    int busyPolls;
    std::uint8_t finished;
    bool ok;
  };
  const Case cases[] = {{2, 0x40, true}, {2, 0x48, false}, {1000, 0x40, false}};
  for (const auto& k : cases) {
    SpiController c;
    c.busyPolls = k.busyPolls;
    c.finished = k.finished;
    platform::VirtualClock clock;
    EXPECT_EQ(SpiEraseByRegisters(c, clock, 0xD8, 0x012345) == 0, k.ok) << k.busyPolls << " " << int(k.finished);
    EXPECT_EQ(c.writes[2], std::make_pair(std::uint16_t(0xFCE8), std::uint8_t(0xD8)));
    EXPECT_EQ(c.writes[5], std::make_pair(std::uint16_t(0xFCEB), std::uint8_t(0x01)));
    EXPECT_EQ(c.writes[11], std::make_pair(std::uint16_t(0xFCE0), std::uint8_t(0x82)));
    if (!k.ok) {
      EXPECT_EQ(c.regs[0xFCE0], 0x04);  // stopped after the failure
    }
    EXPECT_EQ(c.statusWrites.back(), 0x00);     // write protection off in every case
    // Looked at every 10 ms, for 1.1 s at most.
    EXPECT_EQ(clock.NowMs(), k.busyPolls == 2 ? 20u : 1100u) << k.busyPolls << " " << int(k.finished);
  }
}

TEST(ChipRegisters, BootModeFromStatus) {
  struct Case {
    std::uint8_t format;
    std::uint16_t word;
    int mode;
  };
  const Case cases[] = {{0x00, 0x0000, 0}, {0x00, 0x8000, 1}, {0x00, 0x4000, -1}, {0x11, 0x4000, 3},
                        {0x11, 0x8000, -1}, {0x12, 0xFFFF, 2}, {0x13, 0x0000, -1}};
  for (const auto& c : cases) {
    std::uint8_t status[96] = {};
    status[0x40] = c.format;
    status[4] = std::uint8_t(c.word);
    status[5] = std::uint8_t(c.word >> 8);
    EXPECT_EQ(BootModeFromStatus(status), c.mode) << int(c.format) << " " << c.word;
  }
}

}  // namespace
