#include "sim_commands.h"

#include <functional>
#include <map>
#include <ostream>

#include "bench_report.h"
#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/vendor.h"
#include "sim/bench.h"
#include "sim/key_value_file.h"

namespace simtool {

namespace {

constexpr const char* kUsage =
    "usage: tessaload-sim create DIR [--real-time]\n"
    "       tessaload-sim add DIR NAME --chip CHIP [--memory spi|nor|eeprom8|eeprom16|otp] [--vid HEX]\n"
    "                     [--pid HEX] [--rev HEX] [--manufacturer TEXT] [--serial TEXT]\n"
    "                     [--channels both|vendor|xu] [--port N|B-P.P...] [--firmware FILE]\n"
    "                     [--reenumerate-ms N]\n"
    "       tessaload-sim show DIR [NAME]\n"
    "       tessaload-sim dump DIR NAME FILE\n"
    "       tessaload-sim fault DIR NAME SPEC\n"
    "       tessaload-sim unplug DIR NAME\n"
    "       tessaload-sim plug DIR NAME\n";

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct Failure {
  int code;
  std::string message;
};

// Holds the bench's cross-process lock while a command reads and changes it.
class LockedBench {
 public:
  explicit LockedBench(const std::string& folder) : mutex_(sim::BenchLockName(folder)) {
    locked_ = mutex_.Lock(10000, platform::SystemClock());
  }
  ~LockedBench() {
    if (locked_) mutex_.Unlock();
  }
  bool Locked() const { return locked_; }

 private:
  platform::NamedMutex mutex_;
  bool locked_ = false;
};

bool ParseHex16(const std::string& text, std::uint16_t& value) {
  std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
  if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return false;
  }
  value = static_cast<std::uint16_t>(std::stoul(digits, nullptr, 16));
  return true;
}

// A re-enumeration time: decimal milliseconds, at most a minute.
bool ParseMilliseconds(const std::string& text, std::uint32_t& value) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long ms = std::stoul(text);
  if (ms > 60000) return false;
  value = static_cast<std::uint32_t>(ms);
  return true;
}

