// The real programs as a factory script runs them: tessaload-image makes the
// images, tessaload-sim the bench, and tessaload programs the simulated codec.
// What is checked is what a script sees (console, Result.txt,
// burn_result.txt, exit code) and the codec's memory afterwards.
#include "tests/support/factory_fixture.h"

namespace {

TEST_F(Factory, WriteVerifyDumpAndVersion) {
  Outcome o = Tessaload("-f -version fw.bin");
  EXPECT_EQ(o.out, "\nBegin to Get FW Ver!\r\nCurrent FW Version: 4.119.0000-0000.0007!\r\n" + Prompt());
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(station_.Read("Result.txt").substr(station_.Read("Result.txt").size() - 4), "fail");

  o = Tessaload("-f -write new.bin");
  EXPECT_EQ(o.out, "\nBegin to Write fw!\r\nWrite fw pass!\r\n" + Prompt());
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(station_.Read("Result.txt"), "Begin to Write fw!\r\r\nWrite fw pass!\r\r\n" + Prompt() + "pass");
  EXPECT_NE(Show().find("running its firmware"), std::string::npos);
  EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos);
  const std::string image = station_.Read("new.bin");
  EXPECT_EQ(Dump().substr(0, image.size()), image);

  o = Tessaload("-f -version fw.bin");
  EXPECT_NE(o.out.find("Current FW Version: 4.120.0000-0000.0001!"), std::string::npos) << o.out;

  o = Tessaload("-f -verify new.bin");
  EXPECT_NE(o.out.find("Verify fw pass!"), std::string::npos) << o.out;
  EXPECT_EQ(o.code, 0);
  o = Tessaload("-f -verify old.bin");
  EXPECT_NE(o.out.find("Verify fw fail!"), std::string::npos) << o.out;
  EXPECT_EQ(o.code, 1);

  o = Tessaload("-f -dumpspi dump/spi.bin");
  EXPECT_NE(o.out.find("Dump SPI pass!"), std::string::npos) << o.out;
  EXPECT_EQ(station_.Read("dump/spi.bin"), image);
}

TEST_F(Factory, AForeignCodecExits4AndIsNotTouched) {
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Sim("add " + bench_ + " other --chip VMC2232 --vid 1234 --pid 5678 --port 2"));
  const std::string before = Sim("show " + bench_ + " other").out;
  const Outcome o = Tessaload("-f -write new.bin");
  EXPECT_EQ(o.out, "\nCheck VID/PID Mismatch!\nGet IC Info Fail\n" + Prompt());
  EXPECT_EQ(o.code, 4);
  EXPECT_NE(Sim("show " + bench_ + " other").out.find("resets 0"), std::string::npos);
}

TEST_F(Factory, AnImageForAnotherChipIsRefusedBeforeTheCodecIsTouched) {
  Must(Image("build --chip VMC2240 --version 9.000.0000-0000.0001 -o " + station_.File("other.bin")));
  const std::string before = Dump();
  const Outcome o = Tessaload("-f -write other.bin");
  EXPECT_NE(o.out.find("Write fw fail!"), std::string::npos) << o.out;
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(Dump(), before);
  EXPECT_NE(Show().find("4.119.0000-0000.0007"), std::string::npos);
}

TEST_F(Factory, PowerLostDuringTheWriteNeverStartsAPartImage) {
  Must(Sim("fault " + bench_ + " c1 disconnect-after=150"));
  Outcome o = Tessaload("-f -write new.bin");
  EXPECT_NE(o.out.find("Write fw fail!"), std::string::npos) << o.out;
  EXPECT_NE(o.code, 0);
  Must(Sim("plug " + bench_ + " c1"));
  const std::string part = Dump().substr(0, station_.Read("new.bin").size());
  EXPECT_NE(part, station_.Read("new.bin"));                // cut off in the middle
  EXPECT_NE(part.find_first_not_of('\xFF'), std::string::npos);  // after some of it was written
  const std::string state = Show();
  EXPECT_NE(state.find("boot ROM update mode"), std::string::npos) << state;  // never the part image
  o = Tessaload("-f -write new.bin");
  EXPECT_EQ(o.code, 0) << o.out;
  EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos);
}

TEST_F(Factory, EraseLeavesTheFlashBlankAndExits0) {
  const Outcome o = Tessaload("-f -erase x.bin");
  EXPECT_EQ(o.out, "\nBegin to Erase!\r\nErase pass!\r\n" + Prompt());
  EXPECT_EQ(o.code, 0);
  const std::string memory = Dump();
  EXPECT_EQ(memory.find_first_not_of('\xFF'), std::string::npos);
}

TEST_F(Factory, BurnResultGetsAHeaderOnceAndARowPerRun) {
  station_.Write("config.ini", "[Quillox Config]\r\nLogType=1\r\n");
  Tessaload("-f -write new.bin");
  Tessaload("-f -verify old.bin");
  const std::string log = station_.Read("burn_result.txt");
  const std::string header =
      "Update date       Update Time       Serial number              Result   ErrCode\r\r\n"
      "================  ================  =========================  =======  =======\r\r\n";
  ASSERT_EQ(log.substr(0, header.size()), header);
  const std::string rows = log.substr(header.size());
  // date and time (36), "Morvane," padded to 27, result padded to 9, status.
  const std::string pass = "Morvane,                   Pass,    0:\r\r\n";
  const std::string fail = "Morvane,                   Fail,    41709:\r\r\n";
  ASSERT_EQ(rows.size(), 36 + pass.size() + 36 + fail.size()) << rows;
  EXPECT_EQ(rows.substr(4, 1), "-");
  EXPECT_EQ(rows.substr(36, pass.size()), pass);
  EXPECT_EQ(rows.substr(36 + pass.size() + 36), fail);
}

TEST_F(Factory, ThePositionOfTheOptionDecidesTheAction) {
  Outcome o = Tessaload("-f new.bin -erase");  // position 2 names the file: a write
  EXPECT_EQ(o.out, "\nBegin to Write fw!\r\nWrite fw pass!\r\n" + Prompt());
  EXPECT_EQ(o.code, 0);

  const std::string before = Dump();
  o = Tessaload("-f -ERASE new.bin");  // not the erase option: a write of a file named -ERASE
  EXPECT_EQ(o.out, "\nBegin to Write fw!\r\nWrite fw fail!\r\n" + Prompt());
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(Dump(), before);  // the missing file stopped it before the codec was touched
}

TEST_F(Factory, AWrongArgumentCountLeavesFailInResultTxt) {
  station_.Write("Result.txt", "earlier pass");
  const Outcome o = Tessaload("-f");
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.code, 1);
  EXPECT_EQ(station_.Read("Result.txt"), "fail");
}

TEST_F(Factory, Family23IsNotRestartedFromTheCommandLine) {
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Image("build --chip VMC2222 --version 3.011.0000-0000.0001 -o " + station_.File("f23.bin")));
  Must(Sim("add " + bench_ + " c23 --chip VMC2222 --port 2"));
  const Outcome o = Tessaload("-f -write f23.bin");
  EXPECT_EQ(o.code, 0) << o.out;
  const std::string state = Sim("show " + bench_ + " c23").out;
  EXPECT_NE(state.find("boot ROM update mode"), std::string::npos) << state;
  Must(Sim("dump " + bench_ + " c23 " + station_.File("m23.bin")));
  const std::string image = station_.Read("f23.bin");
  EXPECT_EQ(station_.Read("m23.bin").substr(0x10000, image.size()), image);  // its bank starts at 0x10000
}

}  // namespace
