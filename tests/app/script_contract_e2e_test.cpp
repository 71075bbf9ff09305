// What a factory script can rely on, case by case through the real programs:
// the exit code, standard output, the reason line on standard error,
// Result.txt, the burn_result.txt row and the codec afterwards. Every case
// starts from the same station, whose Result.txt still holds the previous
// unit's "pass".
#include <filesystem>
#include <functional>
#include <regex>

#include "tests/support/factory_fixture.h"

namespace {

constexpr char kEarlierPass[] = "Begin to Write fw!\r\r\nWrite fw pass!\r\r\nearlier>pass";

// What the codec c1 holds afterwards.
enum class Codec {
  kUntouched,    // not a single transfer
  kUnchanged,    // memory and running firmware as before (it may wait in its boot ROM)
  kNewFirmware,  // runs new.bin
  kNoPartImage,  // boot ROM or the old firmware from unchanged memory, never a part image
  kWholeImage,   // as kNoPartImage, or new.bin complete and running
};

// Result.txt afterwards.
enum class Verdict { kPass, kFail, kEarlier, kNone };

constexpr int kAnyFailure = -2;

class Contract;

struct Case {
  const char* name;
  std::string args;                      // with a leading VAR=value, run in that environment
  std::string config;                    // config.ini, empty for none
  std::function<void(Contract&)> setup;  // files and bench faults
  int code;                              // kAnyFailure: any code but 0
  std::string out;                       // standard output: exact, or with a leading '~' a part of it
  std::string reason;                    // the start of the reason line, empty: none
  Verdict verdict;
  Codec codec;
  std::string warns = "";  // a part of standard error: the warning about a setting
};

class Contract : public Factory {
 public:
  using Factory::Image;
  using Factory::Sim;
  void Arm(const std::string& faults) { Must(Sim("fault " + bench_ + " c1 " + faults)); }
  void File(const std::string& name, const std::string& bytes) { station_.Write(name, bytes); }
  std::string Path(const std::string& name) { return station_.File(name); }

