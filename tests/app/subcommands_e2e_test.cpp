// The subcommands through the real program on simulated benches: every
// subcommand on every memory type, the choice of a codec by port and by
// serial, progress on a terminal and not on a pipe, and the JSON Lines a
// supervisor reads, each field checked against the bench afterwards (its
// memory, and the version the codec starts after a power cycle).
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "app/status_codes.h"
#include "image/sha256.h"
#include "tests/support/factory_fixture.h"

namespace {

using Json = nlohmann::json;

constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kNew[] = "4.120.0000-0000.0001";

struct CodecSpec {
  std::string name, memory, port, serial;
};

// The JSON Lines of one run: every line an object of schema 1 with an event,
// exactly one result, and that one last.
std::vector<Json> JsonLines(const std::string& out) {
  std::vector<Json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    Json j = Json::parse(line, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << line;
    if (j.is_discarded()) continue;
    EXPECT_EQ(j.value("schema", 0), 1) << line;
    EXPECT_TRUE(j.contains("event")) << line;
    lines.push_back(j);
  }
  int results = 0;
  for (const Json& j : lines) results += j.value("event", "") == "result";
  EXPECT_EQ(results, lines.empty() || lines.front().value("event", "") == "codec" ? 0 : 1) << out;
  if (results == 1) {
    EXPECT_EQ(lines.back()["event"], "result") << out;
  }
  return lines;
}

class Subcommands : public Factory {
 protected:
  // A bench of its own in the station; `old` images go onto the codecs
  // (through the factory form for OTP, whose blocks only it lays out).
  void MakeBench(const std::string& name, const std::vector<CodecSpec>& codecs) {
    bench_ = station_.File(name);
    Must(Sim("create " + bench_));
    for (const CodecSpec& c : codecs) {
      BuildImages(c.memory);
      const bool otp = c.memory == "otp";
      Must(Sim("add " + bench_ + " " + c.name + " --chip VMC2232 --memory " + c.memory + " --port " + c.port +
               " --serial " + c.serial + (otp ? "" : " --firmware " + station_.File(OldImage(c.memory)))));
      if (otp) Must(Tessaload("write " + OldImage(c.memory) + " --port " + c.port));
    }
  }
  void BuildImages(const std::string& memory) {
    if (std::filesystem::exists(station_.File(NewImage(memory)))) return;
    for (const char* v : {kOld, kNew})
      Must(Image("build --chip VMC2232 --memory " + memory + " --version " + v + " -o " +
                 station_.File((v == kOld ? OldImage(memory) : NewImage(memory)))));
  }
  static std::string OldImage(const std::string& memory) { return "old-" + memory + ".bin"; }
  static std::string NewImage(const std::string& memory) { return "new-" + memory + ".bin"; }

  std::string ShowOf(const std::string& codec) { return Sim("show " + bench_ + " " + codec).out; }
  std::string DumpOf(const std::string& codec) {
    Must(Sim("dump " + bench_ + " " + codec + " " + station_.File("memory.bin")));
    return station_.Read("memory.bin");
  }
  // The codec once its power was cut and given back.
  std::string PowerCycled(const std::string& codec) {
    Must(Sim("unplug " + bench_ + " " + codec));
    Must(Sim("plug " + bench_ + " " + codec));
    return ShowOf(codec);
  }
  static std::string Field(const std::string& show, const char* pattern) {
    std::smatch m;
    return std::regex_search(show, m, std::regex(pattern)) ? m[1].str() : std::string();
  }
  static std::string VersionIn(const std::string& show) { return Field(show, "version +([^ \n]+)"); }
  static int FamilyIn(const std::string& show) { return std::stoi(Field(show, "\\(family ([0-9]+)\\)")); }
  std::string Sha256Of(const std::string& file) {
    const std::string bytes = station_.Read(file);
    return Sha256Hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  }
  void Save(const std::string& copy) {
    std::filesystem::remove_all(station_.File(copy));
    std::filesystem::copy(bench_, station_.File(copy), std::filesystem::copy_options::recursive);
  }
  void Restore(const std::string& copy) { RestoreBench(station_.File(copy)); }