bool PrintableText(const std::string& text) {
  if (text.size() > 126) return false;
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// Where a firmware file goes in code memory: the chip's image bank for flash,
// the start of the part otherwise.
std::uint32_t FirmwareOffset(const sim::ChipFacts& chip, sim::MemoryKind kind) {
  return sim::IsFlash(kind) && chip.family == 23 ? 0x10000 : 0;
}

sim::PortPath FirstFreeRootPort(sim::Bench& bench) {
  for (int port = 1; port <= sim::kRootHubPorts; ++port) {
    bool taken = false;
    for (const auto& codec : bench.Codecs()) {
      const sim::PortPath& at = codec->Config().port;
      taken |= at.bus == 1 && at.ports.front() == port;
    }
    if (!taken) return {1, {port}};
  }
  return {};
}

class Commands {
 public:
  Commands(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  int Run(const std::vector<std::string>& args) {
    static const std::map<std::string, std::pair<int (Commands::*)(const std::vector<std::string>&), std::size_t>>
        commands = {{"create", {&Commands::Create, 2}}, {"add", {&Commands::Add, 3}},
                    {"show", {&Commands::Show, 2}},     {"dump", {&Commands::Dump, 4}},
                    {"fault", {&Commands::Fault, 4}},   {"unplug", {&Commands::Unplug, 3}},
                    {"plug", {&Commands::Plug, 3}}};
    if (args.empty() || !commands.count(args[0])) return Usage(args.empty() ? "no command" : "unknown command " + args[0]);
    const auto& [method, minimum] = commands.at(args[0]);
    if (args.size() < minimum) return Usage("missing arguments for " + args[0]);
    return (this->*method)(args);
  }

 private:
  int Usage(const std::string& problem) {
    err_ << "tessaload-sim: " << problem << "\n" << kUsage;
    return kExitUsage;
  }
  int Fail(const std::string& problem) {
    err_ << "tessaload-sim: " << problem << "\n";
    return kExitFailed;
  }

  // Loads the bench under its lock, runs `change` on it and saves it when the
  // change succeeded.
  int Change(const std::string& folder, const std::function<std::string(sim::Bench&)>& change) {
    LockedBench lock(folder);
    std::string error;
    std::unique_ptr<sim::Bench> bench = sim::Bench::Load(folder, error);
    if (!bench) return Fail(error);
    error = change(*bench);
    if (!error.empty()) return Fail(error);
    if (!bench->Save(error)) return Fail(error);
    return kExitOk;
  }

  // Runs `act` on the codec as stored, under the codec's lock, and stores
  // what it changed when it succeeded: a program using the bench meanwhile
  // keeps its own changes and sees these at its next transfer.
  int WithCodec(const std::vector<std::string>& args, const std::function<std::string(sim::Codec&)>& act,
                bool store = true) {
    std::string error;
    std::unique_ptr<sim::Bench> bench = sim::Bench::Load(args[1], error);
    if (!bench) return Fail(error);
    if (bench->Find(args[2]) == nullptr) return Fail("no codec named " + args[2] + " in bench " + args[1]);
    sim::CodecLock lock(*bench, args[2]);
    sim::Codec* codec = lock.Held() ? bench->Reload(args[2]) : nullptr;
    if (codec == nullptr) return Fail("codec " + args[2] + " stays busy in another program");
    error = act(*codec);
    if (!error.empty()) return Fail(error);
    if (store && !bench->Commit(args[2], bench->TimeOf(args[2]))) return Fail("cannot store codec " + args[2]);
    return kExitOk;
  }

  int Create(const std::vector<std::string>& args) {
    const bool realTime = args.size() == 3 && args[2] == "--real-time";
    if (args.size() != 2 && !realTime) return Usage("create takes one folder and --real-time");
    std::string error;
    if (!sim::Bench::Create(args[1], error, realTime)) return Fail(error);
    return kExitOk;
  }

  int Add(const std::vector<std::string>& args) {
    std::map<std::string, std::string> options;
    for (std::size_t i = 3; i < args.size(); i += 2) {
      static const char* kKnown[] = {"--chip", "--memory", "--vid", "--pid", "--rev", "--manufacturer",
                                     "--serial", "--channels", "--port", "--firmware", "--product",
                                     "--reenumerate-ms"};
      if (std::find(std::begin(kKnown), std::end(kKnown), args[i]) == std::end(kKnown)) {
        return Usage("unknown option " + args[i]);
      }
      if (i + 1 >= args.size()) return Usage("option " + args[i] + " needs a value");
      options[args[i]] = args[i + 1];
    }
    if (!options.count("--chip")) return Usage("add needs --chip CHIP");
    const sim::ChipFacts* chip = sim::FindChip(options["--chip"]);
    if (chip == nullptr) {
      std::string known;
      for (const auto& c : sim::AllChips()) known += " " + c.name;
      return Fail("unknown chip " + options["--chip"] + " (known:" + known + ")");
    }
    sim::CodecConfig config;
    config.name = args[2];
    config.chip = chip->name;
    sim::DeviceIdentity& id = config.identity;
    id = {platform::kVendorId, chip->pid, 0x0100, "Morvane", chip->name + " USB Audio", "", chip->audioClass,
          chip->highSpeed};
    if (options.count("--memory") && !sim::ParseMemoryKind(options["--memory"], config.memory)) {
      return Fail("unknown memory " + options["--memory"] + " (spi, nor, eeprom8, eeprom16 or otp)");
    }
    for (auto [option, field] : {std::pair{"--vid", &id.vid}, {"--pid", &id.pid}, {"--rev", &id.rev}}) {
      if (options.count(option) && !ParseHex16(options[option], *field)) {
        return Fail(std::string("bad ") + option + " " + options[option] + " (up to four hexadecimal digits)");
      }
    }
    for (auto [option, field] : {std::pair{"--manufacturer", &id.manufacturer}, {"--serial", &id.serial},
                                 {"--product", &id.product}}) {
      if (!options.count(option)) continue;
      if (!PrintableText(options[option])) return Fail(std::string("bad ") + option + " text (printable ASCII, at most 126)");
      *field = options[option];
    }
    if (options.count("--channels") && !sim::ParseChannels(options["--channels"], config)) {
      return Fail("bad --channels " + options["--channels"] + " (both, vendor or xu)");
    }
    if (options.count("--reenumerate-ms") && !ParseMilliseconds(options["--reenumerate-ms"], config.reenumerateMs)) {
      return Fail("bad --reenumerate-ms " + options["--reenumerate-ms"] + " (0 to 60000 milliseconds)");
    }
    std::vector<std::uint8_t> firmware;
    if (options.count("--firmware") && !sim::ReadBinaryFile(options["--firmware"], firmware)) {
      return Fail("cannot read firmware file " + options["--firmware"]);
    }
    const std::uint32_t offset = FirmwareOffset(*chip, config.memory);
    if (firmware.size() > sim::MemorySize(config.memory) - offset) {
      return Fail("firmware file " + options["--firmware"] + " (" + std::to_string(firmware.size()) +
                  " bytes) does not fit the " + sim::MemoryKindName(config.memory) + " memory");
    }
    std::string portError;
    if (options.count("--port") && !sim::ParsePortPath(options["--port"], config.port, portError)) return Fail(portError);

    return Change(args[1], [&](sim::Bench& bench) -> std::string {
      if (!options.count("--port")) {
        config.port = FirstFreeRootPort(bench);
        if (config.port.ports.empty()) return "no free port on bus 1; give --port";
      }
      auto codec = std::make_unique<sim::Codec>(config, *chip);
      if (!firmware.empty()) {
        std::vector<std::uint8_t> content(offset, sim::ErasedByte(config.memory));
        content.insert(content.end(), firmware.begin(), firmware.end());
        codec->Memory().Load(content);
      }
      codec->Memory().SetStatus(sim::IsFlash(config.memory) ? 0x8C : 0x00);  // shipped write-protected
      codec->PowerOn();
      std::string error;
      bench.Add(std::move(codec), error);
      return error;
    });
  }

  int Show(const std::vector<std::string>& args) {
    std::string error;
    std::unique_ptr<sim::Bench> bench = sim::Bench::Load(args[1], error);
    if (!bench) return Fail(error);
    if (args.size() > 2 && bench->Find(args[2]) == nullptr) return Fail("no codec named " + args[2] + " in bench " + args[1]);
    if (bench->realTime && args.size() <= 2) out_ << "bench " << args[1] << ": real time\n";
    if (bench->Codecs().empty()) out_ << "bench " << args[1] << ": no codecs\n";
    for (const auto& codec : bench->Codecs()) {
      if (args.size() <= 2 || codec->Config().name == args[2]) ReportCodec(*codec, bench->clockUs, out_);
    }
    return kExitOk;
  }

  int Dump(const std::vector<std::string>& args) {
    return WithCodec(args, [&](sim::Codec& codec) -> std::string {
      if (!sim::WriteBinaryFile(args[3], codec.Memory().Bytes())) return "cannot write " + args[3];
      return "";
    }, false);
  }

  int Fault(const std::vector<std::string>& args) {
    return WithCodec(args, [&](sim::Codec& codec) -> std::string {
      std::string error;
      if (!sim::ApplyFaultSpec(args[3], codec.Faults(), codec.Memory().StuckBits(), error)) return error;
      return "";
    });
  }

  int Unplug(const std::vector<std::string>& args) {
    return WithCodec(args, [&](sim::Codec& codec) -> std::string {
      codec.PowerOff();
      return "";
    });
  }

  int Plug(const std::vector<std::string>& args) {
    return WithCodec(args, [&](sim::Codec& codec) -> std::string {
      if (codec.Plugged()) return "codec " + args[2] + " is plugged in already";
      codec.PowerOn();
      return "";
    });
  }

  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return Commands(out, err).Run(args);
}

}  // namespace simtool
