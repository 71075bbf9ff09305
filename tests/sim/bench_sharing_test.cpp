// Several processes on one bench: none loses another's changes, none works on
// a stale copy of a codec, and a process killed mid-job leaves the codec
// holding exactly what it had received. The writers run in child processes.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "sim_fixture.h"
#include "tests/support/image_fixtures.h"

namespace simtest {
namespace {

using platform::kErrorSuccess;

constexpr std::uint16_t kChunk = 8;

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) ^ (i >> 8));
  return bytes;
}

// The audio function of the codec on root port `port` of bus 1.
std::unique_ptr<platform::UsbDevice> OpenAt(platform::UsbHost& host, std::uint32_t port) {
  for (const auto& node : host.Nodes()) {
    if (!node.audioInterface || node.address != port) continue;
    std::uint32_t error = 0;
    return host.Open(node.instance, error);
  }
  return nullptr;
}

// In a child process: opens the codec on `port`, waits for a byte on `go`,
// then writes `bytes` to its flash from `address` on in chunks; after
// `signalAfter` chunks it writes a byte to `progress`. Ends the process: 0
// when every transfer succeeded.
[[noreturn]] void WriteFlash(const std::string& folder, std::uint32_t port, std::uint32_t address,
                             const std::vector<std::uint8_t>& bytes, int go, int progress = -1,
                             std::size_t signalAfter = 0) {
  std::string error;
  auto host = sim::OpenBench(folder, error);
  auto device = host ? OpenAt(*host, port) : nullptr;
  if (!device) _exit(11);
  char byte = 0;
  if (read(go, &byte, 1) != 1) _exit(10);
  Channels channels(*device);
  for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
    const std::uint32_t a = address + static_cast<std::uint32_t>(at);
    std::vector<std::uint8_t> chunk(bytes.begin() + at, bytes.begin() + at + kChunk);
    if (channels.VendorOut(0x2F, static_cast<std::uint16_t>((a >> 16) << 8), a & 0xFFFF, chunk) != kErrorSuccess) _exit(12);
    if (progress >= 0 && at / kChunk + 1 == signalAfter && write(progress, "x", 1) != 1) _exit(13);
  }
  _exit(0);
}

struct Pipe {
  int fds[2] = {-1, -1};
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }
  void Release(int children) {
    for (int i = 0; i < children; ++i) EXPECT_EQ(write(fds[1], "g", 1), 1);
  }
};

