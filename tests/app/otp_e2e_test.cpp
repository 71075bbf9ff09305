// The factory command line on a codec with OTP code memory: the write's
// version rule (exit codes 2 and 3), "-dumpotp", "-detect" through a lifetime
// of downloads until the OTP is full, and power lost after every few
// transfers of a download.

#include "tests/support/factory_fixture.h"

namespace {

class OtpStation : public Factory {
 protected:
  void SetUp() override {
    Factory::SetUp();
    bench_ = station_.File("bench-otp");
    Must(Sim("create " + bench_));
    Must(Sim("add " + bench_ + " c1 --chip VMC2232 --memory otp"));
  }
  std::string Build(int build) {
    char version[32], name[32];
    std::snprintf(version, sizeof version, "4.120.0000-0000.%04d", build);
    std::snprintf(name, sizeof name, "v%d.bin", build);
    Must(Image("build --chip VMC2232 --memory otp --version " + std::string(version) + " -o " + station_.File(name)));
    return name;
  }
  static std::string Usage(double used, double free, int times) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Begin to Check OTP Status!\r\nUsed OTP Space: %0.2f KB\nFree OTP Space: %0.2f KB\n"
                  "Remaining Programmable Times: %d.\r\n",
                  used / 1024, free / 1024, times);
    return text;
  }
};

TEST_F(OtpStation, ABlankOtpTakesAWriteAndTheSameOrAnOlderVersionIsRefused) {
  const std::string v2 = Build(2), v1 = Build(1), v3 = Build(3);
  EXPECT_NE(Show().find("boot ROM update mode"), std::string::npos) << "a blank OTP starts nothing";
  const Outcome first = Tessaload("-f -write " + v2);
  EXPECT_EQ(first.code, 0) << first.out;
  EXPECT_NE(Show().find("4.120.0000-0000.0002"), std::string::npos);
  const std::string programmed = Dump();

  const Outcome same = Tessaload("-f -write " + v2);
  EXPECT_EQ(same.code, 2) << same.out;
  EXPECT_NE(same.out.find("Write fw fail!"), std::string::npos);
  EXPECT_NE(same.err.find("tessaload: 42045 Same FW Version, Update Refused! ("), std::string::npos) << same.err;
  const Outcome older = Tessaload("-f -write " + v1);
  EXPECT_EQ(older.code, 3) << older.out;
  EXPECT_NE(older.err.find("tessaload: 42046 Older FW Version, Update Refused! ("), std::string::npos) << older.err;
  EXPECT_EQ(Dump(), programmed) << "a refused write leaves the OTP alone";

  EXPECT_EQ(Tessaload("-f -write " + v3).code, 0);
  EXPECT_NE(Show().find("4.120.0000-0000.0003"), std::string::npos);
}

TEST_F(OtpStation, DumpOtpWritesTheWholeOtp) {
  const std::string v1 = Build(1);
  ASSERT_EQ(Tessaload("-f -write " + v1).code, 0);
  const Outcome dump = Tessaload("-f -dumpotp otp.bin");
  EXPECT_EQ(dump.code, 0) << dump.out;
  EXPECT_NE(dump.out.find("Begin to Dump OTP!\r\nDump OTP pass!\r\n"), std::string::npos) << dump.out;
  const std::string content = station_.Read("otp.bin");
  EXPECT_EQ(content.size(), 0x4000u);
  EXPECT_EQ(content, Dump());
  EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos) << "the codec runs its code again";
}

// -detect counts what really fits: each download takes two VD entries (its
// code and its configuration block) and the bytes of both blocks. The count
// it gives before the last download that fits is 1, after it 0.
TEST_F(OtpStation, DetectFollowsALifetimeOfDownloadsUntilTheOtpIsFull) {
  std::uint32_t used = 0;
  for (int build = 1; build <= 9; ++build) {
    SCOPED_TRACE("download " + std::to_string(build));
    const std::string image = Build(build);
    const std::string bytes = station_.Read(image);
    // Both parts repeat the image's first 15 bytes.
    const std::uint32_t footprint = std::uint32_t(std::uint8_t(bytes[3]) | std::uint8_t(bytes[4]) << 8) + 15;
    const auto times = [&](std::uint32_t free, int entries) {
      return int(std::min<std::uint32_t>(free / footprint, entries / 2));
    };
    const Outcome before = Tessaload("-f -detect " + image);
    EXPECT_NE(before.out.find(Usage(used, 16224 - used, times(16224 - used, 18 - 2 * build))), std::string::npos)
        << before.out;
    const Outcome write = Tessaload("-f -write " + image);
    if (build == 9) {  // each download takes two VD entries: the sixteen are used up
      EXPECT_NE(before.out.find("Remaining Programmable Times: 0."), std::string::npos);
      EXPECT_EQ(write.code, 1) << write.out;
      EXPECT_NE(write.out.find("Write fw fail!"), std::string::npos);
      EXPECT_NE(Show().find("4.120.0000-0000.0008"), std::string::npos) << "the last code still runs";
      break;
    }
    ASSERT_EQ(write.code, 0) << write.out;
    EXPECT_NE(Show().find("4.120.0000-0000.000" + std::to_string(build)), std::string::npos);
    used += footprint;
    const Outcome after = Tessaload("-f -detect " + image);
    EXPECT_NE(after.out.find(Usage(used, 16224 - used, times(16224 - used, 16 - 2 * build))), std::string::npos)
        << after.out;
  }
}

