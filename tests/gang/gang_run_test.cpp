// The gang's supervisor against fake jobs: every job's outcome lands in its
// own slot, whatever another job does (fails, crashes, hangs, ignores a stop),
// and the exit code and summary name the first failure in port order.
#include <gtest/gtest.h>
#include <signal.h>

#include <map>
#include <nlohmann/json.hpp>

#include "app/gang/gang_report.h"
#include "app/gang/gang_run.h"
#include "app/gang/job_options.h"
#include "tests/gang/fake_job.h"

namespace {

class GangRun : public testing::Test {
 protected:
  std::vector<GangSlot> Run(const std::map<std::string, std::string>& behaviours, JobLimits limits = {}) {
    std::vector<std::string> ports;
    for (const auto& [port, behaviour] : behaviours) ports.push_back(port);
    std::sort(ports.begin(), ports.end(), PortBefore);
    hooks.onLine = [this](const GangSlot& slot, const std::string& line) { lines.push_back(slot.port + " " + line); };
    hooks.onEnd = [this](const GangSlot& slot) { ended.push_back(slot.port); };
    return RunGang(
        ports, [&](const std::string& port) { return FakeJobCommand(script, behaviours.at(port), port); }, limits,
        platform::SystemClock(), hooks);
  }
  static const GangSlot& Slot(const std::vector<GangSlot>& slots, const std::string& port) {
    for (const GangSlot& slot : slots)
      if (slot.port == port) return slot;
    throw std::runtime_error("no slot " + port);
  }

  TempDir dir;
  std::string script = WriteFakeJob(dir);
  GangHooks hooks;
  std::vector<std::string> lines;
  std::vector<std::string> ended;
};

TEST_F(GangRun, EachJobsOutcomeStaysInItsOwnSlot) {
  JobLimits limits;
  limits.silenceMs = 400;  // the hung job; the others end at once
  limits.stopGraceMs = 400;
  const auto slots = Run({{"1-1", "pass"},
                          {"1-2", "fail"},
                          {"1-3", "crash"},
                          {"1-4", "hang"},
                          {"1-5", "stubborn"},
                          {"1-6", "dies"},
                          {"1-7", "noisy"},
                          {"1-10", "pass"}},
                         limits);
  ASSERT_EQ(slots.size(), 8u);
  EXPECT_EQ(slots.back().port, "1-10") << "ports in bus order";

  const GangSlot& passed = Slot(slots, "1-1");
  EXPECT_EQ(passed.state, GangSlot::State::kPassed);
  EXPECT_EQ(passed.serial, "S1-1");
  EXPECT_EQ(passed.percent, 100);
  EXPECT_EQ(passed.status, 41755);

  const GangSlot& failed = Slot(slots, "1-2");
  EXPECT_EQ(failed.state, GangSlot::State::kFailed);
  EXPECT_EQ(failed.status, 41706);
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_EQ(failed.reason, "Update Flash Fail!");
  EXPECT_EQ(failed.phase, "erase");

  const GangSlot& crashed = Slot(slots, "1-3");
  EXPECT_EQ(crashed.state, GangSlot::State::kFailed);
  EXPECT_EQ(crashed.status, 41543);
  EXPECT_EQ(crashed.percent, 30);
  EXPECT_NE(crashed.reason.find("signal 9"), std::string::npos) << crashed.reason;
  EXPECT_NE(crashed.reason.find("about to crash"), std::string::npos) << crashed.reason;

  for (const std::string hung : {"1-4", "1-5"}) {
    const GangSlot& slot = Slot(slots, hung);
    EXPECT_EQ(slot.state, GangSlot::State::kFailed) << hung;
    EXPECT_NE(slot.reason.find("no output for 400 ms"), std::string::npos) << hung << ": " << slot.reason;
  }
  const GangSlot& died = Slot(slots, "1-6");
  EXPECT_NE(died.reason.find("exit code 3"), std::string::npos) << died.reason;
  EXPECT_NE(died.reason.find("codec gone"), std::string::npos) << died.reason;

  EXPECT_EQ(Slot(slots, "1-7").state, GangSlot::State::kPassed);
  EXPECT_EQ(Slot(slots, "1-10").state, GangSlot::State::kPassed);

  // Only the contract's events are passed on, each once, tagged by its port.
  for (const std::string& line : lines) EXPECT_EQ(line.find("not json"), std::string::npos);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("1-7 "); }),
            2);
  EXPECT_EQ(ended.size(), 8u);

  EXPECT_EQ(GangExitCode(slots), 1);
  const std::string summary = GangSummaryText("write", slots, 1500);
  EXPECT_NE(summary.find("3 passed, 5 failed"), std::string::npos) << summary;
  EXPECT_NE(summary.find("1-2: 41706 Update Flash Fail!"), std::string::npos) << summary;
  EXPECT_EQ(summary.find("1-1:"), std::string::npos) << summary;

  const auto json = nlohmann::json::parse(GangSummaryJson("write", slots, 1500));
  EXPECT_EQ(json["event"], "summary");
  EXPECT_EQ(json["passed"], 3);
  EXPECT_EQ(json["failed"], 5);
  EXPECT_EQ(json["exit_code"], 1);
  ASSERT_EQ(json["results"].size(), 8u);
  EXPECT_EQ(json["results"][0]["port"], "1-1");
  EXPECT_EQ(json["results"][0]["pass"], true);
  EXPECT_EQ(json["results"][1]["exit_code"], 1);
}

