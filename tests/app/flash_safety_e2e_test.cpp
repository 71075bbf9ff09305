// Flash updates tried as a hostile factory tester would, with the real
// programs: images of 64 KiB and 256 KiB, the chip families that keep their
// image at a bank offset, the chip whose configuration area lies at 0xAE00,
// the chip outside the boot-ROM family that takes the tag, and faults of the
// flash itself. What is checked is the exit code, Result.txt and the codec's
// memory and boot decision afterwards, never the tool's words alone.
#include "tests/support/factory_fixture.h"

namespace {

constexpr const char* kOld = "4.119.0000-0000.0007";
constexpr const char* kNew = "4.120.0000-0000.0001";
constexpr std::size_t kTagAt = 0xEFFE;

class FlashStation : public Factory {
 protected:
  // A bench of its own whose codec c1 is a `chip` holding `oldImage`
  // (placed at the chip's bank by tessaload-sim), with old.bin and new.bin
  // images of `size` bytes for the description `description`.
  void UseChip(const std::string& chip, const std::string& description, std::size_t size, bool tagged = false,
               const std::string& addOptions = "") {
    bench_ = station_.File("bench-" + chip + "-" + std::to_string(size));
    std::filesystem::remove_all(bench_);
    Must(Sim("create " + bench_));
    old_ = Build(description, kOld, size, tagged);
    new_ = Build(description, kNew, size, tagged);
    station_.Write("old.bin", old_);
    station_.Write("new.bin", new_);
    Must(Sim("add " + bench_ + " c1 --chip " + chip + " --firmware " + station_.File("old.bin") + " " + addOptions));
  }
  // A 256 KiB old image on the codec and a 64 KiB new.bin, with "Block Erase"
  // set to `blockErase`.
  void UseLongOldImage(bool blockErase, const std::string& addOptions = "") {
    UseChip("VMC2232", "VMC2232", 0x40000, false, addOptions);
    new_ = Build("VMC2232", kNew, 0x10000, false);
    station_.Write("new.bin", new_);
    station_.Write("config.ini", std::string("[Quillox Config]\r\nBlock Erase=") + (blockErase ? "1" : "0") + "\r\n");
  }
  // A sample image grown to `size` bytes with code that leaves no 4 KiB chunk
  // erased, as a larger program does; `tagged`: 0x55 0xAA at the tag, as the
  // serial-number rebuild leaves it.
  std::string Build(const std::string& description, const std::string& version, std::size_t size, bool tagged) {
    const std::string file = station_.File("build.bin");
    Must(Image("build --chip " + description + " --version " + version + " -o " + file));
    std::string image = station_.Read("build.bin");
    std::uint32_t state = 0x2545F491u ^ std::uint32_t(version.back());
    while (image.size() < size) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      image.push_back(char(state | 1));  // never 0xFF
    }
    if (tagged) {
      image[kTagAt] = char(0x55);
      image[kTagAt + 1] = char(0xAA);
    }
    return image;
  }
  bool Passed(const Outcome& o) { return o.code == 0 && station_.Read("Result.txt").ends_with("pass"); }
  bool Runs(const std::string& version) {
    const std::string state = Show();
    return state.find("running its firmware") != std::string::npos && state.find(version) != std::string::npos;
  }
  bool InBootRom() { return Show().find("boot ROM update mode") != std::string::npos; }

  // Power lost after about `points` transfers spread over a whole write, and
  // after each of the last 40 (the held-back header and the tag). Every point
  // ends with the old image unchanged, the boot ROM waiting, or the whole new
  // image running.
  void SweepPowerLoss(int points) {
    const std::string pristine = bench_ + "-pristine";
    std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
    const std::string oldMemory = Dump();
    const Outcome whole = Tessaload("-f -write new.bin");
    ASSERT_TRUE(Passed(whole)) << whole.out;
    ASSERT_TRUE(Runs(kNew));
    const int total = Transfers();
    ASSERT_GT(total, 100);
    const int stride = std::max(1, (total - 40) / points);
    int ranOld = 0, inRom = 0, ranNew = 0;
    for (int n = 1; n < total; n += (n < total - 40 ? stride : 1)) {
      SCOPED_TRACE("power lost after transfer " + std::to_string(n) + " of " + std::to_string(total));
      switch (WriteWithPowerLostAfter(n, pristine, oldMemory, new_)) {
        case AfterPowerLoss::kOldFirmware: ++ranOld; break;
        case AfterPowerLoss::kBootRom: ++inRom; break;
        case AfterPowerLoss::kNewFirmware: ++ranNew; break;
      }
      if (HasFailure()) return;
    }
    EXPECT_GT(ranOld, 0);
    EXPECT_GT(inRom, 0);
  }

