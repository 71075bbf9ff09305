// What cannot work is refused before the codec is touched, as a factory script
// sees it: hand-made mutations of a real image written with the real
// tessaload, then the codec's memory and what it starts after a power cycle;
// actions each memory can or cannot do; codecs that answer one channel only.
#include <functional>

#include "tests/support/factory_fixture.h"

namespace {

using Mutation = std::function<void(std::string&)>;

class Guard : public Factory {
 protected:
  // Power off and on: what the codec starts then.
  std::string PowerCycle(const std::string& name = "c1") {
    Must(Sim("unplug " + bench_ + " " + name));
    Must(Sim("plug " + bench_ + " " + name));
    return Sim("show " + bench_ + " " + name).out;
  }
  std::string Memory(const std::string& name) {
    Must(Sim("dump " + bench_ + " " + name + " " + station_.File("memory.bin")));
    return station_.Read("memory.bin");
  }
  // Writes the mutated image with `option`; the run must fail, leave the
  // memory as it was and the old firmware starting.
  void ExpectRefused(const char* what, const std::string& image, const std::string& option = "-write",
                     const std::string& codec = "c1", const std::string& running = "4.119.0000-0000.0007") {
    SCOPED_TRACE(what);
    const std::string before = Memory(codec);
    station_.Write("bad.bin", image);
    const Outcome o = Tessaload("-f " + option + " bad.bin");
    EXPECT_NE(o.code, 0) << o.out;
    EXPECT_NE(o.out.find(" fw fail!"), std::string::npos) << o.out;
    EXPECT_TRUE(station_.Read("Result.txt").ends_with("fail"));
    EXPECT_EQ(Memory(codec), before);
    const std::string state = PowerCycle(codec);
    EXPECT_NE(state.find("running its firmware"), std::string::npos) << state;
    EXPECT_NE(state.find(running), std::string::npos) << state;
  }
};

constexpr std::size_t kArea = 0xF000;  // of the VMC2232's images

TEST_F(Guard, AFlashImageThatCannotWorkIsNeverWritten) {
  const std::string good = station_.Read("new.bin");
  const struct {
    const char* name;
    Mutation change;
  } cases[] = {
      {"zero length", [](std::string& i) { i.clear(); }},
      {"the configuration header alone", [](std::string& i) { i = i.substr(kArea, 6); }},
      {"cut inside the configuration area", [](std::string& i) { i.resize(kArea + 0x40); }},
      {"a record length running past the area", [](std::string& i) { i[kArea + 18] = char(0xF0); }},
      {"record count 0xFF", [](std::string& i) { i[kArea + 5] = char(0xFF); }},
      {"total length 0xFFFF", [](std::string& i) { i[kArea + 3] = i[kArea + 4] = char(0xFF); }},
      {"an unknown storage kind", [](std::string& i) { i[kArea] = char(0x77); }},
      {"first code byte 0x00", [](std::string& i) { i[0] = 0; }},
      {"a blank code area", [](std::string& i) { std::fill(i.begin(), i.begin() + kArea, char(0xFF)); }},
      {"600 KiB into a 512 KiB flash", [](std::string& i) { i.resize(600 * 1024, char(0xFF)); }},
      {"another chip family", [](std::string& i) { i[kArea + 2] = char((25 << 3) | 2); }},
      {"an EEPROM's storage kind", [](std::string& i) { i[kArea] = char(0x11); }},
  };
  for (const auto& c : cases) {
    std::string image = good;
    c.change(image);
    ExpectRefused(c.name, image);
  }
  // A verify compares a whole image: a file that is not one never passes.
  Must(Tessaload("-f -write new.bin"));
  ExpectRefused("verify of one byte", good.substr(0, 1), "-verify", "c1", "4.120.0000-0000.0001");
  ExpectRefused("verify of the code without its area", good.substr(0, kArea), "-verify", "c1",
                "4.120.0000-0000.0001");
}

TEST_F(Guard, ImagesLargerThanTheirMemoryAreRefused) {
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Image("build --chip VMC2232 --memory nor --version 4.119.0000-0000.0007 -o " + station_.File("nor.bin")));
  Must(Sim("add " + bench_ + " n --chip VMC2232 --memory nor --port 2 --firmware " + station_.File("nor.bin")));
  std::string nor = station_.Read("nor.bin");
  nor.resize(0x20000, char(0xFF));
  ExpectRefused("128 KiB into a 64 KiB NOR", nor, "-write", "n");

