// flash_update: what one factory flash update costs on the simulated bench.
//
// For each image size, bus speed and command channel a fresh bench gets one
// codec as a new board brings it up (blank flash, so the boot ROM waits in its
// update mode), and `tessaload -f -write new.bin` runs against it in a child
// process: the command line's own objects and steps, with the flows' access
// bit 0x20 added for the extension unit. The codec's counters then give the
// control transfers, bytes, bus and memory time, the bench's clock the
// simulated duration of the whole job, and the child's resource usage the CPU
// time of tool and simulated codec together. Each row also shows the floor:
// the transfers the algorithm cannot do without and their bus time
// (bench/update_floor.h).
//
// The update keeps the extension unit's data control at 8 bytes; only the
// flash read switches it to 64. So the rows at 64 give the update's floor
// alone, and `tessaload -f -verify` (that read, of the image just written) is
// measured as what the flows do at 64.
//
// A second table splits each job into its phases, as the job's log records
// them: duration, transfers and bytes of each, next to the job's floor.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/parse_arg.h"
#include "app/program_services.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "bench/update_floor.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/dev_flow.h"
#include "flow/device_identity.h"
#include "flow/job_phase_marks.h"
#include "flow/job_phases.h"
#include "image/sample_image.h"
#include "platform/vendor.h"
#include "sim/bench.h"
#include "sim/open_bench.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kVersion = "4.120.0000-0000.0001";
constexpr const char* kOldVersion = "4.119.0000-0000.0007";  // what a running codec holds
constexpr int kRepeats = 3;  // CPU time: the least of three runs
constexpr char kPhaseFile[] = "phases.txt";  // the child's phase log: "duration transfers bytes name" lines

struct Speed {
  const char* name;
  const char* chip;  // a chip of the simulator's table with this bus speed
};
constexpr Speed kSpeeds[] = {{"full", "VMC2230"}, {"high", "VMC2232"}};

// A write on a new board (blank flash), an update of a running codec (its
// flash holds an older image), the same update with "Block Erase=1" (only the
// image's 64 KiB blocks are erased), a verify of the image just written.
enum class Job { kWrite, kUpdate, kBlockUpdate, kVerify };

const char* JobName(Job job) {
  switch (job) {
    case Job::kWrite: return "write";
    case Job::kUpdate: return "update";
    case Job::kBlockUpdate: return "update/blocks";
    case Job::kVerify: return "verify";
  }
  return "";
}

struct Row {
  Job job;
  const char* channelName;
  bench::Channel channel;
  bool measurable;  // false: the flows never run this job on this channel
};
constexpr Row kRows[] = {
    {Job::kWrite, "vendor", {false, 0}, true},
    {Job::kWrite, "xu", {true, 8}, true},
    {Job::kWrite, "xu", {true, 64}, false},
    {Job::kUpdate, "vendor", {false, 0}, true},
    {Job::kUpdate, "xu", {true, 8}, true},
    {Job::kBlockUpdate, "vendor", {false, 0}, true},
    {Job::kVerify, "xu", {true, 64}, true},
};

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "flash_update: %s\n", message.c_str());
  std::exit(1);
}

// A `size`-byte image: the 64 KB sample (program, version record,
// configuration area at 0xF000, all in place) followed by code bytes that
// leave no 4 KB chunk erased, as a larger program does.
Bytes Image(const std::string& chip, std::size_t size, const char* version = kVersion) {
  SampleImageSpec spec;
  spec.chip = chip;
  spec.version = *ParseVersionText(version);
  Bytes image;
  std::string error;
  if (!BuildSampleImage(spec, image, error)) Die("sample image for " + chip + ": " + error);
  std::uint32_t state = 0x2545F491;
  while (image.size() < size) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    image.push_back(std::uint8_t(state));
  }
  return image;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// A bench in `folder` with one codec of `chip`, its flash write-protected and
// holding `flash`.
void MakeBench(const std::string& folder, const sim::ChipFacts& chip, const Bytes& flash) {
  std::string error;
  if (!sim::Bench::Create(folder, error)) Die(error);
  auto bench = sim::Bench::Load(folder, error);
  if (!bench) Die(error);
  sim::CodecConfig config;
  config.name = "codec";
  config.chip = chip.name;
  config.identity = {platform::kVendorId,      chip.pid, 0x0100,          "Morvane",
                     chip.name + " USB Audio", "",       chip.audioClass, chip.highSpeed};
  config.port = {1, {1}};
  auto codec = std::make_unique<sim::Codec>(config, chip);
  codec->Memory().Load(flash);
  codec->Memory().SetStatus(0x8C);
  codec->PowerOn();
  if (!bench->Add(std::move(codec), error) || !bench->Save(error)) Die(error);
}