  std::string old_, new_;
};

TEST_F(FlashStation, VerifyAndDumpReadTheBankTheFamilyKeepsItsImageIn) {
  for (const char* chip : {"VMC2222", "VMC2270"}) {  // families 23 and 26
    SCOPED_TRACE(chip);
    UseChip(chip, chip, 0x10000);
    ASSERT_TRUE(Passed(Tessaload("-f -write new.bin")));
    const std::string memory = Dump();
    EXPECT_EQ(memory.substr(0x10000, new_.size()), new_);  // the bank after the first 64 KiB

    const Outcome verifyNew = Tessaload("-f -verify new.bin");
    EXPECT_TRUE(Passed(verifyNew)) << verifyNew.out;
    EXPECT_FALSE(Passed(Tessaload("-f -verify old.bin")));
    station_.Write("blank.bin", std::string(0x10000, char(0xFF)));
    EXPECT_FALSE(Passed(Tessaload("-f -verify blank.bin")));

    const Outcome dump = Tessaload("-f -dumpspi dump.bin");
    EXPECT_TRUE(Passed(dump)) << dump.out;
    EXPECT_EQ(station_.Read("dump.bin"), new_);
  }
}

TEST_F(FlashStation, AVerifyComparesAWholeValidImage) {
  UseChip("VMC2232", "VMC2232", 0x10000);
  ASSERT_TRUE(Passed(Tessaload("-f -verify old.bin")));
  for (const std::size_t length : {std::size_t(1), std::size_t(0x8000), std::size_t(0xF000)}) {
    SCOPED_TRACE(length);
    station_.Write("part.bin", old_.substr(0, length));  // what the codec holds, cut short
    const Outcome o = Tessaload("-f -verify part.bin");
    EXPECT_FALSE(Passed(o)) << o.out;
    EXPECT_NE(o.out.find("Verify fw fail!"), std::string::npos) << o.out;
  }
  // The codec holds a 64 KiB image; a 256 KiB file that starts with it is not it.
  station_.Write("long.bin", Build("VMC2232", kOld, 0x40000, false));
  EXPECT_FALSE(Passed(Tessaload("-f -verify long.bin")));
}

TEST_F(FlashStation, ATaggedImageWritesAndVerifiesOnEveryKindOfChip) {
  // The boot-ROM family takes no tag: its flash keeps 0xFF 0xFF there.
  UseChip("VMC2232", "VMC2232", 0x10000, true);
  ASSERT_TRUE(Passed(Tessaload("-f -write new.bin")));
  const std::string memory = Dump();
  EXPECT_EQ(memory.substr(kTagAt, 2), std::string(2, char(0xFF)));
  EXPECT_EQ(memory.substr(0, kTagAt), new_.substr(0, kTagAt));
  EXPECT_EQ(memory.substr(kTagAt + 2, new_.size() - kTagAt - 2), new_.substr(kTagAt + 2));
  const Outcome verify = Tessaload("-f -verify new.bin");
  EXPECT_TRUE(Passed(verify)) << verify.out;

  // The chip outside the family starts only a tagged image; the tag is written.
  UseChip("VMC2210B", "VMC2210", 0x10000, true);
  ASSERT_TRUE(Runs(kOld));
  const Outcome write = Tessaload("-f -write new.bin");
  ASSERT_TRUE(Passed(write)) << write.out;
  EXPECT_TRUE(Runs(kNew));
  EXPECT_EQ(Dump().substr(0, new_.size()), new_);
  EXPECT_TRUE(Passed(Tessaload("-f -verify new.bin")));
  EXPECT_FALSE(Passed(Tessaload("-f -verify old.bin")));
}

// It could never start there: refused before the old firmware is erased.
TEST_F(FlashStation, AnUntaggedImageIsRefusedOnAChipThatWantsTheTag) {
  UseChip("VMC2210B", "VMC2210", 0x10000, true);
  const std::string before = Dump();
  station_.Write("untagged.bin", Build("VMC2210", kNew, 0x10000, false));
  const Outcome o = Tessaload("-f -write untagged.bin");
  EXPECT_FALSE(Passed(o)) << o.out;
  EXPECT_EQ(Dump(), before);
  EXPECT_TRUE(Runs(kOld));
}

