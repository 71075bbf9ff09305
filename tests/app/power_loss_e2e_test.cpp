// Power lost at every point of a flash update: the codec is cut off after
// each control transfer in turn, across every phase of the write. tessaload
// reports success only when the codec runs the whole new image; otherwise the
// codec, once back, runs its old firmware unchanged, waits in its boot ROM,
// or runs the whole new image (power lost after the image was complete); it
// never starts a partly written one. Runs in simulated time.
#include "tests/support/factory_fixture.h"

namespace {

class PowerLoss : public Factory {};

TEST_F(PowerLoss, AtEveryTransferOfAWriteNoPartImageEverRuns) {
  const std::string pristine = station_.File("pristine");
  std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
  const std::string oldMemory = Dump();
  const std::string image = station_.Read("new.bin");

  ASSERT_EQ(Tessaload("-f -write new.bin").code, 0);  // how many transfers a whole write takes
  const int total = Transfers();
  ASSERT_GT(total, 100);

  int ranOld = 0, inRom = 0, ranNew = 0;
  for (int n = 1; n < total; ++n) {
    SCOPED_TRACE("power lost after transfer " + std::to_string(n));
    switch (WriteWithPowerLostAfter(n, pristine, oldMemory, image)) {
      case AfterPowerLoss::kOldFirmware: ++ranOld; break;
      case AfterPowerLoss::kBootRom: ++inRom; break;
      case AfterPowerLoss::kNewFirmware: ++ranNew; break;
    }
  }
  // Every phase was hit: before the erase, between erase and the end, after.
  EXPECT_GT(ranOld, 0);
  EXPECT_GT(inRom, 0);
  EXPECT_EQ(ranOld + inRom + ranNew, total - 1);

  RestoreBench(pristine);
  Must(Sim("fault " + bench_ + " c1 disconnect-after=" + std::to_string(total / 2)));
  EXPECT_NE(Tessaload("-f -write new.bin").code, 0);
  Sim("plug " + bench_ + " c1");
  EXPECT_EQ(Tessaload("-f -write new.bin").code, 0);  // a following write succeeds
  EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos);
}

}  // namespace