// The child's side: the program's start-up (ProgramServices) and the command
// line's preparation (CParseArg::Prepare) and its action
// (Excute_Arg_Normal), with `channelBits` added to the command line's access
// flags. Exits 0 when the action passed.
[[noreturn]] void RunInChild(const std::string& folder, Job job, const std::string& imagePath,
                             std::uint32_t channelBits) {
  std::string error;
  std::unique_ptr<platform::UsbHost> host = sim::OpenBench(folder, error);
  if (!host) Die(error);
  CParseArg command;
  command.SetResultFolder(folder);
  ProgramServices services;
  ServiceOptions options;
  options.usbHost = host.get();
  services.Start(options);
  if (job == Job::kBlockUpdate) setting::Set(setting::kBlockErase, 1);

  int passed = 0;
  const char* option = job == Job::kWrite ? "-write" : "-verify";
  if (command.Parse_Arg({"tessaload", "-f", option, imagePath}) == 1) {
    passed = services.RunJob(&command, true, [&] {
      if (!command.Prepare()) return 0;
      CDevFlow* flow = CurrentFlow();
      flow->PrepareJobFlags();
      flow->m_accessFlags = 0x40 | channelBits;
      LastStatusCode = 0;
      const int done = job == Job::kVerify ? flow->SilenceVerifyBin(imagePath) : flow->SilenceWriteBin(imagePath);
      EndJobPhases();
      if (done != 1) std::fprintf(stderr, "flash_update: the job failed with status %d\n", int(LastStatusCode));
      command.CloseResultFile(done == 1);
      std::ofstream phases(folder + "/" + kPhaseFile);
      for (const JobPhase& p : command.JobPhases().Phases())
        phases << p.durationMs << ' ' << p.transfers << ' ' << p.bytes << ' ' << p.name << '\n';
      return done;
    });
  }
  services.Stop();
  host.reset();  // saves the bench
  std::fflush(nullptr);
  _exit(passed == 1 ? 0 : 1);
}

struct Measured {
  sim::TransferCounters counters;
  std::uint64_t jobUs = 0;  // the bench's clock over the job
  std::uint64_t codecUs = 0;  // what the codec needs: bus, memory and re-enumeration time
  double cpuMs = 0;
  std::vector<JobPhase> phases;
};

std::vector<JobPhase> ReadPhases(const std::string& folder) {
  std::vector<JobPhase> phases;
  std::ifstream in(folder + "/" + kPhaseFile);
  JobPhase p;
  while (in >> p.durationMs >> p.transfers >> p.bytes && std::getline(in >> std::ws, p.name)) phases.push_back(p);
  return phases;
}

bool SameFigures(const Measured& a, const Measured& b) {
  const sim::TransferCounters &x = a.counters, &y = b.counters;
  return x.transfers == y.transfers && x.extensionUnit == y.extensionUnit && x.bytesIn == y.bytesIn &&
         x.bytesOut == y.bytesOut && x.busTimeUs == y.busTimeUs && x.memoryTimeUs == y.memoryTimeUs &&
         a.jobUs == b.jobUs;
}

// One job on a fresh bench: the write on a blank codec, the verify on one
// whose flash holds the image. Nothing when the job failed, or when the flash
// does not hold the image afterwards.
std::optional<Measured> RunJob(const std::string& folder, const sim::ChipFacts& chip, Job job, const Bytes& image,
                               std::uint32_t channelBits) {
  const Bytes held = job == Job::kWrite    ? Bytes{}
                     : job == Job::kVerify ? image
                                           : Image(chip.name, image.size(), kOldVersion);
  MakeBench(folder, chip, held);
  const std::string imagePath = folder + "/new.bin";
  if (!WriteFile(imagePath, image)) Die("cannot write " + imagePath);

  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) Die(std::string("fork: ") + std::strerror(errno));
  if (child == 0) RunInChild(folder, job, imagePath, channelBits);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) Die(std::string("wait4: ") + std::strerror(errno));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;

  std::string error;
  auto bench = sim::Bench::Load(folder, error);
  if (!bench) Die(error);
  sim::Codec* codec = bench->Find("codec");
  const Bytes& flash = codec->Memory().Bytes();
  if (!std::equal(image.begin(), image.end(), flash.begin())) return std::nullopt;
  // A verify leaves the codec in its boot ROM's update mode; a write starts the
  // image.
  if (job != Job::kVerify && codec->Mode() != sim::CodecMode::kRunning) return std::nullopt;
  const sim::TransferCounters& c = codec->Counters();
  const std::uint64_t codecUs = c.busTimeUs + c.memoryTimeUs + c.resets * codec->ReenumerateUs();
  auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  // A new bench's clock starts at 0.
  return Measured{c, bench->clockUs, codecUs, ms(usage.ru_utime) + ms(usage.ru_stime), ReadPhases(folder)};
}

