// A smaller hostile table end to end: the real `tessaload -f -write` against
// the simulated bench, judged as the in-process table is, by the codec's
// memory and by what it starts after a power cycle, with the exit code and
// Result.txt as a factory script sees them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "tests/safety/hostile_run.h"

namespace hostile {
namespace {

using sim::MemoryKind;

struct E2eCase {
  Target target;
  const char* name;
  std::function<void(const Target&, Bytes&)> mutate;  // none: the image as made
  bool mustRefuse = false;
};

const std::vector<E2eCase>& Cases() {
  static const std::vector<E2eCase> cases = [] {
    const std::vector<Target> targets = {
        {MemoryKind::kSpiFlash, "VMC2232", 64 * KiB},
        {MemoryKind::kSpiFlash, "VMC2210", 64 * KiB},
        {MemoryKind::kSpiFlash, "VMC2270", 256 * KiB},
        {MemoryKind::kEeprom16, "VMC2232", 0},
        {MemoryKind::kOtp, "VMC2232", 0},
    };
    std::vector<E2eCase> out;
    for (const Target& t : targets) {
      out.push_back({t, "Write", nullptr, false});
      out.push_back({t, "HeaderOnly",
                     [](const Target& t, Bytes& b) {
                       b = Bytes(b.begin() + std::ptrdiff_t(ConfigOffset(t)),
                                 b.begin() + std::ptrdiff_t(ConfigOffset(t) + 6));
                     },
                     true});
      out.push_back({t, "Oversized",
                     [](const Target& t, Bytes& b) { b.resize(sim::MemorySize(t.memory) + 4 * KiB, 0x5A); }, true});
      out.push_back({t, "FirstCodeByte00", [](const Target& t, Bytes& b) { b[CodeStart(t, b)] = 0x00; }, true});
    }
    return out;
  }();
  return cases;
}

void PrintTo(const E2eCase& c, std::ostream* os) { *os << c.target.Name() << " " << c.name; }

class HostileEndToEnd : public testing::TestWithParam<E2eCase> {
 protected:
  struct Run {
    Outcome outcome;
    int exitCode = -1;
    std::string output;
  };
  static std::string Bin(const std::string& name) { return std::string(TESSALOAD_BINARY_DIR) + "/bin/" + name; }

  // The station: a copy of tessaload beside its Result.txt, the bench in
  // bench/, the image in bench/image.bin.
  Run Tessaload(const Target& t, const Bytes& memory, const Bytes& image, const std::string& faults = "") {
    Run run;
    const std::string station = simtest::TempBenchFolder();
    const std::string bench = station + "/bench";
    std::filesystem::create_directories(station);
    std::filesystem::copy_file(Bin("tessaload"), station + "/tessaload");
    MakeTargetBench(bench, t, memory, image, faults);
    FILE* p = popen(("cd '" + station + "' && TESSALOAD_SIM='" + bench + "' ./tessaload -f -write '" + bench +
                     "/image.bin' 2>&1")
                        .c_str(),
                    "r");
    std::array<char, 512> buf;
    for (size_t n; (n = fread(buf.data(), 1, buf.size(), p)) > 0;) run.output.append(buf.data(), n);
    const int status = pclose(p);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(station + "/Result.txt", std::ios::binary);
    const std::string result((std::istreambuf_iterator<char>(in)), {});
    run.outcome.claimedPass = run.exitCode == 0 || result.ends_with("pass");
    Inspect(bench, run.outcome);
    std::filesystem::remove_all(station);
    return run;
  }
};

TEST_P(HostileEndToEnd, TheRulesHoldForTheFactoryCommand) {
  const E2eCase& c = GetParam();
  const Target& t = c.target;
  const Bytes old = MakeImage(t, kOldVersion);
  const Bytes pristine = CodecWith(t, old);
  Bytes image = MakeImage(t, kNewVersion);
  if (c.mutate) c.mutate(t, image);
  const Run run = Tessaload(t, pristine, image);
  EXPECT_EQ(Violation(t, pristine, old, image, c.mustRefuse, run.outcome), "") << run.output;
  EXPECT_EQ(run.outcome.claimedPass, !c.mustRefuse) << run.output;
  if (c.mutate) return;

  // Power lost at points spread over the whole write.
  Findings findings;
  const std::uint64_t total = run.outcome.transfers;
  ASSERT_GT(total, 20u);
  for (std::uint64_t i = 1; i <= 12; ++i) {
    const std::uint64_t n = i * (total - 1) / 12;
    const Run cut = Tessaload(t, pristine, image, "disconnect-after=" + std::to_string(n));
    findings.Add("cut after transfer " + std::to_string(n) + "/" + std::to_string(total),
                 Violation(t, pristine, old, image, false, cut.outcome));
  }
  EXPECT_TRUE(findings.Empty()) << findings.Report();
}

INSTANTIATE_TEST_SUITE_P(Table, HostileEndToEnd, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<E2eCase>& info) {
                           return info.param.target.Name() + "_" + info.param.name;
                         });

}  // namespace
}  // namespace hostile