int ExitCode(pid_t child) {
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The logged transfers of a process, in order: "TYPE REQUEST VALUE INDEX" per line.
std::vector<std::string> LoggedBy(const std::string& folder, pid_t pid) {
  std::ifstream log(folder + "/" + sim::kTransferLogName);
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) {
    if (line.rfind(std::to_string(pid) + " ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

class BenchSharing : public testing::Test {
 protected:
  void Make(const std::vector<CodecSpec>& specs) {
    folder_ = TempBenchFolder();
    MakeBench(folder_, specs);
    std::ofstream(folder_ + "/" + sim::kTransferLogName).flush();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::unique_ptr<sim::Bench> Stored() {
    std::string error;
    auto bench = sim::Bench::Load(folder_, error);
    EXPECT_TRUE(bench) << error;
    return bench;
  }
  std::string folder_;
};

CodecSpec At(const std::string& name, int port) {
  CodecSpec spec;
  spec.name = name;
  spec.port = {1, {port}};
  return spec;
}

TEST_F(BenchSharing, TwoProcessesWritingTwoCodecsAtOnceBothKeepTheirImages) {
  Make({At("a", 1), At("b", 2)});
  const auto imageA = Pattern(0x8000, 1), imageB = Pattern(0x8000, 2);
  Pipe go;
  const pid_t a = fork();
  if (a == 0) WriteFlash(folder_, 1, 0, imageA, go.fds[0]);
  const pid_t b = fork();
  if (b == 0) WriteFlash(folder_, 2, 0, imageB, go.fds[0]);
  go.Release(2);
  ASSERT_EQ(ExitCode(a), 0);
  ASSERT_EQ(ExitCode(b), 0);

  auto bench = Stored();
  EXPECT_TRUE(bench->Find("a")->Memory().Bytes() == [&] {
    auto m = imageA;
    m.resize(sim::MemorySize(sim::MemoryKind::kSpiFlash), 0xFF);
    return m;
  }()) << "codec a lost its image";
  const auto memoryB = bench->Find("b")->Memory().Bytes();
  EXPECT_TRUE(std::equal(imageB.begin(), imageB.end(), memoryB.begin())) << "codec b lost its image";
  EXPECT_EQ(bench->Find("a")->Counters().vendor, imageA.size() / kChunk);
  EXPECT_EQ(bench->Find("b")->Counters().vendor, imageB.size() / kChunk);
}

TEST_F(BenchSharing, TwoProcessesOnOneCodecAreSerialisedAndNeitherLosesAChange) {
  Make({At("a", 1)});
  const auto low = Pattern(0x8000, 3), high = Pattern(0x8000, 4);
  Pipe go;
  const pid_t first = fork();
  if (first == 0) WriteFlash(folder_, 1, 0, low, go.fds[0]);
  const pid_t second = fork();
  if (second == 0) WriteFlash(folder_, 1, 0x8000, high, go.fds[0]);
  go.Release(2);
  ASSERT_EQ(ExitCode(first), 0);
  ASSERT_EQ(ExitCode(second), 0);

  // The two really ran side by side: their transfers alternate in the log.
  std::ifstream log(folder_ + "/" + sim::kTransferLogName);
  int switches = 0;
  std::string last;
  for (std::string line; std::getline(log, line);) {
    const std::string pid = line.substr(0, line.find(' '));
    switches += !last.empty() && pid != last;
    last = pid;
  }
  EXPECT_GT(switches, 2) << "the writers did not overlap; the test proves nothing";

  auto bench = Stored();
  const auto memory = bench->Find("a")->Memory().Bytes();
  EXPECT_TRUE(std::equal(low.begin(), low.end(), memory.begin()));
  EXPECT_TRUE(std::equal(high.begin(), high.end(), memory.begin() + 0x8000));
  const sim::TransferCounters& n = bench->Find("a")->Counters();
  EXPECT_EQ(n.vendor, 2 * low.size() / kChunk) << "transfers of one process were lost";
  EXPECT_EQ(n.bytesOut, low.size() + high.size());
}

// A host never works on a stale copy: what another host on the bench did (a
// write, a mode switch, armed faults) is what the next transfer sees.
TEST_F(BenchSharing, EachTransferSeesWhatAnotherHostDidJustBefore) {
  CodecSpec running = At("a", 1);
  running.chip = "VMC2230";
  running.firmware = SampleImageBytes("VMC2230", "4.119.0000-0000.0008");
  Make({running});
  std::string error;
  auto one = sim::OpenBench(folder_, error);
  auto two = sim::OpenBench(folder_, error);
  ASSERT_TRUE(one && two) << error;
  auto deviceOne = OpenAt(*one, 1);
  auto deviceTwo = OpenAt(*two, 1);
  ASSERT_TRUE(deviceOne && deviceTwo);
  Channels first(*deviceOne), second(*deviceTwo);
  std::vector<std::uint8_t> mode(1), bytes(2), reg(1);

  ASSERT_EQ(first.VendorOut(0x2F, 0, 0x7F40, {0x5A, 0xA5}), kErrorSuccess);  // code memory
  ASSERT_EQ(second.VendorIn(0x2E, 0, 0x7F40, bytes), kErrorSuccess);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x5A, 0xA5}));
  ASSERT_EQ(first.VendorOut(0x24, 0, 0x8000, {0x3C}), kErrorSuccess);  // data memory
  ASSERT_EQ(second.VendorIn(0x25, 0, 0x8000, reg), kErrorSuccess);
  EXPECT_EQ(reg[0], 0x3C);

  ASSERT_EQ(second.VendorIn(0x06, 0, 0, mode), kErrorSuccess);
  EXPECT_EQ(mode[0], sim::kModeSpi);
  ASSERT_EQ(first.VendorOut(0x20, 2, 0), kErrorSuccess);  // into the boot ROM, on the bus
  ASSERT_EQ(second.VendorIn(0x06, 0, 0, mode), kErrorSuccess);
  EXPECT_EQ(mode[0], sim::kModeRom);

  {  // faults armed by another program, as tessaload-sim fault does
    auto bench = sim::Bench::Load(folder_, error);
    ASSERT_TRUE(bench) << error;
    sim::CodecLock lock(*bench, "a");
    sim::Codec* codec = bench->Reload("a");
    ASSERT_TRUE(codec);
    ASSERT_TRUE(sim::ApplyFaultSpec("stall=vendor:2E", codec->Faults(), codec->Memory().StuckBits(), error));
    ASSERT_TRUE(bench->Commit("a", 0));
  }
  EXPECT_EQ(first.VendorIn(0x2E, 0, 0x40, bytes), platform::kErrorGenFailure);
  EXPECT_EQ(second.VendorIn(0x2E, 0, 0x40, bytes), platform::kErrorGenFailure);

  auto bench = Stored();
  EXPECT_EQ(bench->Find("a")->Counters().transfers, 9u) << "each host's transfers count";
  EXPECT_EQ(bench->Find("a")->Counters().failed, 2u);
  EXPECT_GE(bench->TimeOf("a"), std::max(one->HostClock().NowUs(), two->HostClock().NowUs()))
      << "the codec's time is the latest of its hosts";
}

// In a child process: as the program working on codec `name` does, stores
// it re-enumerated at new instances and at virtual time `atUs`, then keeps
// its lock (a long command, a chip erase say) until a byte comes on
// `release`. Writes the new function instance to `ready` first.
[[noreturn]] void HoldReenumerated(const std::string& folder, const std::string& name, std::uint64_t atUs,
                                   int ready, int release) {
  std::string error;
  auto bench = sim::Bench::Load(folder, error);
  if (!bench) _exit(11);
  const std::uint32_t first = bench->AllocateInstances(2);
  sim::CodecLock lock(*bench, name);
  sim::Codec* codec = first && lock.Held() ? bench->Reload(name) : nullptr;
  if (!codec) _exit(12);
  codec->SetInstances(first, first + 1);
  if (!bench->Commit(name, atUs)) _exit(13);
  const std::uint32_t function = first + 1;
  if (write(ready, &function, sizeof function) != sizeof function) _exit(14);
  char byte = 0;
  if (read(release, &byte, 1) != 1) _exit(15);
  _exit(0);
}

std::uint32_t FunctionAt(platform::UsbHost& host, std::uint32_t port) {
  for (const auto& node : host.Nodes()) {
    if (node.audioInterface && node.address == port) return node.instance;
  }
  return 0;
}

// While another process holds one codec's lock, a host lists every codec
// (that one as last stored, at its time) and works on the others at once:
// programs on different codecs never wait for each other.
TEST_F(BenchSharing, ACodecBusyInAnotherProcessKeepsNoOtherCodecWaiting) {
  Make({At("a", 1), At("b", 2)});
  std::string error;
  auto host = sim::OpenBench(folder_, error);
  ASSERT_TRUE(host) << error;
  const std::uint32_t before = FunctionAt(*host, 1);
  ASSERT_NE(before, 0u);
  auto deviceB = OpenAt(*host, 2);
  ASSERT_TRUE(deviceB);
  Channels b(*deviceB);

  constexpr std::uint64_t kHolderTimeUs = 7'000'000;
  Pipe ready, release;
  const pid_t holder = fork();
  if (holder == 0) HoldReenumerated(folder_, "a", kHolderTimeUs, ready.fds[1], release.fds[0]);
  std::uint32_t moved = 0;
  ASSERT_EQ(read(ready.fds[0], &moved, sizeof moved), static_cast<ssize_t>(sizeof moved));

  EXPECT_EQ(FunctionAt(*host, 1), moved) << "codec a is listed as it was before its holder stored it moved";
  EXPECT_NE(moved, before);
  EXPECT_GE(host->HostClock().NowUs(), kHolderTimeUs) << "the host shows codec a's change before its time";
  std::vector<std::uint8_t> mode(1);
  EXPECT_EQ(b.VendorIn(0x06, 0, 0, mode), kErrorSuccess);
  EXPECT_EQ(b.VendorOut(0x2F, 0, 0x100, {0x12, 0x34}), kErrorSuccess);
  release.Release(1);
  ASSERT_EQ(ExitCode(holder), 0);
  EXPECT_EQ(Stored()->Find("b")->Counters().vendor, 2u);
}

// Killed mid-write, a process leaves the flash holding the chunks the codec
// took: those it logged, and at most the one in flight when the kill came.
TEST_F(BenchSharing, AProcessKilledMidWriteLeavesExactlyWhatTheCodecReceived) {
  Make({At("a", 1)});
  const auto image = Pattern(0x10000, 5);
  Pipe go, progress;
  const pid_t writer = fork();
  if (writer == 0) WriteFlash(folder_, 1, 0, image, go.fds[0], progress.fds[1], 300);
  go.Release(1);
  char byte = 0;
  ASSERT_EQ(read(progress.fds[0], &byte, 1), 1);
  ASSERT_EQ(kill(writer, SIGKILL), 0);
  EXPECT_EQ(ExitCode(writer), -1);

  std::size_t logged = 0;
  for (const std::string& line : LoggedBy(folder_, writer)) logged += line.find(" 40 2F ") != std::string::npos;
  ASSERT_GE(logged, 300u);
  ASSERT_LT(logged, image.size() / kChunk) << "the writer ended before the kill";

  auto bench = Stored();
  const auto memory = bench->Find("a")->Memory().Bytes();
  std::size_t held = 0;
  while (held < image.size() / kChunk &&
         std::equal(image.begin() + held * kChunk, image.begin() + (held + 1) * kChunk, memory.begin() + held * kChunk)) {
    ++held;
  }
  EXPECT_TRUE(held == logged || held == logged + 1) << held << " chunks held, " << logged << " logged";
  EXPECT_TRUE(std::all_of(memory.begin() + held * kChunk, memory.end(), [](std::uint8_t b) { return b == 0xFF; }))
      << "the flash holds more than the writer sent";
  const std::uint64_t counted = bench->Find("a")->Counters().vendor;
  EXPECT_TRUE(counted == logged || counted == logged + 1) << counted;
}

}  // namespace
}  // namespace simtest
