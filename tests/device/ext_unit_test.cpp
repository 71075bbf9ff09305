#include "device/ext_unit.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <numeric>
#include <thread>

#include "device/ext_unit_direct.h"
#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/named_mutex.h"
#include "tests/support/recording_pipe.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ExtUnit : public testing::Test {
 protected:
  RecordingPipe pipe;
  platform::VirtualClock clock;
  CExtUnit unit{pipe, 6, 3, clock};
};

TEST_F(ExtUnit, RequestsAddressTheUnitsControls) {
  std::uint8_t b[8];
  ASSERT_EQ(unit.ReadMem(0x1234, 8, b, nullptr, nullptr), 0);
  ASSERT_EQ(pipe.log.size(), 2u);
  const auto& c = pipe.log[0];
  EXPECT_EQ(c.requestType, 0x21);
  EXPECT_EQ(c.request, 0x01);
  EXPECT_EQ(c.value, 0x0A00);
  EXPECT_EQ(c.index, 0x0603);  // unit 6, interface 3
  EXPECT_EQ(c.timeoutMs, 5000u);
  EXPECT_EQ(c.out, (Bytes{0x00, 0xC2, 0x34, 0x12, 0x08, 0x00, 0x00, 0x00}));
  const auto& d = pipe.log[1];
  EXPECT_EQ(d.requestType, 0xA1);
  EXPECT_EQ(d.request, 0x81);
  EXPECT_EQ(d.value, 0x0B00);
  EXPECT_EQ(d.length, 8);
}

TEST_F(ExtUnit, LongTransfersGoInPiecesOf0x8000) {
  struct Case {
    std::uint32_t length;
    std::vector<std::uint16_t> commandLengths;
  };
  const Case cases[] = {
      {0x18000, {0x8000, 0x8000, 0x8000}},
      {0x10000, {0x8000, 0x8000}},
      {0xFFFF, {0xFFFF}},
      {0, {}},
  };
  for (const auto& c : cases) {
    pipe.log.clear();
    Bytes buffer(c.length);
    ASSERT_EQ(unit.SPI_SF_Read(0x10000, c.length, buffer.data(), 0, nullptr, nullptr), 0);
    std::vector<std::uint16_t> lengths;
    std::uint32_t address = 0x10000;
    for (const auto& cmd : pipe.Commands()) {
      lengths.push_back(std::uint16_t(cmd.out[4] | cmd.out[5] << 8));
      EXPECT_EQ(std::uint32_t(cmd.out[2] | cmd.out[3] << 8 | cmd.out[6] << 16 | cmd.out[7] << 24), address);
      address += lengths.back();
    }
    EXPECT_EQ(lengths, c.commandLengths) << std::hex << c.length;
  }
}

TEST_F(ExtUnit, SpiAddressHighWordGoesToBytes6And7) {
  std::uint8_t b[1];
  ASSERT_EQ(unit.SPI_SF_Read(0x12345, 1, b, 0, nullptr, nullptr), 0);
  EXPECT_EQ(pipe.Commands()[0].out, (Bytes{0x02, 0xC2, 0x45, 0x23, 0x01, 0x00, 0x01, 0x00}));
  pipe.log.clear();
  ASSERT_EQ(unit.ReadMem(0x12345, 1, b, nullptr, nullptr), 0);  // no high word for chip memory
  EXPECT_EQ(pipe.Commands()[0].out, (Bytes{0x00, 0xC2, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00}));
}

