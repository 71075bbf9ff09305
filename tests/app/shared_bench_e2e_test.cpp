// tessaload on a bench that other programs use at the same time. The test
// watches the memory of the codec being written and, the moment it first
// changes, stops the write while another program changes another codec, or
// kills it. Nothing another program did is lost, and a killed write
// leaves the codec holding exactly the transfers it logged.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "sim/bench.h"
#include "sim/sim_host.h"
#include "tests/support/factory_fixture.h"

namespace {

struct LoggedTransfer {
  std::string codec;
  unsigned type = 0, request = 0, value = 0, index = 0, length = 0, error = 0;
};

class SharedBench : public Factory {
 protected:
  void SetUp() override {
    Factory::SetUp();
    station_.Write("bench/" + std::string(sim::kTransferLogName), "");
  }
  void TearDown() override {
    if (writer_ > 0) {
      kill(writer_, SIGKILL);
      waitpid(writer_, nullptr, 0);
    }
  }

  // Starts `tessaload -f -write new.bin` in the background, held before its
  // first transfer until SignalOnFirstChange watches.
  void StartWrite() {
    hold_ = std::make_unique<platform::NamedMutex>(sim::CodecLockName(bench_, "c1"));
    ASSERT_TRUE(hold_->Lock(10000, platform::SystemClock()));
    const std::string command = "cd '" + station_.Path() + "' && exec env TESSALOAD_SIM='" + bench_ +
                                "' ./tessaload -f -write new.bin > write.out 2>&1";
    writer_ = fork();
    if (writer_ == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(writer_, 0);
    started_ = writer_;
  }
  // StartWrite and SignalOnFirstChange; a write that ended before the signal
  // is tried again on the bench as it was (a busy machine may not let this
  // test run in time).
  bool StartWriteAndSignal(const std::string& before, int signal) {
    const std::string pristine = station_.File("pristine");
    std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
    for (int attempt = 0; attempt < 3; ++attempt) {
      if (attempt > 0) RestoreBench(pristine);
      StartWrite();
      if (SignalOnFirstChange(before, signal)) return true;
    }
    return false;
  }
  int WaitWriter() {
    int status = 0;
    EXPECT_EQ(waitpid(writer_, &status, 0), writer_);
    writer_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<LoggedTransfer> Logged() {
    std::istringstream log(station_.Read("bench/" + std::string(sim::kTransferLogName)));
    std::vector<LoggedTransfer> transfers;
    for (std::string line; std::getline(log, line);) {
      std::istringstream fields(line);
      long pid = 0;
      LoggedTransfer t;
      fields >> pid >> t.codec >> std::hex >> t.type >> t.request >> t.value >> t.index >> std::dec >> t.length >> t.error;
      if (pid == started_) transfers.push_back(t);
    }
    return transfers;
  }
  static bool IsFlashWrite(const LoggedTransfer& t) { return t.type == 0x40 && t.request == 0x2F && t.error == 0; }

  void Release() {
    hold_->Unlock();
    hold_.reset();
  }
  // Sends `signal` (SIGSTOP or SIGKILL) to the writer the moment codec c1's
  // memory differs from `before` (watched through the bench's shared memory
  // file) and waits until it is stopped or gone. False when the writer ended
  // first.
  bool SignalOnFirstChange(const std::string& before, int signal) {
    std::string error;
    auto bench = sim::Bench::Load(bench_, error);
    Release();
    if (!bench) return false;
    const sim::CodeMemory& memory = bench->Find("c1")->Memory();
    for (;;) {
      for (std::uint32_t a = 0; a < before.size(); ++a) {
        if (memory.Read(a) == static_cast<std::uint8_t>(before[a])) continue;
        int status = 0;
        if (kill(writer_, signal) != 0 || waitpid(writer_, &status, WUNTRACED) != writer_) return false;
        if (WIFSTOPPED(status)) return true;
        writer_ = -1;
        return WIFSIGNALED(status) && WTERMSIG(status) == signal;
      }
      if (waitpid(writer_, nullptr, WNOHANG) == writer_) {
        writer_ = -1;
        return false;
      }
    }
  }

  pid_t writer_ = -1;
  pid_t started_ = -1;
  std::unique_ptr<platform::NamedMutex> hold_;
};

TEST_F(SharedBench, ChangesAnotherProgramMakesToAnotherCodecDuringAWriteAreKept) {
  Must(Sim("add " + bench_ + " c2 --chip VMC2232 --port 2 --firmware " + station_.File("old.bin")));
  const std::string oldMemory = Dump();
  ASSERT_TRUE(StartWriteAndSignal(oldMemory, SIGSTOP)) << "the write ended before it could be stopped";
  Must(Sim("fault " + bench_ + " c2 stall=vendor:2E"));
  Must(Sim("unplug " + bench_ + " c2"));
  ASSERT_EQ(kill(writer_, SIGCONT), 0);
  EXPECT_EQ(WaitWriter(), 0) << station_.Read("write.out");

  EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos) << Show();
  const std::string other = Sim("show " + bench_ + " c2").out;
  EXPECT_NE(other.find("unplugged"), std::string::npos) << other;
  EXPECT_NE(other.find("stall=vendor:2E"), std::string::npos) << other;
}

TEST_F(SharedBench, AWriteKilledMidJobLeavesWhatTheCodecTook) {
  const std::string oldMemory = Dump();
  const std::string image = station_.Read("new.bin");
  ASSERT_TRUE(StartWriteAndSignal(oldMemory, SIGKILL)) << "the write ended before it could be killed";

  // What the killed write changed stays, every flash write it logged among it.
  const std::string memory = Dump();
  EXPECT_FALSE(memory == oldMemory) << "the codec lost what the killed write had sent";
  for (const LoggedTransfer& t : Logged()) {
    if (!IsFlashWrite(t) || t.codec != "c1") continue;
    const std::size_t address = ((t.value >> 8) << 16) | t.index;
    ASSERT_LE(address + t.length, image.size());
    // The chunks go out with the image's start and its configuration header
    // held at 0xFF; those six-byte runs have writes of their own, later.
    auto heldBack = [](std::size_t a) { return a < 6 || (a >= 0xF000 && a < 0xF006); };
    for (std::size_t a = address; a < address + t.length; ++a) {
      if (t.length > 6 && heldBack(a)) continue;
      ASSERT_EQ(memory[a], image[a]) << "write at " << address << " lost at " << a;
    }
  }

  // After a power cycle the codec stays in its boot ROM, or starts the new
  // image only when all of it is there; never a part image.
  Must(Sim("unplug " + bench_ + " c1"));
  Must(Sim("plug " + bench_ + " c1"));
  const std::string state = Show();
  if (state.find("boot ROM update mode") == std::string::npos) {
    EXPECT_NE(state.find("4.120.0000-0000.0001"), std::string::npos) << state;
    EXPECT_TRUE(memory.substr(0, image.size()) == image) << "a part image runs";
  }
  const Outcome again = Tessaload("-f -write new.bin");
  EXPECT_EQ(again.code, 0) << again.out;
  EXPECT_NE(Show().find("4.120.0000-0000.0001"), std::string::npos);
}

}  // namespace