// A bit that flips on reading, in a region the image leaves erased: neither
// the empty check nor the verify may skip it. Nothing is written over flash
// that did not read erased.
TEST_F(FlashStation, AFlashRegionThatDoesNotReadErasedFailsTheWriteBeforeAnythingIsWritten) {
  UseChip("VMC2232", "VMC2232", 0x10000);
  ASSERT_EQ(new_.substr(0x9000, 0x1000), std::string(0x1000, char(0xFF)));
  Must(Sim("fault " + bench_ + " c1 flip-read=9123:01"));
  const Outcome o = Tessaload("-f -write new.bin");
  EXPECT_FALSE(Passed(o)) << o.out;
  EXPECT_TRUE(InBootRom());
  const std::string memory = Dump();
  EXPECT_EQ(memory.substr(0, new_.size()), std::string(new_.size(), char(0xFF)));
}

// A flash bit that never clears where the image has data: only the read-back
// compare can see it. The codec must not start the image.
TEST_F(FlashStation, ABitThatDoesNotProgramFailsTheWriteAndNothingStarts) {
  for (const std::size_t size : {std::size_t(0x10000), std::size_t(0x40000)}) {
    SCOPED_TRACE(size);
    UseChip("VMC2232", "VMC2232", size);
    const std::size_t at = size > 0x10000 ? size - 0x100 : 0x100;  // program code
    ASSERT_NE(std::uint8_t(new_[at]), 0xFF);
    char spec[64];
    std::snprintf(spec, sizeof spec, "stuck-otp=%zX:%02X", at, unsigned(~std::uint8_t(new_[at])) & 0xFF);
    Must(Sim("fault " + bench_ + " c1 " + spec));
    const Outcome o = Tessaload("-f -write new.bin");
    EXPECT_FALSE(Passed(o)) << o.out;
    Must(Sim("unplug " + bench_ + " c1"));
    Must(Sim("plug " + bench_ + " c1"));
    EXPECT_TRUE(InBootRom()) << Show();
  }
}

TEST_F(FlashStation, PowerLostDuringA256KWriteNeverStartsAPartImage) {
  UseChip("VMC2232", "VMC2232", 0x40000);
  SweepPowerLoss(80);
}

TEST_F(FlashStation, PowerLostDuringAWriteOnTheChipWithItsAreaAt0xAE00NeverStartsAPartImage) {
  for (const std::size_t size : {std::size_t(0x10000), std::size_t(0x40000)}) {
    SCOPED_TRACE(size);
    UseChip("VMC2210", "VMC2210", size);
    SweepPowerLoss(80);
  }
}

TEST_F(FlashStation, PowerLostDuringAWriteOnTheChipThatTakesTheTagNeverStartsAPartImage) {
  UseChip("VMC2210B", "VMC2210", 0x10000, true);
  SweepPowerLoss(80);
}

// With "Block Erase=1" only the 64 KiB blocks the image occupies are erased:
// the rest of the old firmware stays in the flash, where nothing reads or
// starts it. The built-in setting erases the whole chip, and so does a codec
// whose channel has no block erase.
TEST_F(FlashStation, TheBlockEraseKeepsWhatLiesBeyondTheImageAndTheChipEraseDoesNot) {
  struct Case {
    bool blockErase;
    const char* addOptions;
    bool keepsBeyond;
  };
  for (const Case& c : {Case{true, "", true}, Case{false, "", false}, Case{true, "--channels xu", false}}) {
    SCOPED_TRACE(std::string("Block Erase=") + (c.blockErase ? "1 " : "0 ") + c.addOptions);
    UseLongOldImage(c.blockErase, c.addOptions);
    const Outcome write = Tessaload("-f -write new.bin");
    ASSERT_TRUE(Passed(write)) << write.out << write.err;
    Must(Sim("unplug " + bench_ + " c1"));
    Must(Sim("plug " + bench_ + " c1"));
    EXPECT_TRUE(Runs(kNew)) << Show();
    const std::string memory = Dump();
    EXPECT_EQ(memory.substr(0, new_.size()), new_);
    const std::string beyond = memory.substr(0x10000, 0x30000);
    EXPECT_EQ(beyond == old_.substr(0x10000, 0x30000), c.keepsBeyond);
    EXPECT_EQ(beyond == std::string(0x30000, char(0xFF)), !c.keepsBeyond);
    EXPECT_TRUE(Passed(Tessaload("-f -verify new.bin")));
  }
  // A 256 KiB image occupies four blocks.
  UseChip("VMC2232", "VMC2232", 0x40000);
  station_.Write("config.ini", "[Quillox Config]\r\nBlock Erase=1\r\n");
  const Outcome write = Tessaload("-f -write new.bin");
  ASSERT_TRUE(Passed(write)) << write.out << write.err;
  EXPECT_EQ(Dump().substr(0, new_.size()), new_);
  EXPECT_TRUE(Runs(kNew));
}

TEST_F(FlashStation, PowerLostDuringABlockEraseUpdateNeverStartsAPartImage) {
  UseLongOldImage(true);
  SweepPowerLoss(60);
}

}  // namespace