  // The result event's fields that describe the codec, against the bench.
  void ExpectCodecFields(const Json& r, const std::string& codec, const std::string& port, const std::string& serial,
                         const std::string& memory, const std::string& versionBefore, const std::string& showBefore) {
    EXPECT_EQ(r["port"], port);
    EXPECT_EQ(r["serial"], serial);
    EXPECT_EQ(r["chip"], Field(showBefore, "chip +([A-Z0-9]+)"));
    EXPECT_EQ(r["family"], FamilyIn(showBefore));
    EXPECT_EQ(r["memory"], memory) << codec;
    EXPECT_EQ(r["version_before"], versionBefore);
  }
};

// What a case leaves in the codec, seen after a power cycle.
enum class After { kUnchanged, kNewImage, kErased };

struct JobCase {
  const char* args;  // {old}, {new} and {read}: the memory's files
  int code;          // flash and EEPROM
  int otpCode;
  After after;
  After otpAfter;
  int status = 0;  // the flash and EEPROM status when it fails
};

std::string Expand(std::string args, const std::string& memory) {
  for (auto [key, value] : {std::pair<std::string, std::string>{"{old}", "old-" + memory + ".bin"},
                            {"{new}", "new-" + memory + ".bin"},
                            {"{read}", "read-" + memory + ".bin"}}) {
    if (const auto at = args.find(key); at != std::string::npos) args.replace(at, key.size(), value);
  }
  return args;
}

TEST_F(Subcommands, EverySubcommandOnEveryMemoryTellsWhatTheCodecHolds) {
  const JobCase cases[] = {
      {"version", 0, 0, After::kUnchanged, After::kUnchanged},
      {"write {new}", 0, 0, After::kNewImage, After::kNewImage},
      {"verify {old}", 0, 1, After::kUnchanged, After::kUnchanged},
      {"verify {new}", 1, 1, After::kUnchanged, After::kUnchanged, kStsCompareDataFail},
      {"read {read}", 0, 0, After::kUnchanged, After::kUnchanged},
      {"erase", 0, 1, After::kErased, After::kUnchanged},
      {"detect {new}", 1, 0, After::kUnchanged, After::kUnchanged},
  };
  const std::pair<const char*, const char*> memories[] = {
      {"spi", "SPI flash"}, {"nor", "SPI flash"}, {"eeprom8", "EEPROM 8-bit"}, {"eeprom16", "EEPROM 16-bit"},
      {"otp", "OTP"}};
  for (const auto& [memory, memoryName] : memories) {
    const std::string m = memory;
    MakeBench("bench-" + m, {{"c1", m, "1-2", "S1"}});
    Save("pristine-" + m);
    const std::string oldMemory = DumpOf("c1");
    const std::string showBefore = ShowOf("c1");
    const bool otp = m == "otp";
    for (const JobCase& c : cases) {
      const std::string args = Expand(c.args, m);
      SCOPED_TRACE(m + ": " + args);
      Restore("pristine-" + m);
      const std::string action = args.substr(0, args.find(' '));
      const std::string file = args.find(' ') == std::string::npos ? "" : args.substr(args.find(' ') + 1);
      const Outcome o = Tessaload(args + " --port 1-2 --json --no-burn-result");
      const int code = otp ? c.otpCode : c.code;
      EXPECT_EQ(o.code, code) << o.out << o.err;
      const std::vector<Json> lines = JsonLines(o.out);
      ASSERT_FALSE(lines.empty());
      const Json& r = lines.back();

      // The state after a power cycle is the truth the result must tell.
      const std::string showAfter = PowerCycled("c1");
      const std::string memoryAfter = DumpOf("c1");
      const After after = otp ? c.otpAfter : c.after;
      switch (after) {
        case After::kUnchanged:
          EXPECT_EQ(memoryAfter, oldMemory);
          EXPECT_EQ(VersionIn(showAfter), kOld);
          break;
        case After::kNewImage: {
          EXPECT_NE(showAfter.find("running its firmware"), std::string::npos) << showAfter;
          EXPECT_EQ(VersionIn(showAfter), kNew);
          const std::string image = station_.Read(NewImage(m));
          if (!otp) {
            EXPECT_EQ(memoryAfter.substr(0, image.size()), image);
          }
          break;
        }
        case After::kErased:
          EXPECT_NE(showAfter.find("boot ROM update mode"), std::string::npos) << showAfter;
          // The 8-bit EEPROM's erase clears the first 64 bytes, which is what stops its image from starting.
          EXPECT_EQ(memoryAfter.substr(0, m == "eeprom8" ? 64 : std::string::npos).find_first_not_of('\xFF'),
                    std::string::npos)
              << "erased memory holds data";
          break;
      }

      EXPECT_EQ(r["action"], action);
      ExpectCodecFields(r, "c1", "1-2", "S1", memoryName, kOld, showBefore);
      const bool changes = action == "write" || action == "erase";
      EXPECT_EQ(r["version_after"], changes ? VersionIn(showAfter) : "");
      EXPECT_EQ(r["file"], code == 0 || action != "read" ? file : "");
      if (action == "read" && code == 0) {
        const std::string read = station_.Read(file);
        ASSERT_FALSE(read.empty());
        EXPECT_EQ(read, oldMemory.substr(0, read.size())) << "the read file holds the codec's memory";
      }
      EXPECT_EQ(r["sha256"], r["file"] == "" ? "" : Sha256Of(file));
      EXPECT_EQ(r["exit_code"], o.code);
      EXPECT_EQ(r["pass"], o.code == 0);
      EXPECT_EQ(ExitCodeForStatus(r["status"].get<int>()), o.code);
      if (!otp && c.status) {
        EXPECT_EQ(r["status"], c.status);
      }
      EXPECT_EQ(r["status_text"], StatusText(r["status"].get<int>()));
      EXPECT_GT(r["duration_ms"].get<int>(), 0);
      EXPECT_TRUE(r["phases"].is_array());

      // Every event of the job names the codec; a write shows its phases and progress up to 100.
      int phases = 0, lastPercent = -1;
      for (const Json& j : lines) {
        EXPECT_EQ(j["port"], "1-2");
        EXPECT_EQ(j["serial"], "S1");
        if (j["event"] == "phase") {
          ++phases;
          EXPECT_FALSE(j["name"].get<std::string>().empty());
          EXPECT_EQ(j["text"], StatusText(j["code"].get<int>()));
        }
        if (j["event"] == "progress") {
          lastPercent = j["percent"];
          EXPECT_LE(lastPercent, 100);
        }
      }
      if (action == "write") {
        EXPECT_GT(phases, 0);
        EXPECT_EQ(lastPercent, 100);
      }
    }
  }
}

struct SelectionCase {
  const char* name;
  int codecs;  // 0: an empty bench, 1: c1 alone, 2: c1 and c2
  const char* args;
  int code;
  int status;
  const char* written;  // the codec that runs the new image afterwards, "" for none
};

TEST_F(Subcommands, ACodecIsChosenByPortOrSerialAndNeverGuessed) {
  const std::vector<CodecSpec> both = {{"c1", "spi", "1-2", "S1"}, {"c2", "eeprom8", "1-3.2", "S2"}};
  MakeBench("bench-two", both);
  Save("two");
  MakeBench("bench-one", {both[0]});
  Save("one");
  MakeBench("bench-none", {});
  Save("none");
  const SelectionCase cases[] = {
      {"no codec", 0, "write new-spi.bin", 4, kStsDetectDeviceFail, ""},
      {"no codec, a port", 0, "write new-spi.bin --port 1-2", 4, kStsDetectDeviceFail, ""},
      {"one codec, no choice", 1, "write new-spi.bin", 0, 0, "c1"},
      {"two codecs, no choice", 2, "write new-spi.bin", 1, kStsInvalidParameter, ""},
      {"two codecs, by port", 2, "write new-spi.bin --port 1-2", 0, 0, "c1"},
      {"two codecs, by port on a hub", 2, "write new-eeprom8.bin --port 1-3.2", 0, 0, "c2"},
      {"two codecs, by serial", 2, "write new-eeprom8.bin --serial S2", 0, 0, "c2"},
      {"a port with no codec", 2, "write new-spi.bin --port 1-4", 4, kStsDetectDeviceFail, ""},
      {"a port above a codec", 2, "write new-spi.bin --port 1-3", 4, kStsDetectDeviceFail, ""},
      {"an unknown serial", 2, "write new-spi.bin --serial S9", 4, kStsDetectDeviceFail, ""},
      {"port and serial of two codecs", 2, "write new-spi.bin --port 1-2 --serial S2", 1, kStsInvalidParameter, ""},
  };
  for (const SelectionCase& c : cases) {
    SCOPED_TRACE(c.name);
    const char* copies[] = {"none", "one", "two"};
    Restore(copies[c.codecs]);
    std::vector<std::string> before;
    for (int i = 0; i < c.codecs; ++i) before.push_back(DumpOf(both[std::size_t(i)].name));
    const Outcome o = Tessaload(std::string(c.args) + " --json");
    EXPECT_EQ(o.code, c.code) << o.out << o.err;
    const std::vector<Json> lines = JsonLines(o.out);
    ASSERT_FALSE(lines.empty());
    const Json& r = lines.back();
    EXPECT_EQ(r["status"], c.status);
    EXPECT_EQ(r["exit_code"], c.code);
    if (c.name == std::string("two codecs, no choice")) {
      // Refused with the list of the codecs to choose from.
      EXPECT_NE(o.err.find("1-2 "), std::string::npos) << o.err;
      EXPECT_NE(o.err.find("1-3.2 "), std::string::npos) << o.err;
    }
    if (*c.written == 0) {
      EXPECT_EQ(r["port"], "");
      EXPECT_EQ(r["family"], -1);
    }
    for (int i = 0; i < c.codecs; ++i) {
      const CodecSpec& spec = both[std::size_t(i)];
      SCOPED_TRACE(spec.name);
      const std::string show = PowerCycled(spec.name);
      if (spec.name == c.written) {
        EXPECT_EQ(VersionIn(show), kNew);
        EXPECT_EQ(r["port"], spec.port);
        EXPECT_EQ(r["serial"], spec.serial);
      } else {
        EXPECT_EQ(VersionIn(show), kOld);
        EXPECT_EQ(DumpOf(spec.name), before[std::size_t(i)]) << "a codec that was not chosen was changed";
      }
    }
  }
}

TEST_F(Subcommands, ListShowsEveryCodecInBothModes) {
  MakeBench("bench-list", {{"c1", "spi", "1-2", "S1"}, {"c2", "eeprom8", "1-3.2", "S2"}, {"c3", "otp", "2-1", "S3"}});
  Must(Sim("add " + bench_ + " c4 --chip VMC2232 --port 1-5 --serial S4"));  // blank flash: in its boot ROM
  Must(Sim("add " + bench_ + " other --chip VMC2232 --vid 1234 --port 1-6"));  // not an accepted identity
  const Outcome text = Tessaload("list");
  EXPECT_EQ(text.code, 0) << text.err;
  const Outcome o = Tessaload("list --json");
  EXPECT_EQ(o.code, 0) << o.err;
  const std::vector<Json> lines = JsonLines(o.out);
  ASSERT_EQ(lines.size(), 4u) << o.out;
  const std::map<std::string, std::pair<const char*, const char*>> expected = {
      {"c1", {"SPI flash", "firmware"}}, {"c2", {"EEPROM 8-bit", "firmware"}}, {"c3", {"OTP", "firmware"}},
      {"c4", {"SPI flash", "rom"}}};
  std::size_t i = 0;
  for (const auto& [name, facts] : expected) {
    SCOPED_TRACE(name);
    const Json& j = lines[i++];
    const std::string show = ShowOf(name);
    EXPECT_EQ(j["event"], "codec");
    EXPECT_EQ(j["port"], Field(show, "port +([0-9.-]+)"));
    EXPECT_EQ(j["vid"], "3c5a");
    EXPECT_EQ(j["pid"], "2232");
    EXPECT_EQ(j["rev"], "0100");
    EXPECT_EQ(j["mode"], facts.second);
    EXPECT_EQ(j["chip"], "VMC2232");
    EXPECT_EQ(j["family"], FamilyIn(show));
    EXPECT_EQ(j["memory"], facts.first);
    EXPECT_EQ(j["manufacturer"], "Morvane");
    EXPECT_EQ(j["serial"], Field(show, "serial \"([^\"]*)\""));
    if (name != "c4") {
      EXPECT_EQ(j["version"], VersionIn(show));
    }
    // The human line carries the same facts.
    const std::string port = j["port"];
    EXPECT_NE(text.out.find(port + "  3c5a:2232:0100  " + (facts.second == std::string("rom") ? "boot ROM" : "firmware") +
                            "  VMC2232 (family 24)  " + facts.first),
              std::string::npos)
        << text.out;
  }
  EXPECT_EQ(text.out.find("1-6"), std::string::npos) << "a codec of another identity is listed";
}

// Runs `command` in a shell whose standard error is a new pseudo-terminal;
// what the terminal showed.
std::string OnTerminal(const std::string& command) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buf[512];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) shown.append(buf, std::size_t(n));
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  return shown;
}