// The blocks the codec starts from: its newest code and configuration
// entries (the flags 0x55 and 0xAA; these tests need no ECC repairs). Two
// images of one chip may have equal configuration parts: a block is told by
// where it lies too.
struct Pair {
  std::size_t codeAt = 0, configAt = 0;
  std::string code, config;  // the blocks' bytes; empty without an entry
  bool operator==(const Pair&) const = default;
  std::size_t End() const { return std::max(codeAt + code.size(), configAt + config.size()); }
};
Pair ActivePair(const std::string& otp) {
  Pair pair;
  for (int i = 0; i < 16; ++i) {
    const std::size_t e = 0x3F70 + 5 * i;
    const std::size_t start = std::uint8_t(otp[e]) << 8 | std::uint8_t(otp[e + 1]);
    const std::size_t length = std::uint8_t(otp[e + 2]) << 8 | std::uint8_t(otp[e + 3]);
    const std::uint8_t flag = std::uint8_t(otp[e + 4]);
    if (flag == 0x55) pair.codeAt = start, pair.code = otp.substr(start, length);
    if (flag == 0xAA) pair.configAt = start, pair.config = otp.substr(start, length);
  }
  return pair;
}

// Power lost after each transfer of a download: the codec then starts its old
// code with its old configuration, waits in its boot ROM, or starts the new
// code with the new configuration; never one part without the other, and
// what the old download wrote stays. And every time the OTP still has room,
// the next download writes the image whole.
TEST_F(OtpStation, PowerLostAtEveryTransferOfADownloadNeverStartsAPartAndTheNextDownloadSucceeds) {
  const std::string v1 = Build(1), v2 = Build(2);
  ASSERT_EQ(Tessaload("-f -write " + v1).code, 0);
  const std::string pristine = station_.File("pristine");
  std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
  const std::string oldMemory = Dump();
  const Pair oldPair = ActivePair(oldMemory);
  ASSERT_FALSE(oldPair.code.empty());
  ASSERT_FALSE(oldPair.config.empty());
  const std::size_t oldEnd = oldPair.End();
  ASSERT_EQ(Tessaload("-f -write " + v2).code, 0);
  const int total = Transfers();
  const Pair newPair = ActivePair(Dump());
  ASSERT_NE(newPair.code, oldPair.code);
  ASSERT_GT(total, 100);

  int ranOld = 0, ranNew = 0, inRom = 0;
  const int step = total > 300 ? total / 250 : 1;
  for (int n = 1; n < total; n += step) {
    SCOPED_TRACE("power lost after transfer " + std::to_string(n));
    RestoreBench(pristine);
    Must(Sim("fault " + bench_ + " c1 disconnect-after=" + std::to_string(n)));
    const Outcome o = Tessaload("-f -write " + v2);
    const bool passed = o.out.find("Write fw pass!") != std::string::npos;
    EXPECT_EQ(o.code == 0, passed) << o.out;
    Sim("plug " + bench_ + " c1");
    const std::string state = Show();
    const std::string memory = Dump();
    EXPECT_EQ(memory.substr(0, oldEnd), oldMemory.substr(0, oldEnd)) << "blocks are only ever appended";
    const Pair pair = ActivePair(memory);
    if (state.find("4.120.0000-0000.0002") != std::string::npos) {
      ++ranNew;
      EXPECT_EQ(pair, newPair) << "the new code starts only with its own configuration";
      continue;
    }
    EXPECT_FALSE(passed) << "a success without the new firmware";
    if (state.find("4.120.0000-0000.0001") != std::string::npos) {
      ++ranOld;
      EXPECT_EQ(pair, oldPair) << "the old code starts only with its own configuration";
    } else {
      ++inRom;
      EXPECT_NE(state.find("boot ROM update mode"), std::string::npos) << state;
      EXPECT_TRUE(pair.code.empty()) << "no code entry, yet nothing starts";
    }
    // The OTP has room: the next download writes the image whole, wherever
    // the interrupted one left off.
    const Outcome again = Tessaload("-f -write " + v2);
    EXPECT_EQ(again.code, 0) << again.out;
    EXPECT_NE(Show().find("4.120.0000-0000.0002"), std::string::npos);
    const Pair written = ActivePair(Dump());
    EXPECT_EQ(written.code, newPair.code);
    EXPECT_EQ(written.config, newPair.config);
    EXPECT_EQ(written.configAt, written.codeAt + written.code.size()) << "the configuration right behind its code";
  }
  EXPECT_GT(ranOld, 0);
  EXPECT_GT(inRom, 0);
  EXPECT_GT(ranNew, 0);
}

}  // namespace
