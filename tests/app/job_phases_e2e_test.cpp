// The phases a job's JSON result reports, through the real program on a
// simulated bench: their names in the order the job passed them, durations
// that fit in the job's, and transfers and bytes that add up to what the
// codec itself saw (the bench's transfer log and its counters).
#include <nlohmann/json.hpp>
#include <regex>

#include "tests/support/factory_fixture.h"

namespace {

using Json = nlohmann::json;

constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kNew[] = "4.120.0000-0000.0001";

struct PhaseCase {
  const char* name;
  const char* memory;  // the codec's memory; "blank": SPI flash that holds nothing
  const char* args;    // the subcommand, {new}: the memory's new image
  std::vector<std::string> phases;
};

class JobPhases : public Factory {
 protected:
  // A bench with codec c1 on port 1-2 holding the old image of `memory`.
  void MakeCodec(const std::string& memory, int number) {
    const bool blank = memory == "blank";
    const std::string kind = blank ? "spi" : memory;
    bench_ = station_.File("bench-" + std::to_string(number));
    Must(Sim("create " + bench_));
    for (const char* v : {kOld, kNew})
      Must(Image("build --chip VMC2232 --memory " + kind + " --version " + v + " -o " +
                 station_.File(std::string(v == kOld ? "old-" : "new-") + kind + ".bin")));
    const bool otp = kind == "otp";
    Must(Sim("add " + bench_ + " c1 --chip VMC2232 --memory " + kind + " --port 1-2" +
             (otp || blank ? "" : " --firmware " + station_.File("old-" + kind + ".bin"))));
    if (otp) Must(Tessaload("write old-otp.bin --port 1-2 --quiet"));
  }
  // The transfers the codec answered since the log was started, and the
  // bytes its counters say they moved.
  struct Seen {
    std::uint64_t transfers = 0, bytes = 0;
  };
  Seen CodecCounters() {
    std::smatch m;
    const std::string show = Show();
    if (!std::regex_search(show, m, std::regex("transfers +([0-9]+) .*, ([0-9]+) bytes in, ([0-9]+) bytes out")))
      return {};
    return {std::stoull(m[1]), std::stoull(m[2]) + std::stoull(m[3])};
  }
  std::uint64_t LoggedTransfers() {
    std::istringstream in(station_.Read(std::filesystem::path(bench_).filename().string() + "/transfers.log"));
    std::uint64_t n = 0;
    for (std::string line; std::getline(in, line);) n += line.find(" c1 ") != std::string::npos;
    return n;
  }
};

TEST_F(JobPhases, TheResultListsEachPhaseWithWhatItCostTheCodec) {
  const std::vector<std::string> update = {"open",  "reset to ROM", "erase", "empty check", "write",
                                           "verify", "tag",         "reset to code"};
  const PhaseCase cases[] = {
      // This chip's flash image starts without a tag.
      {"running flash codec", "spi", "write {new}",
       {"open", "reset to ROM", "erase", "empty check", "write", "verify", "reset to code"}},
      // A codec waiting in its boot ROM needs no reset to it, and its image starts without a tag.
      {"blank flash codec", "blank", "write {new}", {"open", "erase", "empty check", "write", "verify", "reset to code"}},
      {"flash read", "spi", "read read.bin", {"open", "reset to ROM", "read"}},
      {"16-bit EEPROM", "eeprom16", "write {new}", {"open", "reset to ROM", "write", "verify", "tag", "reset to code"}},
      {"8-bit EEPROM", "eeprom8", "write {new}", update},
      // The OTP takes the image's code and configuration as two blocks, each written and read back.
      {"OTP", "otp", "write {new}",
       {"open", "reset to ROM", "write", "verify", "write", "verify", "tag", "reset to code"}},
  };
  int number = 0;
  for (const PhaseCase& c : cases) {
    SCOPED_TRACE(c.name);
    MakeCodec(c.memory, ++number);
    const std::string kind = std::string(c.memory) == "blank" ? "spi" : c.memory;
    std::string args = c.args;
    if (const auto at = args.find("{new}"); at != std::string::npos) args.replace(at, 5, "new-" + kind + ".bin");

    station_.Write(std::filesystem::path(bench_).filename().string() + "/transfers.log", "");
    const Seen before = CodecCounters();
    const Outcome o = Tessaload(args + " --port 1-2 --json --no-burn-result");
    ASSERT_EQ(o.code, 0) << o.out << o.err;
    const Seen after = CodecCounters();
    std::string last;
    for (std::istringstream in(o.out); std::getline(in, last) && in.peek() != EOF;) {
    }
    const Json r = Json::parse(last, nullptr, false);
    ASSERT_FALSE(r.is_discarded()) << o.out;
    ASSERT_EQ(r["event"], "result");

    std::vector<std::string> names;
    std::uint64_t ms = 0, transfers = 0, bytes = 0;
    for (const Json& p : r["phases"]) {
      names.push_back(p["name"]);
      ms += p["duration_ms"].get<std::uint64_t>();
      transfers += p["transfers"].get<std::uint64_t>();
      bytes += p["bytes"].get<std::uint64_t>();
      EXPECT_GT(p["transfers"].get<std::uint64_t>(), 0u) << p.dump();
    }
    EXPECT_EQ(names, c.phases) << r["phases"].dump();
    EXPECT_LE(ms, r["duration_ms"].get<std::uint64_t>());
    // Every transfer of the job is in one of its phases, counted once.
    EXPECT_EQ(transfers, LoggedTransfers());
    EXPECT_EQ(transfers, after.transfers - before.transfers);
    EXPECT_EQ(bytes, after.bytes - before.bytes);

    // The figures belong to their phases: the image goes out in the write
    // and comes back in the verify or read, and a reset lasts at least the
    // codec's re-enumeration.
    const std::uint64_t image = station_.Read(args.substr(args.find(' ') + 1)).size();
    for (const Json& p : r["phases"]) {
      const std::string name = p["name"];
      if (kind == "otp") break;  // the OTP holds the image's blocks, not the file
      if (name == "write" || name == "verify" || name == "read") {
        EXPECT_GE(p["bytes"].get<std::uint64_t>(), image) << name;
        EXPECT_LE(p["bytes"].get<std::uint64_t>(), 2 * image) << name;
      }
      if (name == "reset to ROM" || name == "reset to code") {
        EXPECT_GE(p["duration_ms"].get<std::uint64_t>(), 600u) << name;
      }
    }
  }
}

}  // namespace