TEST_F(GangRun, TheExitCodeIsTheFirstFailureInPortOrder) {
  struct Case {
    std::map<std::string, std::string> behaviours;
    int exitCode;
  };
  const Case cases[] = {
      {{{"1-1", "pass"}, {"1-2", "pass"}}, 0},
      {{{"1-2", "fail"}, {"1-10", "refused"}}, 1},
      {{{"1-2", "refused"}, {"1-10", "fail"}}, 2},
      {{{"1-1", "pass"}, {"2-1", "refused"}}, 2},
      // A job that claims a pass with a failing exit code, or fails with
      // exit code 0, never makes the gang pass.
      {{{"1-1", "lying"}}, 2},
      {{{"1-1", "quiet"}}, 1},
  };
  for (const Case& c : cases) {
    const auto slots = Run(c.behaviours);
    EXPECT_EQ(GangExitCode(slots), c.exitCode) << GangSummaryText("write", slots, 0);
  }
}

TEST_F(GangRun, AStopReachesEveryJobAndTheGangWaitsForThem) {
  setenv("START_LOG", dir.File("started").c_str(), 1);
  setenv("STOP_LOG", dir.File("stopped").c_str(), 1);
  hooks.stopRequested = [this] {
    const std::string started = dir.Read("started");
    return std::count(started.begin(), started.end(), '\n') == 3;
  };
  JobLimits limits;
  limits.silenceMs = 3600000;  // only the stop ends these jobs
  const auto slots = Run({{"1-1", "stoppable"}, {"1-2", "stoppable"}, {"1-3", "stoppable"}}, limits);
  for (const GangSlot& slot : slots) {
    EXPECT_EQ(slot.state, GangSlot::State::kFailed) << slot.port;
    EXPECT_EQ(slot.status, 41542) << slot.port;
    EXPECT_NE(dir.Read("stopped").find(slot.port), std::string::npos) << slot.port << " never got the stop";
  }
}

TEST(GangPorts, PortListsAreCheckedAndOrderedByTheBus) {
  std::vector<std::string> ports;
  std::string error;
  ASSERT_TRUE(ParsePortList("1-10,2-1,1-2,1-1.3,1-1", ports, error)) << error;
  EXPECT_EQ(ports, (std::vector<std::string>{"1-1", "1-1.3", "1-2", "1-10", "2-1"}));
  for (const char* bad : {"", "1-1,", ",1-1", "1-1,1-2,1-1"}) {
    EXPECT_FALSE(ParsePortList(bad, ports, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(GangSlotLines, OnlyEventsOfTheContractChangeASlot) {
  struct Case {
    const char* line;
    bool taken;
    GangSlot::State state;
  };
  const Case cases[] = {
      {"", false, GangSlot::State::kRunning},
      {"garbage", false, GangSlot::State::kRunning},
      {R"({"schema":2,"event":"result","pass":true,"exit_code":0})", false, GangSlot::State::kRunning},
      {R"({"event":"result","pass":true,"exit_code":0})", false, GangSlot::State::kRunning},
      {R"({"schema":1,"event":"codec","port":"1-1"})", false, GangSlot::State::kRunning},
      {R"({"schema":1,"event":"result","pass":true,"exit_code":0,"status":41755})", true, GangSlot::State::kPassed},
      {R"({"schema":1,"event":"result","pass":"yes","exit_code":0})", true, GangSlot::State::kFailed},
      {R"({"schema":1,"event":"result","pass":true})", true, GangSlot::State::kFailed},
  };
  for (const Case& c : cases) {
    GangSlot slot;
    slot.BeginJob();
    EXPECT_EQ(ApplyJobLine(slot, c.line), c.taken) << c.line;
    EXPECT_EQ(slot.state, c.state) << c.line;
    if (slot.state == GangSlot::State::kFailed) {
      EXPECT_NE(slot.exitCode, 0) << c.line;
    }
  }
}

}  // namespace