  Must(Sim("unplug " + bench_ + " n"));
  Must(Image("build --chip VMC2210 --memory eeprom8 --version 1.000.0000-0000.0004 -o " + station_.File("e8.bin")));
  Must(Sim("add " + bench_ + " e --chip VMC2210 --memory eeprom8 --port 3 --firmware " + station_.File("e8.bin")));
  std::string eeprom = station_.Read("e8.bin");
  ExpectRefused("zero length into an 8-bit EEPROM", "", "-write", "e", "1.000.0000-0000.0004");
  ExpectRefused("its header alone", eeprom.substr(0, 6), "-write", "e", "1.000.0000-0000.0004");
  eeprom.resize(0x801, char(0xFF));
  ExpectRefused("2 KiB and a byte into a 2 KiB EEPROM", eeprom, "-write", "e", "1.000.0000-0000.0004");
}

TEST_F(Guard, DumpAndEraseWorkOnTheMemoryTheCodecHas) {
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Image("build --chip VMC2210 --memory eeprom8 --version 1.000.0000-0000.0004 -o " + station_.File("e8.bin")));
  Must(Sim("add " + bench_ + " e --chip VMC2210 --memory eeprom8 --port 2 --firmware " + station_.File("e8.bin")));
  Outcome o = Tessaload("-f -dumpspi dump.bin");
  EXPECT_EQ(o.code, 0) << o.out;
  EXPECT_EQ(station_.Read("dump.bin"), Memory("e"));  // the EEPROM's 2 KiB, once
  EXPECT_EQ(station_.Read("dump.bin").size(), 0x800u);
  o = Tessaload("-f -erase x");
  EXPECT_EQ(o.code, 0) << o.out;
  EXPECT_NE(Memory("e"), station_.Read("dump.bin"));
  EXPECT_NE(PowerCycle("e").find("boot ROM update mode"), std::string::npos);  // nothing left to start

  Must(Sim("unplug " + bench_ + " e"));
  Must(Image("build --chip VMC2232 --memory otp --version 4.120.0000-0000.0003 -o " + station_.File("otp.bin")));
  Must(Sim("add " + bench_ + " o --chip VMC2232 --memory otp --port 3"));
  Must(Tessaload("-f -write otp.bin"));
  const std::string otp = Memory("o");
  o = Tessaload("-f -dumpspi dump.bin");
  EXPECT_EQ(o.code, 0) << o.out;
  EXPECT_EQ(station_.Read("dump.bin"), otp);
  // An OTP is not erased, and holds blocks rather than the file's bytes.
  for (const char* refused : {"-erase x", "-verify otp.bin"}) {
    o = Tessaload(std::string("-f ") + refused);
    EXPECT_EQ(o.code, 1) << refused << o.out;
    EXPECT_EQ(Memory("o"), otp) << refused;
  }
  EXPECT_NE(PowerCycle("o").find("4.120.0000-0000.0003"), std::string::npos);
}

TEST_F(Guard, ACodecWorksOnTheOneChannelItAnswers) {
  for (const char* channels : {"xu", "vendor"}) {
    SCOPED_TRACE(channels);
    Must(Sim("unplug " + bench_ + " c1"));
    const std::string name = std::string("c") + channels;
    Must(Sim("add " + bench_ + " " + name + " --chip VMC2232 --port " + (channels[0] == 'x' ? "2" : "3") +
             " --channels " + channels + " --firmware " + station_.File("old.bin")));
    Outcome o = Tessaload("-f -write new.bin");
    EXPECT_EQ(o.code, 0) << o.out;
    EXPECT_NE(Sim("show " + bench_ + " " + name).out.find("4.120.0000-0000.0001"), std::string::npos);
    o = Tessaload("-f -verify new.bin");
    EXPECT_EQ(o.code, 0) << o.out;
    o = Tessaload("-f -verify old.bin");
    EXPECT_EQ(o.code, 1) << o.out;
    Must(Sim("unplug " + bench_ + " " + name));
    Must(Sim("plug " + bench_ + " c1"));
  }
  // Its OTP is reached only through the extension unit: a codec that answers
  // vendor requests alone is refused, and not even reset.
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Image("build --chip VMC2232 --memory otp --version 4.120.0000-0000.0003 -o " + station_.File("otp.bin")));
  Must(Sim("add " + bench_ + " ov --chip VMC2232 --memory otp --port 4 --channels vendor"));
  station_.Write("config.ini", "[Quillox Config]\r\nLogType=1\r\n");
  const Outcome o = Tessaload("-f -write otp.bin");
  EXPECT_EQ(o.code, 1) << o.out;
  EXPECT_TRUE(station_.Read("burn_result.txt").ends_with("41500:\r\r\n")) << "Not Support!";
  EXPECT_NE(Sim("show " + bench_ + " ov").out.find("resets 0"), std::string::npos);
  EXPECT_EQ(Memory("ov"), std::string(0x4000, '\0'));
}

}  // namespace
