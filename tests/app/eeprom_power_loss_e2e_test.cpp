// The factory command line on codecs with EEPROMs: write and verify of both
// addressings, and power lost after every transfer of an EEPROM write. A
// success is reported only when the codec runs the new image; otherwise the
// codec runs its old image unchanged, waits in its boot ROM, or runs the whole
// new image; it never starts a partly written one. After every interruption
// the next write succeeds.
#include "tests/support/factory_fixture.h"

namespace {

class EepromStation : public Factory {
 protected:
  // A bench of its own whose codec c1 keeps its code in an EEPROM.
  void UseEeprom(const std::string& memory) {
    bench_ = station_.File("bench-" + memory);
    Must(Sim("create " + bench_));
    Must(Image("build --chip VMC2232 --memory " + memory + " --version 4.119.0000-0000.0007 -o " +
               station_.File("old.bin")));
    Must(Image("build --chip VMC2232 --memory " + memory + " --version 4.120.0000-0000.0001 -o " +
               station_.File("new.bin")));
    Must(Sim("add " + bench_ + " c1 --chip VMC2232 --memory " + memory + " --firmware " + station_.File("old.bin")));
  }
};

TEST_F(EepromStation, WriteAndVerifyBothAddressings) {
  for (const char* memory : {"eeprom8", "eeprom16"}) {
    SCOPED_TRACE(memory);
    UseEeprom(memory);
    const Outcome write = Tessaload("-f -write new.bin");
    EXPECT_EQ(write.code, 0) << write.out;
    EXPECT_NE(write.out.find("Write fw pass!"), std::string::npos) << write.out;
    EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos);
    const std::string image = station_.Read("new.bin");
    EXPECT_EQ(Dump().substr(0, image.size()), image);

    EXPECT_EQ(Tessaload("-f -verify new.bin").code, 0);
    const Outcome verify = Tessaload("-f -verify old.bin");
    EXPECT_EQ(verify.code, 1) << verify.out;
    EXPECT_NE(verify.out.find("Verify fw fail!"), std::string::npos);
  }
}

TEST_F(EepromStation, PowerLostAtEveryTransferOfAWriteNeverStartsAPartImage) {
  for (const char* memory : {"eeprom8", "eeprom16"}) {
    SCOPED_TRACE(memory);
    UseEeprom(memory);
    const std::string pristine = station_.File(std::string("pristine-") + memory);
    std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
    const std::string oldMemory = Dump();
    const std::string image = station_.Read("new.bin");
    ASSERT_EQ(Tessaload("-f -write new.bin").code, 0);
    const int total = Transfers();
    ASSERT_GT(total, 50);

    int ranOld = 0, inRom = 0, ranNew = 0;
    for (int n = 1; n < total; ++n) {
      SCOPED_TRACE("power lost after transfer " + std::to_string(n));
      switch (WriteWithPowerLostAfter(n, pristine, oldMemory, image)) {
        case AfterPowerLoss::kOldFirmware: ++ranOld; break;
        case AfterPowerLoss::kBootRom: ++inRom; break;
        case AfterPowerLoss::kNewFirmware: ++ranNew; continue;
      }
      const Outcome again = Tessaload("-f -write new.bin");
      EXPECT_EQ(again.code, 0) << again.out;
      EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos);
      EXPECT_EQ(Dump().substr(0, image.size()), image);
    }
    EXPECT_GT(ranOld, 0);
    EXPECT_GT(inRom, 0);
    EXPECT_EQ(ranOld + inRom + ranNew, total - 1);
  }
}

}  // namespace