TEST_F(ExtUnit, ATailGoesThroughTheDataBuffer) {
  for (int i = 0; i < 16; ++i) pipe.reads.push_back(std::uint8_t(i + 1));
  Bytes buffer(13, 0xEE);
  std::vector<std::uint32_t> progress;
  auto cb = [](void* user, std::uint32_t n) { static_cast<std::vector<std::uint32_t>*>(user)->push_back(n); };
  ASSERT_EQ(unit.ReadMem(0, 13, buffer.data(), cb, &progress), 0);
  EXPECT_EQ(progress, (std::vector<std::uint32_t>{8, 5}));
  EXPECT_EQ(buffer, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
  EXPECT_EQ(pipe.log.back().length, 8);  // the tail is a whole unit

  pipe.log.clear();
  const Bytes data{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(unit.WriteMem(0, 10, data.data(), nullptr, nullptr), 0);
  EXPECT_EQ(pipe.log.back().out, (Bytes{9, 10, 0, 0, 0, 0, 0, 0}));  // zero-padded
}

TEST_F(ExtUnit, GetDevStatusReadsWholeWordsAndATail) {
  std::iota(pipe.reads.begin(), pipe.reads.end(), 0);
  for (int i = 0; i < 16; ++i) pipe.reads.push_back(std::uint8_t(0x10 + i));
  std::uint8_t status[12] = {};
  ASSERT_EQ(unit.GetDevStatus(0, status, 12), 0);
  const auto commands = pipe.Commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].out, (Bytes{0x00, 0xCD, 0, 0, 8, 0, 0, 0}));
  EXPECT_EQ(commands[1].out, (Bytes{0x00, 0xCD, 1, 0, 8, 0, 0, 0}));
  EXPECT_EQ(Bytes(status, status + 12), (Bytes{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B}));
}

TEST_F(ExtUnit, AFailedDataPhaseReadsTheStatusAndClears) {
  pipe.failAt = 1;  // the data unit after the command
  pipe.reads = {};
  std::uint8_t b[8];
  const std::int32_t r = unit.ReadMem(0, 8, b, nullptr, nullptr);
  EXPECT_EQ(r, platform::HResultFromWin32(31));
  ASSERT_EQ(pipe.log.size(), 4u);
  EXPECT_EQ(pipe.log[2].requestType, 0xA1);  // status block
  EXPECT_EQ(pipe.log[2].value, 0x0A00);
  EXPECT_EQ(pipe.log[3].out, (Bytes{0xFF, 0, 0, 0, 0, 0, 0, 0}));  // clear command
  EXPECT_EQ(unit.LastStatus(), 0);
}

TEST_F(ExtUnit, AGoneDeviceGetsNoStatusReadOrClear) {
  pipe.failAt = 0;
  pipe.failError = platform::kErrorDeviceNotConnected;
  EXPECT_EQ(unit.EraseFlash(), static_cast<std::int32_t>(0x8007048F));
  EXPECT_EQ(pipe.log.size(), 1u);
  EXPECT_EQ(unit.LastStatus(), 0xFF);
}

TEST_F(ExtUnit, ChangeDataControlSize) {
  std::uint16_t size = 8;
  EXPECT_EQ(unit.ChangeDataControlSize(size), 1);
  EXPECT_TRUE(pipe.log.empty());  // already that size

  size = 64;
  pipe.reads = {64, 0};
  EXPECT_EQ(unit.ChangeDataControlSize(size), 1);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x00, 0x16, 0, 0, 64, 0, 0, 0}));
  EXPECT_EQ(pipe.log[1].request, 0x85);  // GET_LEN
  EXPECT_EQ(pipe.log[1].value, 0x0B00);
  EXPECT_EQ(unit.DataControlSize(), 64u);

  size = 32;
  pipe.reads = {16, 0};
  EXPECT_EQ(unit.ChangeDataControlSize(size), 0);
  EXPECT_EQ(size, 16);
  EXPECT_EQ(unit.DataControlSize(), 16u);

  size = 64;
  pipe.reads = {0x00, 0x08};  // 2048: larger than the unit buffer
  EXPECT_EQ(unit.ChangeDataControlSize(size), 0);
  EXPECT_EQ(size, 16);
  EXPECT_EQ(unit.DataControlSize(), 16u);
}

TEST_F(ExtUnit, EraseSectorChecksAlignmentBeforeSending) {
  EXPECT_EQ(unit.SPI_SF_EraseSector(0x1001, 0x1000), platform::kEInvalidArg);
  EXPECT_TRUE(pipe.log.empty());
  EXPECT_EQ(unit.SPI_SF_EraseSector(0x21000, 0x1000), 0);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x02, 0x05, 0x00, 0x10, 0, 0, 0x02, 0}));
}