// The least CPU time of kRepeats runs; the simulated figures must not differ.
std::optional<Measured> Measure(const std::string& scratch, const sim::ChipFacts& chip, Job job, const Bytes& image,
                                std::uint32_t channelBits) {
  std::optional<Measured> best;
  for (int run = 0; run < kRepeats; ++run) {
    const std::string folder = scratch + "/bench-" + std::to_string(run);
    std::filesystem::remove_all(folder);
    const std::optional<Measured> m = RunJob(folder, chip, job, image, channelBits);
    if (!m) return std::nullopt;
    if (best && !SameFigures(*best, *m)) {
      Die("the simulated figures of two equal runs differ: " + std::to_string(best->counters.transfers) + "/" +
          std::to_string(m->counters.transfers) + " transfers, " + std::to_string(best->jobUs) + "/" +
          std::to_string(m->jobUs) + " us");
    }
    if (!best || m->cpuMs < best->cpuMs) best = m;
  }
  return best;
}

std::string Ms(std::uint64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", double(us) / 1e3);
  return text;
}

std::string Kb(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", double(bytes) / 1024);
  return text;
}

void PrintHeader() {
  std::printf("%-13s %-6s %-5s %-7s %4s | %9s %7s %7s %7s %9s %9s %9s | %8s %9s | %6s | %9s %5s\n", "job", "image",
              "speed", "channel", "unit", "transfers", "xu", "in KB", "out KB", "bus ms", "memory ms", "job ms",
              "floor tr", "floor ms", "cpu ms", "codec ms", "ratio");
}

void PrintRow(const Row& row, std::size_t imageKb, const Speed& speed, const std::optional<Measured>& m,
              const bench::Tally& floor, const char* missing) {
  const std::string unit = row.channel.extensionUnit ? std::to_string(row.channel.unitSize) : "-";
  std::printf("%-13s %3zu KB %-5s %-7s %4s | ", JobName(row.job), imageKb, speed.name, row.channelName, unit.c_str());
  if (m) {
    const sim::TransferCounters& c = m->counters;
    std::printf("%9llu %7llu %7s %7s %9s %9s %9s", static_cast<unsigned long long>(c.transfers),
                static_cast<unsigned long long>(c.extensionUnit), Kb(c.bytesIn).c_str(), Kb(c.bytesOut).c_str(),
                Ms(c.busTimeUs).c_str(), Ms(c.memoryTimeUs).c_str(), Ms(m->jobUs).c_str());
  } else {
    std::printf("%-69s", missing);
  }
  std::printf(" | %8llu %9s | ", static_cast<unsigned long long>(floor.transfers), Ms(floor.busUs).c_str());
  if (m)
    std::printf("%6.1f | %9s %5.2f\n", m->cpuMs, Ms(m->codecUs).c_str(), double(m->jobUs) / double(m->codecUs));
  else
    std::printf("%6s |\n", "-");
}

struct PhaseRows {
  std::string job;  // the row's label: job, image, speed, channel and unit
  Measured measured;
  bench::Tally floor;
};

