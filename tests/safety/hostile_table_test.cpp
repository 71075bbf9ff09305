// The hostile table: every memory, chip family and image size, written as a
// hostile factory tester would: refused images, power lost after any
// transfer, a stall and a timeout on every request kind, a stop in every
// phase. Each write is judged by the codec's memory and by what it starts
// after a power cycle:
//   1. a pass means the whole image is there and starts;
//   2. a failed or interrupted write leaves the old image starting unchanged,
//      or the boot ROM waiting, never a part image or another bank;
//   3. a refused image leaves the memory byte for byte as it was.
// Test names carry memory, chip and size, so one row runs alone with
// --gtest_filter.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/status_codes.h"
#include "tests/safety/hostile_run.h"

namespace hostile {
namespace {

using sim::MemoryKind;

const std::vector<Target>& AllTargets() {
  static const std::vector<Target> targets = [] {
    std::vector<Target> out;
    for (const ChipRule& c : kChips) {
      out.push_back({MemoryKind::kSpiFlash, c.name, 64 * KiB});
      out.push_back({MemoryKind::kSpiFlash, c.name, 256 * KiB});
      out.push_back({MemoryKind::kNorFlash, c.name, 64 * KiB});
      out.push_back({MemoryKind::kEeprom8, c.name, 0});
      out.push_back({MemoryKind::kEeprom16, c.name, 0});
    }
    out.push_back({MemoryKind::kSpiFlash, "VMC2230", 16 * KiB});  // the small-image family
    out.push_back({MemoryKind::kOtp, "VMC2230", 0});  // OTP code needs the small-cache-code record
    out.push_back({MemoryKind::kOtp, "VMC2232", 0});
    return out;
  }();
  return targets;
}

// The targets whose images fit their memory: the others must be refused.
std::vector<Target> WritableTargets() {
  std::vector<Target> out;
  for (const Target& t : AllTargets())
    if (FitsMemory(t, MakeImage(t, kNewVersion).size())) out.push_back(t);
  return out;
}

// The sweeps: every memory type, both flash sizes, the chip whose area lies
// off 0xF000, both banked families and the small image.
const std::vector<Target> kSweepTargets = {
    {MemoryKind::kSpiFlash, "VMC2232", 64 * KiB}, {MemoryKind::kSpiFlash, "VMC2232", 256 * KiB},
    {MemoryKind::kSpiFlash, "VMC2210", 64 * KiB}, {MemoryKind::kSpiFlash, "VMC2210", 256 * KiB},
    {MemoryKind::kSpiFlash, "VMC2222", 64 * KiB}, {MemoryKind::kSpiFlash, "VMC2270", 64 * KiB},
    {MemoryKind::kSpiFlash, "VMC2270", 256 * KiB}, {MemoryKind::kSpiFlash, "VMC2230", 16 * KiB},
    {MemoryKind::kNorFlash, "VMC2232", 64 * KiB}, {MemoryKind::kEeprom8, "VMC2232", 0},
    {MemoryKind::kEeprom16, "VMC2232", 0},        {MemoryKind::kOtp, "VMC2232", 0},
};

// One target's images and the codec it starts from.
struct Row {
  explicit Row(const Target& target)
      : t(target), old(MakeImage(t, kOldVersion)), image(MakeImage(t, kNewVersion)), pristine(CodecWith(t, old)) {
    if (!FitsMemory(t, old.size())) old.clear();
  }
  std::string Check(const Outcome& o, bool mustRefuse = false) const {
    return Violation(t, pristine, old, image, mustRefuse, o);
  }
  Target t;
  Bytes old, image, pristine;
};

// ---------------------------------------------------------------------------
// A plain write: it passes, holds and starts the whole image; an image whose
// bank lies outside the memory is refused untouched.

class HostileWrite : public testing::TestWithParam<Target> {};

TEST_P(HostileWrite, PassesOnlyWithTheWholeImageStarting) {
  const Row row(GetParam());
  ASSERT_FALSE(row.image.empty());
  if (row.t.AreaAtStart()) {
    const std::uint8_t first = row.image[CodeStart(row.t, row.image)];
    ASSERT_TRUE(first != 0x00 && first != 0xFF) << "the fixture finds the code";
  }
  const bool fits = FitsMemory(row.t, row.image.size());
  const Outcome o = Write(row.t, row.pristine, row.image);
  EXPECT_EQ(row.Check(o, !fits), "");
  EXPECT_EQ(o.claimedPass, fits) << "status " << o.status;
  if (fits) {
    EXPECT_TRUE(o.starts && o.version == kNewVersion);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileWrite, testing::ValuesIn(AllTargets()), TargetName);

// ---------------------------------------------------------------------------
// Images that cannot work: refused, nothing erased, the old image starts.

struct Mutation {
  const char* name;
  // Changes the target's new image; false when the case does not apply.
  std::function<bool(const Target&, Bytes&)> apply;
};

std::size_t OversizedLength(const Target& t) {
  return t.Flash() ? sim::MemorySize(t.memory) + 64 * KiB : sim::MemorySize(t.memory) + 4 * KiB;
}

const std::vector<Mutation>& Mutations() {
  static const std::vector<Mutation> list = {
      {"TruncatedInArea",
       [](const Target& t, Bytes& b) {
         b.resize(ConfigOffset(t) + 16);
         return true;
       }},
      {"TruncatedInCode",
       [](const Target& t, Bytes& b) {
         if (t.AreaAtStart()) return false;
         b.resize(ConfigOffset(t) / 2);
         return true;
       }},
      {"HeaderOnly",
       [](const Target& t, Bytes& b) {
         b = Bytes(b.begin() + std::ptrdiff_t(ConfigOffset(t)), b.begin() + std::ptrdiff_t(ConfigOffset(t) + 6));
         return true;
       }},
      {"RecordPastArea",
       [](const Target& t, Bytes& b) {
         const std::size_t end = ConfigOffset(t) + t.Rule().configSize;
         for (const Record& r : Records(b, ConfigOffset(t))) {
           if (!r.extended) continue;
           const std::size_t length = end - r.offset + 16;
           b[r.offset + 2] = std::uint8_t(length);
           b[r.offset + 3] = std::uint8_t(length >> 8);
           return true;
         }
         const auto records = Records(b, ConfigOffset(t));
         if (records.empty() || records.back().offset + 0xFE <= end) return false;
         b[records.back().offset] = 0xFE;
         return true;
       }},
      {"RecordCountFF",
       [](const Target& t, Bytes& b) {
         b[ConfigOffset(t) + 5] = 0xFF;
         return true;
       }},
      {"TotalLengthFFFF",
       [](const Target& t, Bytes& b) {
         b[ConfigOffset(t) + 3] = b[ConfigOffset(t) + 4] = 0xFF;
         return true;
       }},
      {"UnknownStorageKind",
       [](const Target& t, Bytes& b) {
         b[ConfigOffset(t)] = 0x77;
         return true;
       }},
      {"FirstCodeByte00",
       [](const Target& t, Bytes& b) {
         b[CodeStart(t, b)] = 0x00;
         return true;
       }},
      {"FirstCodeByteFF",
       [](const Target& t, Bytes& b) {
         b[CodeStart(t, b)] = 0xFF;
         return true;
       }},
      {"Oversized",
       [](const Target& t, Bytes& b) {
         const std::size_t from = b.size();
         b.resize(OversizedLength(t));
         for (std::size_t i = from; i < b.size(); ++i) b[i] = std::uint8_t(i * 5 + 1);
         return true;
       }},
      {"OtherFamily",
       [](const Target& t, Bytes& b) {
         const std::uint8_t other = t.Rule().family == 24 ? 25 : 24;
         b[ConfigOffset(t) + 2] = std::uint8_t((b[ConfigOffset(t) + 2] & 0x07) | other << 3);
         return true;
       }},
  };
  return list;
}

struct MutationCase {
  Target target;
  std::size_t mutation;
};

std::vector<MutationCase> MutationCases() {
  std::vector<MutationCase> out;
  for (const Target& t : WritableTargets()) {
    for (std::size_t m = 0; m < Mutations().size(); ++m) {
      Bytes image = MakeImage(t, kNewVersion);
      if (Mutations()[m].apply(t, image)) out.push_back({t, m});
    }
  }
  return out;
}

void PrintTo(const MutationCase& c, std::ostream* os) { *os << c.target.Name() << " " << Mutations()[c.mutation].name; }

class HostileRefusal : public testing::TestWithParam<MutationCase> {};

TEST_P(HostileRefusal, LeavesTheMemoryAsItWas) {
  Row row(GetParam().target);
  ASSERT_TRUE(Mutations()[GetParam().mutation].apply(row.t, row.image));
  const Outcome o = Write(row.t, row.pristine, row.image);
  EXPECT_EQ(row.Check(o, true), "") << "status " << o.status;
  EXPECT_TRUE(o.starts && o.version == kOldVersion) << "the old image starts after a power cycle";
}

INSTANTIATE_TEST_SUITE_P(Table, HostileRefusal, testing::ValuesIn(MutationCases()),
                         [](const testing::TestParamInfo<MutationCase>& info) {
                           return info.param.target.Name() + "_" + Mutations()[info.param.mutation].name;
                         });

// ---------------------------------------------------------------------------
// Power lost after a transfer of the write, at every transfer or at 200
// points spread over it with the first and last transfers each: the rules
// hold, and the next write puts the whole image in.

std::vector<std::uint64_t> CutPoints(std::uint64_t total) {
  std::set<std::uint64_t> points;
  if (total <= 201) {
    for (std::uint64_t n = 1; n < total; ++n) points.insert(n);
  } else {
    for (std::uint64_t n = 1; n <= 10; ++n) points.insert(n);             // opening and reset into the boot ROM
    for (std::uint64_t n = total - 30; n < total; ++n) points.insert(n);  // header, tag, reset to the new code
    for (std::uint64_t i = 0; i < 160; ++i) points.insert(11 + i * (total - 42) / 159);
  }
  return {points.begin(), points.end()};
}

class HostilePowerLoss : public testing::TestWithParam<Target> {};

TEST_P(HostilePowerLoss, AfterAnyTransferNoPartImageStarts) {
  const Row row(GetParam());
  const Outcome clean = Write(row.t, row.pristine, row.image);
  ASSERT_TRUE(clean.claimedPass) << "status " << clean.status;
  const auto points = CutPoints(clean.transfers);
  ASSERT_GE(points.size(), std::min<std::size_t>(200, clean.transfers - 1));
  Findings findings;
  int oldStarts = 0, romWaits = 0, newStarts = 0, recoveries = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const std::string point = "cut after transfer " + std::to_string(points[i]) + "/" + std::to_string(clean.transfers);
    const Outcome o = Write(row.t, row.pristine, row.image, "disconnect-after=" + std::to_string(points[i]));
    findings.Add(point, row.Check(o));
    (!o.starts ? romWaits : o.version == kNewVersion ? newStarts : oldStarts)++;
    if (i % 25 == 12 && !o.claimedPass) {  // the codec takes the next write whole
      ++recoveries;
      const Outcome next = Write(row.t, o.memory, row.image);
      std::string why;
      // A cut after the whole new image was in place leaves nothing to
      // recover: the OTP then refuses the same version and changes nothing.
      std::string missing;
      const bool alreadyNew = o.starts && o.version == kNewVersion &&
                              HoldsWholeImage(row.t, row.image, o.memory, o.start, missing);
      const bool sameVersionRefused = !next.claimedPass && next.status == kStsOtpSameVersion && next.memory == o.memory;
      if (alreadyNew && sameVersionRefused) continue;
      if (!next.claimedPass) findings.Add(point, "recovery: the next write fails with status " + std::to_string(next.status));
      else if (!(next.starts && next.version == kNewVersion && HoldsWholeImage(row.t, row.image, next.memory, next.start, why)))
        findings.Add(point, "recovery: " + why);
    }
  }
  EXPECT_TRUE(findings.Empty()) << findings.Report();
  EXPECT_GT(oldStarts + romWaits, 0) << "the cuts reach the write";
  EXPECT_GT(recoveries, 0);
}

INSTANTIATE_TEST_SUITE_P(Sweep, HostilePowerLoss, testing::ValuesIn(kSweepTargets), TargetName);

// ---------------------------------------------------------------------------
// A cell that does not take the new byte (a bit of the version record stuck):
// the write cannot pass, and what is left never starts as a new image.

std::vector<Target> RewritableTargets() {
  std::vector<Target> out;
  for (const Target& t : WritableTargets())
    if (t.memory != MemoryKind::kOtp) out.push_back(t);
  return out;
}

class HostileBadCell : public testing::TestWithParam<Target> {};

TEST_P(HostileBadCell, AStuckBitNeverPasses) {
  const Row row(GetParam());
  const std::size_t at = (row.image.size() >= 64 * KiB ? 0x100C : 0x11B) + 1;
  // Flash bits cannot clear, EEPROM bits keep the old image's value.
  const std::uint8_t wrong = row.t.Flash() ? std::uint8_t(~row.image[at]) : std::uint8_t(row.old[at] ^ row.image[at]);
  ASSERT_NE(wrong, 0);
  const std::uint8_t mask = std::uint8_t(wrong & -wrong);
  char spec[40];
  std::snprintf(spec, sizeof spec, "stuck=%zX:%02X", ImageBank(row.t, row.image.size()) + at, mask);
  const Outcome o = Write(row.t, row.pristine, row.image, spec);
  EXPECT_FALSE(o.claimedPass) << spec;
  EXPECT_EQ(row.Check(o), "") << spec;
}

INSTANTIATE_TEST_SUITE_P(Table, HostileBadCell, testing::ValuesIn(RewritableTargets()), TargetName);

// ---------------------------------------------------------------------------
// One stall and one timeout on each request kind the write sends.

struct RequestFaultCase {
  Target target;
  const char* fault;  // "stall" or "timeout"
};

std::vector<RequestFaultCase> RequestFaultCases() {
  std::vector<RequestFaultCase> out;
  for (const Target& t : WritableTargets()) {
    out.push_back({t, "stall"});
    out.push_back({t, "timeout"});
  }
  return out;
}

void PrintTo(const RequestFaultCase& c, std::ostream* os) { *os << c.target.Name() << " " << c.fault; }

class HostileRequestFault : public testing::TestWithParam<RequestFaultCase> {};

TEST_P(HostileRequestFault, OnEachRequestKindTheRulesHold) {
  const Row row(GetParam().target);
  const Outcome clean = Write(row.t, row.pristine, row.image);
  ASSERT_TRUE(clean.claimedPass) << "status " << clean.status;
  ASSERT_FALSE(clean.kinds.empty());
  Findings findings;
  for (const std::string& kind : clean.kinds) {
    const std::string spec = std::string(GetParam().fault) + "=" + kind + "*1";
    findings.Add(spec, row.Check(Write(row.t, row.pristine, row.image, spec)));
  }
  EXPECT_TRUE(findings.Empty()) << findings.Report();
}

INSTANTIATE_TEST_SUITE_P(Table, HostileRequestFault, testing::ValuesIn(RequestFaultCases()),
                         [](const testing::TestParamInfo<RequestFaultCase>& info) {
                           return info.param.target.Name() + "_" + info.param.fault;
                         });

// ---------------------------------------------------------------------------
// The operator's stop at the first stop check of each phase and in its middle.

class HostileStop : public testing::TestWithParam<Target> {};

TEST_P(HostileStop, InEachPhaseTheRulesHold) {
  const Row row(GetParam());
  const Outcome clean = Write(row.t, row.pristine, row.image);
  ASSERT_TRUE(clean.claimedPass) << "status " << clean.status;
  ASSERT_FALSE(clean.checksPerPhase.empty()) << "the write posts its phases and checks for a stop";
  Findings findings;
  int stoppedRuns = 0;
  for (const auto& [phase, checks] : clean.checksPerPhase) {
    for (int check : std::set<int>{0, checks / 2}) {
      const Outcome o = Write(row.t, row.pristine, row.image, "", {phase, check});
      const std::string point = "stop in phase " + std::to_string(phase) + " at check " + std::to_string(check);
      findings.Add(point, row.Check(o));
      if (!o.claimedPass) ++stoppedRuns;
    }
  }
  EXPECT_TRUE(findings.Empty()) << findings.Report();
  EXPECT_GT(stoppedRuns, 0) << "a stop ends the write";
}

INSTANTIATE_TEST_SUITE_P(Table, HostileStop, testing::ValuesIn(WritableTargets()), TargetName);

}  // namespace
}  // namespace hostile