TEST_F(Subcommands, ProgressOnATerminalOnlyAndNotWithQuiet) {
  MakeBench("bench-tty", {{"c1", "spi", "1-2", "S1"}});
  Save("tty");
  const std::string run = "cd '" + station_.Path() + "' && TESSALOAD_SIM='" + bench_ + "' ./tessaload ";
  // Standard output goes to a file: the terminal shows standard error alone.
  const std::string terminal = OnTerminal(run + "write new-spi.bin --port 1-2 >out.txt");
  EXPECT_NE(terminal.find("1-2 S1: erase"), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("1-2 S1: write ["), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("1-2 S1: verify ["), std::string::npos) << terminal;
  EXPECT_NE(terminal.find("] 100%"), std::string::npos) << terminal;
  EXPECT_NE(station_.Read("out.txt").find("1-2 S1: write new-spi.bin: PASS"), std::string::npos);

  Restore("tty");
  const std::string quiet = OnTerminal(run + "write new-spi.bin --port 1-2 --quiet >out.txt");
  EXPECT_EQ(quiet.find('%'), std::string::npos) << quiet;
  EXPECT_EQ(quiet.find("erase"), std::string::npos) << quiet;
  EXPECT_TRUE(station_.Read("out.txt").starts_with("1-2 S1: write new-spi.bin: PASS, version " + std::string(kOld) +
                                                   " -> " + kNew + " ("))
      << station_.Read("out.txt");

  Restore("tty");
  const Outcome piped = Tessaload("write new-spi.bin --port 1-2");
  EXPECT_EQ(piped.code, 0);
  EXPECT_EQ(piped.err, "") << "progress on a pipe";
  EXPECT_TRUE(piped.out.starts_with("1-2 S1: write new-spi.bin: PASS, version " + std::string(kOld) + " -> " + kNew))
      << piped.out;
}

