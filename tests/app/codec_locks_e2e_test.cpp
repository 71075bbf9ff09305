// Programs on the same bench at the same time: each codec is held by the
// program that has it open, by its port path, so writes to two codecs never
// wait for each other and two writes to one codec take turns. The codecs'
// memories and the transfer log say what happened, not the programs.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "platform/clock.h"
#include "platform/process_lock.h"
#include "sim/sim_host.h"
#include "tests/support/factory_fixture.h"

namespace {

class CodecLocks : public Factory {
 protected:
  void SetUp() override {
    Factory::SetUp();
    Must(Sim("add " + bench_ + " c2 --chip VMC2232 --port 2 --firmware " + station_.File("old.bin")));
    station_.Write("bench/" + std::string(sim::kTransferLogName), "");
    oldMemory_ = DumpOf("c2");
    image_ = station_.Read("new.bin");
  }
  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // `tessaload ARGS` in the background, its output in write-TAG.out.
  pid_t StartWrite(const std::string& args, const std::string& tag) {
    const std::string command = "cd '" + station_.Path() + "' && exec env TESSALOAD_SIM='" + bench_ +
                                "' ./tessaload " + args + " > write-" + tag + ".out 2>&1";
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    started_.push_back(pid);
    return pid;
  }
  int Wait(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    std::erase(started_, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  bool Running(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == 0; }

  std::string DumpOf(const std::string& codec) {
    Must(Sim("dump " + bench_ + " " + codec + " " + station_.File("memory.bin")));
    return station_.Read("memory.bin");
  }
  bool HoldsTheNewImage(const std::string& codec) {
    return DumpOf(codec).substr(0, image_.size()) == image_ &&
           Sim("show " + bench_ + " " + codec).out.find("4.120.0000-0000.0001") != std::string::npos;
  }
  // The processes that sent commands (class and vendor requests) to `codec`,
  // in the order of the log, one entry for each run of commands from the
  // same process. Standard requests are the host's descriptor reads while it
  // lists the bus.
  std::vector<long> TurnsOn(const std::string& codec) {
    std::istringstream log(station_.Read("bench/" + std::string(sim::kTransferLogName)));
    std::vector<long> turns;
    for (std::string line; std::getline(log, line);) {
      std::istringstream fields(line);
      long pid = 0;
      std::string name;
      unsigned type = 0;
      fields >> pid >> name >> std::hex >> type;
      if (name != codec || (type & 0x60) == 0) continue;
      if (turns.empty() || turns.back() != pid) turns.push_back(pid);
    }
    return turns;
  }

  std::vector<pid_t> started_;
  std::string oldMemory_, image_;
};

TEST_F(CodecLocks, AProgramOnAnotherCodecDoesNotWaitWhileOneCodecIsHeld) {
  // Codec c1 (port 1) is held as a program that has it open holds it.
  platform::ProcessLock c1("TessaloadCodec@1-1");
  ASSERT_TRUE(c1.Lock(10000, platform::SystemClock()));
  const pid_t first = StartWrite("-f -write new.bin -d 0", "c1");

  const Outcome second = Tessaload("-f -write new.bin -d 1");
  EXPECT_EQ(second.code, 0) << second.out << second.err;
  EXPECT_NE(second.out.find("Write fw pass!"), std::string::npos) << second.out;
  EXPECT_TRUE(HoldsTheNewImage("c2"));

  // The write to c1 has waited all that time without a transfer to c1.
  EXPECT_TRUE(Running(first));
  EXPECT_TRUE(TurnsOn("c1").empty());
  EXPECT_TRUE(DumpOf("c1") == oldMemory_);

  c1.Unlock();
  EXPECT_EQ(Wait(first), 0) << station_.Read("write-c1.out");
  EXPECT_TRUE(HoldsTheNewImage("c1"));
  EXPECT_EQ(TurnsOn("c1"), std::vector<long>{first});
}

// Both programs name the codec by its port: a position ("-d 0") names
// whichever codec is listed first at the moment of the open, and while one
// program resets c1 that is c2.
TEST_F(CodecLocks, TwoProgramsOnOneCodecTakeTurnsAndBothPass) {
  const pid_t a = StartWrite("write new.bin --port 1-1", "a");
  const pid_t b = StartWrite("write new.bin --port 1-1", "b");
  EXPECT_EQ(Wait(a), 0) << station_.Read("write-a.out");
  EXPECT_EQ(Wait(b), 0) << station_.Read("write-b.out");
  EXPECT_TRUE(HoldsTheNewImage("c1"));
  EXPECT_TRUE(DumpOf("c2") == oldMemory_);
  // Each program's transfers in one piece: one turn each, never interleaved.
  const std::vector<long> turns = TurnsOn("c1");
  ASSERT_EQ(turns.size(), 2u);
  EXPECT_NE(turns[0], turns[1]);
}

}  // namespace