TEST_F(ExtUnit, I2CReadWidths) {
  std::uint16_t value = 0;
  pipe.reads = {0x34, 0x12, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(unit.I2CRead(1, 0x20, value), 0);
  EXPECT_EQ(value, 0x0034);
  pipe.reads = {0x34, 0x12, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(unit.I2CRead(2, 0x20, value), 0);
  EXPECT_EQ(value, 0x1234);
  pipe.log.clear();
  ASSERT_EQ(unit.I2CWrite(1, 0x30, 0xABCD), 0);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x00, 0x8A, 0x30, 0, 2, 0, 0, 0}));
  EXPECT_EQ(pipe.log[1].out, (Bytes{0xCD, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ExtUnit, DevQualifyNeedsTheZeroByte) {
  pipe.reads = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
  EXPECT_TRUE(unit.DevQualify());
  pipe.reads = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 'X'};
  EXPECT_FALSE(unit.DevQualify());
}

TEST_F(ExtUnit, I2CLongWriteMasksTheAddressOfTheCompletingPiece) {
  Bytes data(100, 0x11);
  ASSERT_EQ(unit.I2CLongWrite(0x50, 0x8010, 0, 100, data.data(), nullptr, nullptr), 0);
  auto commands = pipe.Commands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].out, (Bytes{0x00, 0xB0, 0x10, 0x80, 64, 0, 0x50, 0}));
  EXPECT_EQ(commands[1].out, (Bytes{0x00, 0xB0, 0x50, 0x00, 36, 0, 0x50, 0}));  // 0x8050 & 0x7FFF
  pipe.log.clear();
  ASSERT_EQ(unit.I2CLongWrite(0x50, 0x8000, 0, 64, data.data(), nullptr, nullptr), 0);
  EXPECT_EQ(pipe.Commands()[0].out, (Bytes{0x00, 0xB0, 0x00, 0x80, 64, 0, 0x50, 0}));  // whole piece, unsplit
}

TEST_F(ExtUnit, OtpCommands) {
  const Bytes data(4, 0x5A);
  ASSERT_EQ(unit.OTPWrite(0x0100, 4, 0x0003, data.data()), 0);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x02, 0x97, 0x00, 0x01, 4, 0, 3, 0}));
  EXPECT_EQ(unit.LastStatus(), 0);
  pipe.log.clear();
  std::uint8_t fail[19];
  ASSERT_EQ(unit.OTPPrgmFailAddr(19, fail), 0);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x02, 0xDC, 0, 0, 0x13, 0, 0, 0}));
  EXPECT_EQ(pipe.log.size(), 1u + 3u);  // 19 bytes: two units and a tail
  pipe.log.clear();
  std::uint8_t result[8];
  ASSERT_EQ(unit.OTPAllBlankCheck(0x200, 8, result), 0);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x02, 0xDF, 0x00, 0x02, 8, 0, 8, 0}));
}

TEST_F(ExtUnit, EepromTagIsA5AtAddress1) {
  ASSERT_EQ(unit.I2C_EEP16_WriteTag(), 0);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x02, 0x91, 1, 0, 1, 0, 0, 0}));
  EXPECT_EQ(pipe.log[1].out[0], 0xA5);
}