  void Check(const Case& c, const std::string& pristine, const std::string& oldMemory) {
    SCOPED_TRACE(c.name);
    RestoreBench(pristine);
    std::filesystem::remove_all(station_.File("Result.txt"));
    std::filesystem::remove(station_.File("config.ini"));
    std::filesystem::remove(station_.File("burn_result.txt"));
    station_.Write("Result.txt", kEarlierPass);
    if (!c.config.empty()) station_.Write("config.ini", c.config);
    if (c.setup) c.setup(*this);

    // A leading VAR=value is the environment of the run, which takes well
    // under a second unless a lock hangs it.
    const std::size_t blank = c.args.find(' ');
    const bool withEnvironment = c.args.find('=') < blank;
    const Outcome o = withEnvironment
                          ? Run("cd '" + station_.Path() + "' && TESSALOAD_SIM='" + bench_ + "' " +
                                c.args.substr(0, blank) + " timeout 30 ./tessaload " + c.args.substr(blank + 1))
                          : Tessaload(c.args);
    if (c.code == kAnyFailure)
      EXPECT_NE(o.code, 0) << o.out << o.err;
    else
      EXPECT_EQ(o.code, c.code) << o.out << o.err;
    if (c.out.starts_with("~"))
      EXPECT_NE(o.out.find(c.out.substr(1)), std::string::npos) << o.out;
    else
      EXPECT_EQ(o.out, c.out);

    if (!c.warns.empty()) {
      EXPECT_NE(o.err.find("tessaload: warning: setting \"" + c.warns), std::string::npos) << o.err;
    }

    // One reason line, the last line of standard error, only for a failure.
    std::smatch m;
    const bool hasReason = std::regex_search(o.err, m, std::regex("(^|\n)(tessaload: [0-9]+ [^\n]*)\n$"));
    const std::regex anyReason("(^|\n)tessaload: [0-9]+ ");
    const auto reasons = std::distance(std::sregex_iterator(o.err.begin(), o.err.end(), anyReason), {});
    if (c.reason.empty()) {
      EXPECT_EQ(reasons, 0) << o.err;
    } else {
      ASSERT_TRUE(hasReason) << o.err;
      EXPECT_EQ(reasons, 1) << o.err;
      EXPECT_TRUE(m[2].str().starts_with(c.reason)) << m[2].str();
    }
    if (c.reason.find("41540") != std::string::npos) {
      EXPECT_NE(o.err.find("usage: tessaload -f"), std::string::npos) << o.err;
    }

    // Result.txt: the printed lines after the first, stored with CR CR LF, then the verdict.
    const std::string result = std::filesystem::is_regular_file(station_.File("Result.txt"))
                                   ? station_.Read("Result.txt")
                                   : std::string("(none)");
    const std::string printed =
        o.out.empty() ? std::string() : std::regex_replace(o.out.substr(1), std::regex("\n"), "\r\n");
    switch (c.verdict) {
      case Verdict::kPass:
        EXPECT_EQ(result, printed + "pass");
        break;
      case Verdict::kFail:
        EXPECT_EQ(result, printed + "fail");
        break;
      case Verdict::kEarlier:
        EXPECT_EQ(result, kEarlierPass);
        break;
      case Verdict::kNone:
        EXPECT_EQ(result.find("pass"), std::string::npos) << result;
        break;
    }

    // burn_result.txt, when the case logs: one row with the verdict and the status of the reason.
    if (c.config.find("LogType=1") != std::string::npos) {
      const std::string log = station_.Read("burn_result.txt");
      std::smatch row;
      ASSERT_TRUE(std::regex_search(log, row, std::regex("\r\r\n.{36}Morvane, {19}(Pass|Fail), {4}([0-9]+):\r\r\n$")))
          << log;
      EXPECT_EQ(row[1].str(), c.code == 0 ? "Pass" : "Fail");
      EXPECT_EQ(row[2].str(), c.code == 0 ? "0" : m[2].str().substr(11, m[2].str().find(' ', 11) - 11));
    }

    Sim("plug " + bench_ + " c1");  // after a power loss
    const std::string state = Show();
    const std::string memory = Dump();
    switch (c.codec) {
      case Codec::kUntouched:
        EXPECT_EQ(Transfers(), 0) << state;
        EXPECT_EQ(memory, oldMemory);
        break;
      case Codec::kUnchanged:
        EXPECT_EQ(memory, oldMemory);
        break;
      case Codec::kNewFirmware: {
        const std::string image = station_.Read("new.bin");
        EXPECT_NE(state.find("running its firmware"), std::string::npos) << state;
        EXPECT_NE(state.find("4.120.0000-0000.0001"), std::string::npos) << state;
        EXPECT_EQ(memory.substr(0, image.size()), image);
        break;
      }
      case Codec::kWholeImage:
        if (state.find("4.120.0000-0000.0001") != std::string::npos) {
          const std::string image = station_.Read("new.bin");
          EXPECT_EQ(memory.substr(0, image.size()), image) << "a part image runs";
          break;
        }
        [[fallthrough]];
      case Codec::kNoPartImage:
        if (state.find("boot ROM update mode") == std::string::npos) {
          EXPECT_NE(state.find("4.119.0000-0000.0007"), std::string::npos) << state;
          EXPECT_EQ(memory, oldMemory) << "the old firmware runs from changed memory";
        }
        break;
    }
  }
};

std::string Garbage() { return std::string(0x10000, '\x5A'); }

TEST_F(Contract, EveryOutcomeIsTold) {
  const std::string pristine = station_.File("pristine");
  std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
  const std::string oldMemory = Dump();
  const std::string usage = "usage: tessaload -f ";
  const std::string prompt = Prompt();
  const std::string wrote = "\nBegin to Write fw!\r\nWrite fw pass!\r\n" + prompt;
  const std::string writeFailed = "\nBegin to Write fw!\r\nWrite fw fail!\r\n" + prompt;

  const Case cases[] = {
      // The command line.
      {"-f alone", "-f", "", {}, 1, "", "tessaload: 41540 Invalid Parameter!", Verdict::kFail, Codec::kUntouched},
      {"no -f",
       "-write new.bin",
       "",
       {},
       1,
       "",
       "tessaload: 41540 Invalid Parameter!",
       Verdict::kFail,
       Codec::kUntouched},
      {"unquoted blanks",
       "-f -write my new.bin -d 0",
       "",
       {},
       1,
       "",
       "tessaload: 41540 Invalid Parameter!",
       Verdict::kFail,
       Codec::kUntouched},
      {"-d without a number",
       "-f -write new.bin -d",
       "",
       {},
       1,
       "",
       "tessaload: 41540 Invalid Parameter!",
       Verdict::kFail,
       Codec::kUntouched},
      {"a stray word",
       "-f -write new.bin -x 1",
       "",
       {},
       1,
       "",
       "tessaload: 41540 Invalid Parameter!",
       Verdict::kFail,
       Codec::kUntouched},
      {"--help", "--help", "", {}, 0, "~" + usage, "", Verdict::kEarlier, Codec::kUntouched},
      {"-h", "-h", "", {}, 0, "~" + usage, "", Verdict::kEarlier, Codec::kUntouched},
      {"/?", "'/?'", "", {}, 0, "~" + usage, "", Verdict::kEarlier, Codec::kUntouched},
      // Result.txt that cannot be written: refused before the codec is touched.
      {"Result.txt a folder", "-f -write new.bin", "",
       [](Contract& t) {
         std::filesystem::remove(t.Path("Result.txt"));
         std::filesystem::create_directory(t.Path("Result.txt"));
       },
       1, "\n", "tessaload: 41541 Result File Not Writable!", Verdict::kNone, Codec::kUntouched},
      {"Result.txt into a missing folder", "-f -write new.bin", "",
       [](Contract& t) {
         std::filesystem::remove(t.Path("Result.txt"));
         std::filesystem::create_symlink(t.Path("missing/Result.txt"), t.Path("Result.txt"));
       },
       1, "\n", "tessaload: 41541 Result File Not Writable!", Verdict::kNone, Codec::kUntouched},
      // Failures told apart.
      {"missing image",
       "-f -write missing.bin",
       "[Quillox Config]\r\nLogType=1\r\n",
       {},
       1,
       writeFailed,
       "tessaload: 41530 Load File Data Fail!",
       Verdict::kFail,
       Codec::kUnchanged},
      {"not an image", "-f -write garbage.bin", "", [](Contract& t) { t.File("garbage.bin", Garbage()); }, 1,
       writeFailed, "tessaload: 41531 Parse FW File Fail!", Verdict::kFail, Codec::kUnchanged},
      {"image of another chip", "-f -write other.bin", "",
       [](Contract& t) {
         Must(t.Image("build --chip VMC2240 --version 9.000.0000-0000.0001 -o " + t.Path("other.bin")));
       },
       1, writeFailed, "tessaload: 41715 Firmware is not for the device!", Verdict::kFail, Codec::kUnchanged},
      {"erase fails", "-f -write new.bin", "[Quillox Config]\r\nLogType=1\r\n",
       [](Contract& t) { t.Arm("stall=vendor:32"); }, 1, writeFailed, "tessaload: 41705 Erase Flash Fail!",
       Verdict::kFail, Codec::kNoPartImage},
      {"verify mismatch",
       "-f -verify new.bin",
       "",
       {},
       1,
       "\nBegin to Verify fw!\r\nVerify fw fail!\r\n" + prompt,
       "tessaload: 41709 Compare Data Fail!",
       Verdict::kFail,
       Codec::kUnchanged},
      {"power lost", "-f -write new.bin", "", [](Contract& t) { t.Arm("disconnect-after=120"); }, kAnyFailure,
       "~Write fw fail!\r\n", "tessaload: ", Verdict::kFail, Codec::kNoPartImage},
      {"dump into a folder", "-f -dumpspi dumpdir", "",
       [](Contract& t) { std::filesystem::create_directory(t.Path("dumpdir")); }, 1,
       "\nBegin to Dump SPI!\r\nDump SPI fail!\r\n" + prompt, "tessaload: 41536 Save File Fail!", Verdict::kFail,
       Codec::kUnchanged},
      {"detect of a missing image",
       "-f -detect missing.bin",
       "",
       {},
       1,
       "\n" + prompt,
       "tessaload: 41530 Load File Data Fail!",
       Verdict::kFail,
       Codec::kUnchanged},
      // A signal mid-job: the job stops at its next safe point.
      {"SIGINT before the erase", "-f -write new.bin", "", [](Contract& t) { t.Arm("interrupt-after=60"); },
       kAnyFailure, "~Write fw fail!\r\n", "tessaload: ", Verdict::kFail, Codec::kNoPartImage},
      {"SIGINT mid-write", "-f -write new.bin", "[Quillox Config]\r\nLogType=1\r\n",
       [](Contract& t) { t.Arm("interrupt-after=125"); }, kAnyFailure, "~Write fw fail!\r\n",
       "tessaload: ", Verdict::kFail, Codec::kNoPartImage},
      // Past the last safe point of the job (it has about 186 transfers): a stop request
      // still never ends in a pass.
      {"SIGINT near the end", "-f -write new.bin", "", [](Contract& t) { t.Arm("interrupt-after=150"); }, kAnyFailure,
       "~Write fw fail!\r\n", "tessaload: ", Verdict::kFail, Codec::kWholeImage},
      // Settings: warned about, made safe, and the job still right.
      {"Wait Time=-1",
       "-f -write new.bin",
       "[Quillox Config]\r\nWait Time=-1\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware,
       "Wait Time=-1\" is negative"},
      {"Wait Time=2147483647",
       "-f -write new.bin",
       "[Quillox Config]\r\nWait Time=2147483647\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware,
       "Wait Time=2147483647\" is out of range"},
      {"EraseCommandTime=-1",
       "-f -write new.bin",
       "[Quillox Config]\r\nEraseCommandTime=-1\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware,
       "EraseCommandTime=-1\" is negative"},
      {"LogType = 1",
       "-f -write new.bin",
       "[Quillox Config]\r\nLogType = 1\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware,
       "LogType \" has blanks around its name"},
      {"EraseTimeOut=1",
       "-f -write new.bin",
       "[Quillox Config]\r\nEraseTimeOut=1\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware,
       "EraseTimeOut=1\" is out of range"},
      {"EraseTimeOut=abc",
       "-f -write new.bin",
       "[Quillox Config]\r\nEraseTimeOut=abc\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware,
       "EraseTimeOut=abc\" is not a number"},
      // Transient failures get their retries.
      {"one stalled status query", "-f -write new.bin", "", [](Contract& t) { t.Arm("stall=vendor:07*1"); }, 0, wrote,
       "", Verdict::kPass, Codec::kNewFirmware},
      {"one stalled status query while opening", "-f -version x", "", [](Contract& t) { t.Arm("stall=vendor:07*1"); },
       0, "\nBegin to Get FW Ver!\r\nCurrent FW Version: 4.119.0000-0000.0007!\r\n" + prompt, "", Verdict::kFail,
       Codec::kUnchanged},
      {"one stalled memory read", "-f -write new.bin", "", [](Contract& t) { t.Arm("stall=vendor:25*1"); }, 0, wrote,
       "", Verdict::kPass, Codec::kNewFirmware},
      {"one stalled update reset", "-f -write new.bin", "", [](Contract& t) { t.Arm("stall=vendor:20*1"); }, 0, wrote,
       "", Verdict::kPass, Codec::kNewFirmware},
      {"one stalled reset to the new code", "-f -write new.bin", "", [](Contract& t) { t.Arm("stall=vendor:22*1"); },
       0, wrote, "", Verdict::kPass, Codec::kNewFirmware},
      {"an update reset that always stalls", "-f -write new.bin", "", [](Contract& t) { t.Arm("stall=vendor:20"); },
       1, writeFailed, "tessaload: 41512 Reset Device Fail!", Verdict::kFail, Codec::kUnchanged},
      // The lock folder of another user's session does not hang the start.
      {"XDG_RUNTIME_DIR a file", "XDG_RUNTIME_DIR=runtime -f -write new.bin", "",
       [](Contract& t) { t.File("runtime", "x"); }, 0, wrote, "", Verdict::kPass, Codec::kNewFirmware},
      {"a successful write",
       "-f -write new.bin",
       "[Quillox Config]\r\nLogType=1\r\n",
       {},
       0,
       wrote,
       "",
       Verdict::kPass,
       Codec::kNewFirmware},
  };
  for (const Case& c : cases) Check(c, pristine, oldMemory);
}

// Selection: "-d N" names one codec, the identity rule follows
// "CheckVIDPID_INI", and the codec's own identity is what gets recorded.
class Selection : public Factory {
 protected:
  std::string VersionOf(const std::string& name) {
    std::smatch m;
    const std::string state = Sim("show " + bench_ + " " + name).out;
    return std::regex_search(state, m, std::regex("version +([0-9A-F.-]+)")) ? m[1].str() : state;
  }
  int TransfersOf(const std::string& name) {
    std::smatch m;
    const std::string state = Sim("show " + bench_ + " " + name).out;
    return std::regex_search(state, m, std::regex("transfers +([0-9]+)")) ? std::stoi(m[1]) : -1;
  }
  static std::string LastLine(const std::string& err) {
    const std::size_t end = err.find_last_not_of('\n');
    if (end == std::string::npos) return {};
    return err.substr(err.rfind('\n', end) + 1, end - err.rfind('\n', end));
  }
};

TEST_F(Selection, MinusDNamesOneCodecUnderEverySetting) {
  Must(Sim("add " + bench_ + " c2 --chip VMC2232 --port 2 --firmware " + station_.File("old.bin")));
  for (const char* config : {"", "[Quillox Config]\r\nCheckVIDPID_INI=0\r\n"}) {
    SCOPED_TRACE(config);
    Must(Sim("fault " + bench_ + " c1 clear"));
    station_.Write("config.ini", config);
    Must(Image("build --chip VMC2232 --version 4.119.0000-0000.0007 -o " + station_.File("back.bin")));
    Tessaload("-f -write back.bin -d 0");
    Tessaload("-f -write back.bin -d 1");
    ASSERT_EQ(VersionOf("c1"), "4.119.0000-0000.0007");
    ASSERT_EQ(VersionOf("c2"), "4.119.0000-0000.0007");

    Outcome o = Tessaload("-f -write new.bin -d 1");
    EXPECT_EQ(o.code, 0) << o.out << o.err;
    EXPECT_EQ(VersionOf("c2"), "4.120.0000-0000.0001");
    EXPECT_EQ(VersionOf("c1"), "4.119.0000-0000.0007");

    // A position without a codec is refused; the codecs that are there stay as they were.
    const int c1Before = TransfersOf("c1"), c2Before = TransfersOf("c2");
    o = Tessaload("-f -write new.bin -d 2");
    EXPECT_EQ(o.code, 4) << o.out << o.err;
    EXPECT_TRUE(LastLine(o.err).starts_with("tessaload: 41511 Detect Device Fail! (no codec at position 2")) << o.err;
    EXPECT_TRUE(station_.Read("Result.txt").ends_with("fail"));
    EXPECT_EQ(VersionOf("c1"), "4.119.0000-0000.0007");
    EXPECT_EQ(VersionOf("c2"), "4.120.0000-0000.0001");
    EXPECT_LE(TransfersOf("c1") - c1Before, 20);  // identified, never programmed
    EXPECT_LE(TransfersOf("c2") - c2Before, 20);
    Tessaload("-f -write back.bin -d 1");
  }
}

TEST_F(Selection, CheckVidPidIniDecidesWhichIdentitiesAreProgrammed) {
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Sim("add " + bench_ + " listed --chip VMC2232 --vid 3c5a --pid 2232 --rev 0101 --port 3 --firmware " +
           station_.File("old.bin")));
  // 2: the file VidPidList.ini beside the program, whose entries name VID, PID and REV.
  station_.Write("config.ini", "[Quillox Config]\r\nCheckVIDPID_INI=2\r\n");
  Outcome o = Tessaload("-f -write new.bin");
  EXPECT_EQ(o.code, 4) << o.out << o.err;
  EXPECT_NE(o.err.find("VidPidList.ini does not exist"), std::string::npos) << o.err;
  EXPECT_TRUE(LastLine(o.err).starts_with("tessaload: 41714 The Vid/Pid does not Match!")) << o.err;
  station_.Write("VidPidList.ini", "VID_3C5A&PID_2232&REV_0102\r\n");
  EXPECT_EQ(Tessaload("-f -write new.bin").code, 4);
  EXPECT_EQ(VersionOf("listed"), "4.119.0000-0000.0007");
  station_.Write("VidPidList.ini", "VID_3C5A&PID_2232&REV_0102\r\n  VID_3C5A&PID_2232&REV_0101  \r\n");
  o = Tessaload("-f -write new.bin");
  EXPECT_EQ(o.code, 0) << o.out << o.err;
  EXPECT_EQ(VersionOf("listed"), "4.120.0000-0000.0001");

