// Station mode against fake jobs on a simulated bench: codecs pulled out and
// plugged in across the ports make one unit each, with the right job (write,
// verify only when up to date, none when newer), the right counts, and the
// other port carrying on meanwhile.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/gang/station.h"
#include "sim/open_bench.h"
#include "tests/gang/fake_job.h"
#include "tests/sim/sim_fixture.h"

namespace {

std::string Bin(const std::string& name) { return std::string(TESSALOAD_BINARY_DIR) + "/bin/" + name; }

class StationRun : public testing::Test {
 protected:
  void SetUp() override {
    folder = simtest::TempBenchFolder();
    simtest::CodecSpec c1, c2;
    c1.name = "c1";
    c2.name = "c2";
    c2.port = {1, {2}};
    simtest::MakeBench(folder, {c1, c2});
    setenv("FAKE_DIR", dir.Path().c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  void Sim(const std::string& command, const std::string& codec) {
    ASSERT_EQ(std::system((Bin("tessaload-sim") + " " + command + " " + folder + " " + codec).c_str()), 0);
  }
  const GangSlot& Slot(const std::string& port) const { return port == "1-1" ? slots[0] : slots[1]; }
  int Ended(const std::string& port) const { return Slot(port).passed + Slot(port).failed; }
  bool Waiting(const std::string& port) const { return Slot(port).state == GangSlot::State::kWaiting; }

  std::string folder;
  TempDir dir;
  std::string script = WriteFakeJob(dir);
  std::vector<GangSlot> slots;
};

TEST_F(StationRun, EachArrivalIsOneUnitAndTheOtherPortCarriesOn) {
  std::string error;
  auto host = sim::OpenBench(folder, error);
  ASSERT_TRUE(host) << error;
  dir.Write("fail-1-2", "");

  StationSetup setup;
  setup.ports = {"1-1", "1-2"};
  setup.imageVersion = ParseVersionText("4.120.0000-0000.0001");
  setup.command = [&](const std::string& action, const std::string& port) {
    return FakeJobCommand(script, "station-" + action, port);
  };
  StationHooks hooks;
  std::vector<nlohmann::json> results;
  std::vector<std::string> units;
  hooks.onLine = [&](const std::string& line) {
    const auto event = nlohmann::json::parse(line);
    if (event["event"] == "result") results.push_back(event);
  };
  hooks.onUnit = [&](const GangSlot& slot) { units.push_back(slot.port + " " + std::to_string(slot.unit)); };
  hooks.onChange = [&](const std::vector<GangSlot>& now) { slots = now; };
  // The operator's hands, one step each time the station looks.
  int step = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  hooks.stopRequested = [&] {
    if (std::chrono::steady_clock::now() > deadline) return true;
    switch (step) {
      case 0:  // both first units done: 1-1 passed, 1-2 failed
        if (Ended("1-1") < 1 || Ended("1-2") < 1) return false;
        std::filesystem::remove(dir.File("fail-1-2"));
        dir.Write("version-1-1", "4.120.0000-0000.0001");
        Sim("unplug", "c1");
        break;
      case 1:  // 1-1 empty, 1-2 still shows its failure
        if (!Waiting("1-1")) return false;
        EXPECT_EQ(Slot("1-2").state, GangSlot::State::kFailed);
        Sim("plug", "c1");
        break;
      case 2:  // the same codec again: already up to date
        if (Ended("1-1") < 2) return false;
        Sim("unplug", "c2");
        break;
      case 3:
        if (!Waiting("1-2")) return false;
        Sim("plug", "c2");
        break;
      case 4:  // 1-2's new unit passes; 1-1 gets a codec running a newer image
        if (Ended("1-2") < 2) return false;
        dir.Write("version-1-1", "4.121.0000-0000.0001");
        Sim("unplug", "c1");
        break;
      case 5:
        if (!Waiting("1-1")) return false;
        Sim("plug", "c1");
        break;
      case 6:
        if (Ended("1-1") < 3) return false;
        break;
      default:
        return true;
    }
    ++step;
    return false;
  };
  slots = Station(*host, setup, hooks).Run();
  ASSERT_EQ(step, 7) << "the station stopped before the operator was done";

  EXPECT_EQ(Slot("1-1").unit, 3);
  EXPECT_EQ(Slot("1-1").passed, 2);
  EXPECT_EQ(Slot("1-1").upToDate, 1);
  EXPECT_EQ(Slot("1-1").failed, 1);
  EXPECT_EQ(Slot("1-1").status, 42046);
  EXPECT_EQ(Slot("1-2").unit, 2);
  EXPECT_EQ(Slot("1-2").passed, 1);
  EXPECT_EQ(Slot("1-2").failed, 1);
  // The first two units ran side by side, in either order.
  ASSERT_EQ(units.size(), 5u);
  std::sort(units.begin(), units.begin() + 2);
  EXPECT_EQ(units, (std::vector<std::string>{"1-1 1", "1-2 1", "1-1 2", "1-2 2", "1-1 3"}));
  // The up-to-date unit was only verified, the newer one not touched.
  std::string actions = dir.Read("actions");
  ASSERT_GT(actions.size(), 20u);
  EXPECT_TRUE(actions.starts_with("write 1-1\nwrite 1-2\n") || actions.starts_with("write 1-2\nwrite 1-1\n"));
  EXPECT_EQ(actions.substr(20), "verify 1-1\nwrite 1-2\n");

  ASSERT_EQ(results.size(), 5u);
  for (const auto& r : results) EXPECT_TRUE(r.contains("unit")) << r;
  if (results[0]["port"] == "1-2") std::swap(results[0], results[1]);
  EXPECT_EQ(results[1]["port"], "1-2");
  EXPECT_EQ(results[1]["pass"], false);
  EXPECT_EQ(results[1]["reason"], "Compare Data Fail!");
  EXPECT_EQ(results[2]["action"], "verify");
  EXPECT_EQ(results[2]["up_to_date"], true);
  EXPECT_EQ(results[4]["status"], 42046);
  EXPECT_EQ(results[4]["unit"], 3);

  EXPECT_EQ(StationExitCode(slots), 3);
  const auto summary = nlohmann::json::parse(StationSummaryJson(slots));
  EXPECT_EQ(summary["passed"], 3);
  EXPECT_EQ(summary["failed"], 2);
  EXPECT_EQ(summary["results"][0]["up_to_date"], 1);
}

}  // namespace