TEST(ExtUnitDirect, ResetCommandsAndSignature) {
  RecordingPipe pipe;
  platform::VirtualClock clock;
  const ExtUnitAddress u{pipe, 6, 3, clock};
  EXPECT_EQ(ExtUnitReset(u, 0x0102, 7), 1);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x00, 0x07, 0x02, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ExtUnitReset(u, 5, 9), 1);
  EXPECT_EQ(pipe.log[1].out, (Bytes{0x00, 0x09, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ExtUnitReset(u, 5, 10), 0);
  EXPECT_EQ(pipe.log.size(), 2u);

  pipe.reads = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
  EXPECT_EQ(ExtUnitSignatureCheck(u), 1);
}

TEST(ExtUnitDirect, MemoryReadUsesEightByteUnitsAndAnExactTail) {
  RecordingPipe pipe;
  platform::VirtualClock clock;
  const ExtUnitAddress u{pipe, 6, 3, clock};
  std::uint8_t out[10];
  ASSERT_EQ(ExtUnitMemoryRead(u, 0xFE21, 10, out), 1);
  ASSERT_EQ(pipe.log.size(), 3u);
  EXPECT_EQ(pipe.log[0].out, (Bytes{0x00, 0xC2, 0x21, 0xFE, 10, 0, 0, 0}));
  EXPECT_EQ(pipe.log[1].length, 8);
  EXPECT_EQ(pipe.log[2].length, 2);

  pipe.log.clear();
  pipe.failAt = 1;
  EXPECT_EQ(ExtUnitMemoryRead(u, 0, 8, out), 0);
  EXPECT_EQ(ExtUnitLastError(), 31u);
  ASSERT_EQ(pipe.log.size(), 4u);  // command, failed unit, status block, clear
  EXPECT_EQ(pipe.log[3].out[0], 0xFF);
}

// The locks are the codec's own: named by its port path, the same for the
// device and its audio function, and machine-wide only for a location
// without one.
TEST(CodecLocks, NamedByThePortPath) {
  const struct {
    const char* location;
    const char* name;
  } cases[] = {
      {"PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(3)#USBMI(0)", "ICOperateSync_2014_3_28@1-1.3"},
      {"PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(3)", "ICOperateSync_2014_3_28@1-1.3"},
      {"PCIROOT(0)#PCI(000200)#USBROOT(0)#USB(4)#USBMI(0)", "ICOperateSync_2014_3_28@2-4"},
      {"PCIROOT(0)#PCI(001000)#USBROOT(0)#USB(12)#USB(2)#USB(7)", "ICOperateSync_2014_3_28@16-12.2.7"},
      {"PCIROOT(0)#PCI(000100)#USBROOT(0)", "ICOperateSync_2014_3_28"},  // a root hub
      {"PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(x)", "ICOperateSync_2014_3_28"},
      {"", "ICOperateSync_2014_3_28"},
  };
  for (const auto& c : cases) EXPECT_EQ(CodecLockName(kChannelLockName, c.location), c.name) << c.location;
  EXPECT_EQ(CodecLockName(kDirectCommandLockName, cases[0].location), "ICOperateSyncUac_2022@1-1.3");
}

// While another thread (or program) holds a codec's channel lock, neither the
// direct commands nor a channel object send anything to that codec; another
// codec's commands go at once.
TEST(ExtUnitDirect, NothingIsSentToACodecWhileItsChannelLockIsHeldElsewhere) {
  const std::string busy = "PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(3)#USBMI(0)";
  const std::string other = "PCIROOT(0)#PCI(000100)#USBROOT(0)#USB(1)#USB(4)#USBMI(0)";
  RecordingPipe pipe;
  platform::VirtualClock clock;
  std::promise<void> held, release;
  std::thread holder([&] {
    platform::NamedMutex channel("ICOperateSync_2014_3_28@1-1.3");
    platform::VirtualClock own;
    const bool locked = channel.Lock(10000, own);
    EXPECT_TRUE(locked);
    held.set_value();
    release.get_future().wait();
    if (locked) channel.Unlock();
  });
  held.get_future().wait();
  for (const std::string& location : {busy, other}) {
    const bool waits = location == busy;
    const ExtUnitAddress u{pipe, 6, 3, clock, location};
    CExtUnit unit(pipe, 6, 3, clock, location);
    std::uint8_t buffer[16] = {};
    const std::function<int()> calls[] = {
        [&] { return ExtUnitSignatureCheck(u) == 1 ? 0 : 1; },
        [&] { return ExtUnitStatusRead(u, 16, buffer) == 1 ? 0 : 1; },
        [&] { return ExtUnitMemoryRead(u, 0x8000, 16, buffer) == 1 ? 0 : 1; },
        [&] { return ExtUnitMemoryWrite(u, 0x8000, 16, buffer) == 1 ? 0 : 1; },
        [&] { return ExtUnitReset(u, 0, 9) == 1 ? 0 : 1; },
        [&] { return int(unit.ReadMem(0x8000, 16, buffer, nullptr, nullptr)); },
        [&] { return int(unit.SPI_SF_EraseChip(0)); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i) {
      pipe.log.clear();
      pipe.reads = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
      const std::uint64_t before = clock.NowMs();
      EXPECT_EQ(calls[i]() != 0, waits) << location << " " << i;
      EXPECT_EQ(pipe.log.empty(), waits) << location << " " << i;
      if (waits) {
        EXPECT_GE(clock.NowMs() - before, 10000u) << i;  // it waited its limit
        if (i < 5) {
          EXPECT_EQ(ExtUnitLastError(), platform::kErrorTimeout) << i;
        }
      } else {
        EXPECT_EQ(clock.NowMs(), before) << i;
      }
    }
  }
  release.set_value();
  holder.join();
  pipe.reads = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
  EXPECT_EQ(ExtUnitSignatureCheck({pipe, 6, 3, clock, busy}), 1);  // free again
}

}  // namespace
