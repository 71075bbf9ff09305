// The physical rules of the code memories, through the chip's own commands.
#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace simtest {
namespace {

using platform::kErrorSuccess;

class FlashRules : public BenchTest {
 protected:
  void SetUp() override { Start(); }
  void DriveWpPin(bool high) {  // VMC2232: WP# on GPIO 0xFEC0/0xFEC6 bit 0
    ASSERT_EQ(WriteRegister(0xFEC0, 0x01), kErrorSuccess);
    ASSERT_EQ(WriteRegister(0xFEC6, high ? 0x01 : 0x00), kErrorSuccess);
  }
  std::uint32_t WriteStatus(std::uint8_t value) { return channels_->VendorOut(0x31, 0, 0, {value}); }
  std::uint8_t ReadStatus() {
    std::vector<std::uint8_t> sr(1);
    EXPECT_EQ(channels_->VendorIn(0x30, 0, 0, sr), kErrorSuccess);
    return sr[0];
  }
  // Polls the status register until its busy bit clears (each poll takes bus time).
  void WaitWhileBusy() {
    for (int poll = 0; poll < 100000 && (ReadStatus() & 0x01); ++poll) {
    }
    ASSERT_EQ(ReadStatus() & 0x01, 0);
  }
};

TEST_F(FlashRules, ProgrammingWithoutEraseOnlyClearsBits) {
  ASSERT_EQ(FlashWrite(0x1000, {0xF0, 0x0F, 0x00}), kErrorSuccess);
  ASSERT_EQ(FlashWrite(0x1000, {0x0F, 0xFF, 0xAA}), kErrorSuccess);
  EXPECT_EQ(FlashRead(0x1000, 3), (std::vector<std::uint8_t>{0x00, 0x0F, 0x00}));

  ASSERT_EQ(channels_->VendorOut(0x33, 0, 0x1000), kErrorSuccess);  // erase the 4 KiB sector
  WaitWhileBusy();
  EXPECT_EQ(FlashRead(0x1000, 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF}));
}

TEST_F(FlashRules, ABlockEraseRunsOnAndTheFlashTakesNoOtherCommandUntilItEnds) {
  ASSERT_EQ(FlashWrite(0x1000, {0x12}), kErrorSuccess);
  ASSERT_EQ(channels_->VendorOut(0x35, 0, 0), kErrorSuccess);  // the 64 KiB block at 0
  EXPECT_EQ(ReadStatus() & 0x01, 0x01);
  std::vector<std::uint8_t> out(1);
  EXPECT_NE(channels_->VendorIn(0x2E, 0, 0x1000, out), kErrorSuccess) << "a read while the erase runs";
  EXPECT_NE(FlashWrite(0x1000, {0x00}), kErrorSuccess) << "a write while the erase runs";
  WaitWhileBusy();
  EXPECT_EQ(FlashRead(0x1000, 1), (std::vector<std::uint8_t>{0xFF}));
}

TEST_F(FlashRules, ProtectedFlashIgnoresWritesAndErasesUntilWpIsReleased) {
  ASSERT_EQ(FlashWrite(0x20000, {0x12}), kErrorSuccess);
  DriveWpPin(true);
  ASSERT_EQ(WriteStatus(0x8C), kErrorSuccess);  // SRWD and block protection
  DriveWpPin(false);
  ASSERT_EQ(WriteStatus(0x00), kErrorSuccess);  // refused by the part: SRWD with WP# low
  EXPECT_EQ(ReadStatus() & 0x9C, 0x8C);

  EXPECT_EQ(FlashWrite(0x20001, {0x34}), kErrorSuccess);
  EXPECT_EQ(channels_->VendorOut(0x32, 0, 0), kErrorSuccess);  // chip erase
  EXPECT_EQ(FlashRead(0x20000, 2), (std::vector<std::uint8_t>{0x12, 0xFF}));

  DriveWpPin(true);
  ASSERT_EQ(WriteStatus(0x00), kErrorSuccess);
  EXPECT_EQ(ReadStatus() & 0x01, 0x01) << "busy while the status register is written";
  EXPECT_EQ(FlashWrite(0x20001, {0x34}), kErrorSuccess);
  EXPECT_EQ(FlashRead(0x20000, 2), (std::vector<std::uint8_t>{0x12, 0x34}));
}

TEST_F(FlashRules, ChipEraseLongerThanTheRequestsTimeLimitTimesOut) {
  std::uint32_t moved = 0;
  EXPECT_EQ(device_->ControlTransfer(0x40, 0x32, 0, 0, nullptr, 0, 500, moved), platform::kErrorTimeout);
  EXPECT_EQ(device_->ControlTransfer(0x40, 0x32, 0, 0, nullptr, 0, 10000, moved), kErrorSuccess);
}

class OtpRules : public BenchTest {
 protected:
  void SetUp() override {
    CodecSpec spec;
    spec.memory = sim::MemoryKind::kOtp;
    Start({spec});
  }
  std::vector<std::uint8_t> OtpWrite(std::uint16_t address, const std::vector<std::uint8_t>& data,
                                     std::uint16_t corrections = 8) {
    EXPECT_EQ(channels_->Command(0x02, 0x97, address, static_cast<std::uint16_t>(data.size()), corrections),
              kErrorSuccess);
    EXPECT_EQ(channels_->WriteUnits(data), kErrorSuccess);
    EXPECT_EQ(channels_->Command(0x02, 0xDC, 0, 0x13), kErrorSuccess);
    std::vector<std::uint8_t> report(19);
    EXPECT_EQ(channels_->ReadUnits(report), kErrorSuccess);
    return report;
  }
  std::vector<std::uint8_t> OtpRead(std::uint16_t address, std::uint16_t length) {
    EXPECT_EQ(channels_->Command(0x02, 0xD7, address, length), kErrorSuccess);
    std::vector<std::uint8_t> out(length);
    EXPECT_EQ(channels_->ReadUnits(out), kErrorSuccess);
    return out;
  }