  // 0: no list, but never a codec of another vendor.
  Must(Sim("unplug " + bench_ + " listed"));
  Must(Sim("add " + bench_ + " foreign --chip VMC2232 --vid 1234 --pid 5678 --port 4 --firmware " +
           station_.File("old.bin")));
  station_.Write("config.ini", "[Quillox Config]\r\nCheckVIDPID_INI=0\r\n");
  o = Tessaload("-f -write new.bin");
  EXPECT_EQ(o.code, 4) << o.out << o.err;
  EXPECT_TRUE(LastLine(o.err).starts_with("tessaload: 41714 The Vid/Pid does not Match!")) << o.err;
  EXPECT_EQ(VersionOf("foreign"), "4.119.0000-0000.0007");
  EXPECT_NE(Sim("show " + bench_ + " foreign").out.find("resets 0"), std::string::npos);
}

TEST_F(Selection, WithLibType1TheSerialNumberIsTheProgrammedCodecsOwn) {
  // Two codecs on the same hub: the hub walk lists c1 first.
  Must(Sim("add " + bench_ + " c2 --chip VMC2232 --port 2 --manufacturer Beta --serial SN-OF-C2 --firmware " +
           station_.File("old.bin")));
  station_.Write("config.ini", "[Quillox Config]\r\nLib Type=1\r\nLogType=1\r\nSaveSN=1\r\nSN Address=1\r\n");
  const Outcome o = Tessaload("-f -write new.bin -d 1");
  EXPECT_EQ(o.code, 0) << o.out << o.err;
  EXPECT_EQ(VersionOf("c2"), "4.120.0000-0000.0001");
  const std::string log = station_.Read("burn_result.txt");
  EXPECT_NE(log.find("Beta,"), std::string::npos) << log;
  EXPECT_EQ(log.find("Morvane,"), std::string::npos) << log;
  Must(Sim("dump " + bench_ + " c2 " + station_.File("c2.bin")));
  std::string utf16;
  for (char c : std::string("SN-OF-C2")) utf16 += std::string{c, '\0'};
  const std::string memory = station_.Read("c2.bin");
  EXPECT_TRUE(memory.find("SN-OF-C2") != std::string::npos || memory.find(utf16) != std::string::npos);
}

}  // namespace