// Each job's phases, then their sum beside the job's simulated duration, its
// floor and what the codec itself needs.
void PrintPhases(const std::vector<PhaseRows>& jobs) {
  std::printf("\nphases of each job, as its log records them\n");
  std::printf("%-39s | %-13s %9s %9s %9s\n", "job", "phase", "ms", "transfers", "bytes");
  for (const PhaseRows& j : jobs) {
    std::uint64_t ms = 0, transfers = 0, bytes = 0;
    for (const JobPhase& p : j.measured.phases) {
      std::printf("%-39s | %-13s %9llu %9llu %9llu\n", j.job.c_str(), p.name.c_str(),
                  static_cast<unsigned long long>(p.durationMs), static_cast<unsigned long long>(p.transfers),
                  static_cast<unsigned long long>(p.bytes));
      ms += p.durationMs;
      transfers += p.transfers;
      bytes += p.bytes;
    }
    std::printf("%-39s | %-13s %9llu %9llu %9llu | job %s ms, floor %llu transfers %s ms, codec %s ms\n",
                j.job.c_str(), "all phases", static_cast<unsigned long long>(ms),
                static_cast<unsigned long long>(transfers), static_cast<unsigned long long>(bytes),
                Ms(j.measured.jobUs).c_str(), static_cast<unsigned long long>(j.floor.transfers),
                Ms(j.floor.busUs).c_str(), Ms(j.measured.codecUs).c_str());
  }
}

}  // namespace

int main() {
  TempDir scratch;
  std::printf(
      "tessaload -f -write on a new board (blank flash), then -f "
      "-verify, on the simulated bench\n"
      "full speed: %s, high speed: %s. xu: transfers over the "
      "extension unit. floor: the algorithm's own\n"
      "transfers in the fewest requests the channel allows. cpu: tool "
      "and simulated codec together, in\n"
      "one process from start-up to exit, the least of %d runs. update: the same write on a codec\n"
      "running an older image; update/blocks: with \"Block Erase=1\". codec: the time the codec itself\n"
      "needs (bus, memory, %u ms per re-enumeration); ratio: the job's simulated duration over it.\n\n",
      kSpeeds[0].chip, kSpeeds[1].chip, kRepeats, unsigned(sim::TimingModel::kSettleUs / 1000));
  for (const std::size_t imageKb : {64u, 256u}) {
    const Bytes image = Image(kSpeeds[0].chip, imageKb * 1024);
    std::size_t withData = 0;
    for (std::size_t at = 0; at < image.size(); at += bench::kUpdateChunk)
      withData += std::any_of(image.begin() + at, image.begin() + at + bench::kUpdateChunk,
                              [](std::uint8_t b) { return b != 0xFF; });
    std::printf("%zu KB image: %zu chunks of 4 KB, %zu not erased%s\n", imageKb, image.size() / bench::kUpdateChunk,
                withData, imageKb == 64 ? " (the sample image)" : " (the sample image, then code bytes)");
  }
  std::printf("\n");
  PrintHeader();
  int failures = 0;
  std::vector<PhaseRows> phaseRows;
  for (const std::size_t imageKb : {64u, 256u}) {
    for (const Speed& speed : kSpeeds) {
      const sim::ChipFacts& chip = *sim::FindChip(speed.chip);
      const Bytes image = Image(speed.chip, imageKb * 1024);
      Bytes written = image;  // the tag stays 0xFF 0xFF until the end
      written[chip.tagAddress] = written[chip.tagAddress + 1] = 0xFF;
      const bool writesTag = !IsBootRomFamily({chip.idLow, chip.idHigh});  // boot-ROM chips take no tag
      const std::size_t heldRuns = 2;  // the image's first bytes and its configuration header
      for (const Row& row : kRows) {
        const bench::UpdatePlan plan = row.job != Job::kVerify ? bench::PlanUpdate(written, heldRuns, writesTag)
                                                               : bench::PlanRead(std::uint32_t(image.size()));
        const bench::Tally floor = bench::Floor(plan, row.channel, chip.highSpeed);
        if (!row.measurable) {
          PrintRow(row, imageKb, speed, std::nullopt, floor, "missing: the update keeps the data control at 8");
          continue;
        }
        const std::uint32_t bits = row.job != Job::kVerify && row.channel.extensionUnit ? kAccessExtUnit : 0;
        const std::optional<Measured> m = Measure(scratch.Path(), chip, row.job, image, bits);
        if (!m) ++failures;
        PrintRow(row, imageKb, speed, m, floor, "FAILED: the job did not pass");
        if (m && row.job != Job::kVerify) {
          char label[64];
          std::snprintf(label, sizeof label, "%-13s %3zu KB %-5s %-7s %4s", JobName(row.job), imageKb, speed.name,
                        row.channelName, row.channel.extensionUnit ? std::to_string(row.channel.unitSize).c_str() : "-");
          phaseRows.push_back({label, *m, floor});
        }
      }
    }
  }
  PrintPhases(phaseRows);
  return failures == 0 ? 0 : 1;
}