TEST_F(Subcommands, NoResultTxtAndABurnResultRowOnlyWhenAsked) {
  MakeBench("bench-rows", {{"c1", "spi", "1-2", "S1"}});
  station_.Write("Result.txt", "earlier>pass");
  station_.Write("config.ini", "[Quillox Config]\r\nLogType=1\r\n");
  EXPECT_EQ(Tessaload("write new-spi.bin --no-burn-result --json").code, 0);
  EXPECT_FALSE(std::filesystem::exists(station_.File("burn_result.txt")));
  EXPECT_EQ(Tessaload("verify new-spi.bin --port 1-2").code, 0);
  EXPECT_EQ(Tessaload("verify old-spi.bin --port 1-2").code, 1);
  const std::string log = station_.Read("burn_result.txt");
  EXPECT_TRUE(std::regex_search(log, std::regex("Morvane, +Pass, +0:\r\r\n.*Morvane, +Fail, +41709:\r\r\n$")))
      << log;
  EXPECT_EQ(station_.Read("Result.txt"), "earlier>pass") << "a subcommand wrote the factory form's Result.txt";
}

TEST_F(Subcommands, ARefusedCommandLineTouchesNoCodec) {
  const std::string before = Dump();
  struct Refusal {
    const char* args;
    const char* reason;
  } refusals[] = {
      {"write", "FILE is required"},
      {"write new.bin --port 1-1 --serial X", "excludes"},
      {"erase extra", "extra"},
      {"list --port 1-1", "--port"},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.args);
    const Outcome o = Tessaload(r.args);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.starts_with("tessaload: 41540 Invalid Parameter! (")) << o.err;
    EXPECT_NE(o.err.find(r.reason), std::string::npos) << o.err;
    const Outcome json = Tessaload(std::string(r.args) + " --json");
    const std::vector<Json> lines = JsonLines(json.out);
    ASSERT_EQ(lines.size(), 1u) << json.out;
    EXPECT_EQ(lines[0]["status"], kStsInvalidParameter);
    EXPECT_EQ(lines[0]["exit_code"], 1);
    EXPECT_EQ(lines[0]["pass"], false);
  }
  EXPECT_EQ(Transfers(), 0);
  EXPECT_EQ(Dump(), before);

  const Outcome help = Tessaload("--help");
  EXPECT_EQ(help.code, 0);
  for (const char* word : {"list", "write", "verify", "read", "erase", "detect", "usage: tessaload -f "})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  const Outcome version = Tessaload("--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("tessaload [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;
}

}  // namespace