  // Stuck bits are armed in the bench folder, as tessaload-sim fault does.
  void ArmStuck(const std::string& spec) {
    std::string error;
    device_.reset();
    host_.reset();
    {
      auto bench = sim::Bench::Load(folder_, error);
      ASSERT_TRUE(bench);
      auto& codec = *bench->Find("codec");
      ASSERT_TRUE(sim::ApplyFaultSpec(spec, codec.Faults(), codec.Memory().StuckBits(), error));
      ASSERT_TRUE(bench->Save(error));
    }
    host_ = sim::OpenBench(folder_, error);
    ASSERT_TRUE(host_);
    Reopen();
  }
};

TEST_F(OtpRules, ReadsZeroUnprogrammedAndProgrammingOnlySetsBits) {
  EXPECT_EQ(OtpRead(0x100, 2), (std::vector<std::uint8_t>{0x00, 0x00}));
  EXPECT_EQ(OtpWrite(0x100, {0x0F, 0x81})[0], 0);
  // Asking for 0xF0 over 0x0F sets the high bits; the low ones stay set.
  EXPECT_EQ(OtpWrite(0x100, {0xF0, 0x00})[0], 0);
  EXPECT_EQ(OtpRead(0x100, 2), (std::vector<std::uint8_t>{0xFF, 0x81}));
}

TEST_F(OtpRules, StuckBitsShowInTheProgramFailReport) {
  ArmStuck("stuck-otp=1234:04,stuck-otp=123A:80");

  const std::vector<std::uint8_t> report = OtpWrite(0x1230, std::vector<std::uint8_t>(16, 0xFF));
  EXPECT_EQ(std::vector<std::uint8_t>(report.begin(), report.begin() + 5),
            (std::vector<std::uint8_t>{2, 0x12, 0x34, 0x12, 0x3A}));
  EXPECT_EQ(OtpRead(0x1234, 1)[0], 0xFB);
  // Bits that are not asked for do not count as failures.
  EXPECT_EQ(OtpWrite(0x1234, {0x03})[0], 0);
}

TEST_F(OtpRules, AWriteGivesUpOnceMoreBytesFailedThanItMayCorrect) {
  ArmStuck("stuck-otp=0200:01,stuck-otp=0202:01,stuck-otp=0204:01");
  const std::vector<std::uint8_t> report = OtpWrite(0x200, std::vector<std::uint8_t>(8, 0xFF), 1);
  EXPECT_EQ(std::vector<std::uint8_t>(report.begin(), report.begin() + 5),
            (std::vector<std::uint8_t>{2, 0x02, 0x00, 0x02, 0x02}));
  EXPECT_EQ(OtpRead(0x200, 8), (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFE, 0, 0, 0, 0, 0}));
}

TEST_F(OtpRules, LockedOtpRefusesWrites) {
  ASSERT_EQ(WriteRegister(0xFD0C, 0x08), kErrorSuccess);
  EXPECT_EQ(channels_->Command(0x02, 0x97, 0x10, 8, 8), platform::kErrorGenFailure);
  EXPECT_EQ(channels_->Status(), sim::kStsHardwareError);
}

// An EEPROM takes writes only while the codec drives its chip's own WP pin
// low; driving the other chips' pin reaches nothing.
TEST_F(BenchTest, EepromWritesNeedTheWpPinOfTheirChip) {
  struct Case {
    const char* chip;
    std::uint16_t direction, output;
    std::uint8_t bit;
    std::uint16_t otherDirection, otherOutput;
    std::uint8_t otherBit;
  };
  for (const Case& c : {Case{"VMC2232", 0xFEA0, 0xFEA6, 0x20, 0xFEA1, 0xFEA7, 0x02},
                        Case{"VMC2222", 0xFEA1, 0xFEA7, 0x02, 0xFEA0, 0xFEA6, 0x20}}) {
    SCOPED_TRACE(c.chip);
    CodecSpec spec;
    spec.chip = c.chip;
    spec.memory = sim::MemoryKind::kEeprom16;
    Start({spec});
    auto write = [&](std::uint8_t value) {
      ASSERT_EQ(channels_->Command(0x02, 0x91, 0x40, 1), kErrorSuccess);
      ASSERT_EQ(channels_->WriteUnits({value}), kErrorSuccess);
    };
    auto read = [&]() {
      EXPECT_EQ(channels_->Command(0x02, 0xD1, 0x40, 1), kErrorSuccess);
      std::vector<std::uint8_t> out(1);
      EXPECT_EQ(channels_->ReadUnits(out), kErrorSuccess);
      return out[0];
    };
    write(0x12);
    EXPECT_EQ(read(), 0xFF) << "protected while no pin is driven";
    ASSERT_EQ(WriteRegister(c.otherDirection, c.otherBit), kErrorSuccess);  // the other pin driven low
    ASSERT_EQ(WriteRegister(c.otherOutput, 0x00), kErrorSuccess);
    write(0x34);
    EXPECT_EQ(read(), 0xFF) << "the other chips' pin";
    ASSERT_EQ(WriteRegister(c.direction, c.bit), kErrorSuccess);  // its own pin driven low
    ASSERT_EQ(WriteRegister(c.output, 0x00), kErrorSuccess);
    write(0x56);
    EXPECT_EQ(read(), 0x56);
    TearDown();
  }
}

}  // namespace
}  // namespace simtest
