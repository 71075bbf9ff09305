// `tessaload gang` end to end: the real program and its real jobs on a
// simulated bench (virtual time). What counts is what each codec holds and
// starts after a power cycle, burn_result.txt, the JSON Lines and the exit
// code.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "sim/sim_host.h"
#include "tests/support/factory_fixture.h"

namespace {

using Json = nlohmann::json;
constexpr char kOld[] = "4.119.0000-0000.0007";
constexpr char kNew[] = "4.120.0000-0000.0001";

class Gang : public Factory {
 protected:
  void SetUp() override {
    Factory::SetUp();  // codec c1 (SPI flash) on port 1-1, old.bin and new.bin
    station_.Write("config.ini", "[Quillox Config]\r\nLogType=1\r\n");
  }
  // Codecs c2, c3, ... on ports 1-2, 1-3, ... with the old image of their
  // memory type.
  void AddCodecs(const std::vector<std::string>& memories) {
    for (std::size_t i = 0; i < memories.size(); ++i) {
      const std::string m = memories[i], name = "c" + std::to_string(i + 2);
      const std::string old = station_.File("old-" + m + ".bin");
      if (!std::filesystem::exists(old)) Must(Image("build --chip VMC2232 --memory " + m + " --version " + kOld + " -o " + old));
      Must(Sim("add " + bench_ + " " + name + " --chip VMC2232 --memory " + m + " --port " + std::to_string(i + 2) +
               " --serial S" + std::to_string(i + 2) + " --firmware " + old));
    }
  }
  std::string ShowOf(const std::string& codec) { return Sim("show " + bench_ + " " + codec).out; }
  std::string PowerCycled(const std::string& codec) {
    Must(Sim("unplug " + bench_ + " " + codec));
    Must(Sim("plug " + bench_ + " " + codec));
    return ShowOf(codec);
  }
  std::string DumpOf(const std::string& codec) {
    Must(Sim("dump " + bench_ + " " + codec + " " + station_.File("memory.bin")));
    return station_.Read("memory.bin");
  }
  // The codec starts the whole new image after a power cycle.
  void ExpectNewImage(const std::string& codec) {
    EXPECT_NE(PowerCycled(codec).find(kNew), std::string::npos) << codec << ": " << ShowOf(codec);
    const std::string image = station_.Read("new.bin");
    EXPECT_TRUE(DumpOf(codec).substr(0, image.size()) == image) << codec << " does not hold the image";
  }
  // After a failed or broken job: the old image from unchanged memory, or the
  // boot ROM; the new version only with the whole new image.
  void ExpectNoPartImage(const std::string& codec, const std::string& oldMemory) {
    const std::string show = PowerCycled(codec);
    if (show.find(kNew) != std::string::npos) {
      ExpectNewImage(codec);
    } else if (show.find(kOld) != std::string::npos) {
      EXPECT_TRUE(DumpOf(codec) == oldMemory) << codec << " runs its old image from changed memory";
    } else {
      EXPECT_NE(show.find("boot ROM update mode"), std::string::npos) << show;
    }
  }
  static std::vector<Json> Lines(const std::string& out) {
    std::vector<Json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
      lines.push_back(Json::parse(line, nullptr, false));
      EXPECT_TRUE(lines.back().is_object()) << line;
    }
    return lines;
  }
  // burn_result.txt rows (after the two header lines), by serial field.
  std::vector<std::string> Rows() {
    std::istringstream in(station_.Read("burn_result.txt"));
    std::vector<std::string> rows;
    int n = 0;
    for (std::string line; std::getline(in, line);)
      if (++n > 2) rows.push_back(line);
    return rows;
  }
};

TEST_F(Gang, EveryCodecOfMixedMemoriesEndsWithTheImage) {
  struct Case {
    std::vector<std::string> others;  // beside c1 on SPI flash
    std::string ports;
  };
  const Case cases[] = {{{"nor"}, "1-1,1-2"}, {{"nor", "spi", "nor"}, "1-4,1-2,1-3,1-1"}};
  const std::string pristine = station_.File("pristine");
  std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ports);
    RestoreBench(pristine);
    std::filesystem::remove(station_.File("burn_result.txt"));
    AddCodecs(c.others);
    const Outcome o = Tessaload("gang write new.bin --ports " + c.ports + " --json");
    EXPECT_EQ(o.code, 0) << o.err;
    const std::vector<Json> lines = Lines(o.out);
    ASSERT_FALSE(lines.empty());
    const Json& summary = lines.back();
    EXPECT_EQ(summary["event"], "summary");
    EXPECT_EQ(summary["passed"], c.others.size() + 1);
    EXPECT_EQ(summary["failed"], 0);
    std::map<std::string, int> results;
    for (const Json& line : lines)
      if (line["event"] == "result") {
        EXPECT_EQ(line["pass"], true) << line;
        ++results[line["port"]];
      }
    EXPECT_EQ(results.size(), c.others.size() + 1);
    for (const auto& [port, n] : results) EXPECT_EQ(n, 1) << port;
    for (std::size_t i = 0; i <= c.others.size(); ++i) ExpectNewImage("c" + std::to_string(i + 1));
    // One row per codec, from the gang alone (its jobs wrote none).
    const std::vector<std::string> rows = Rows();
    EXPECT_EQ(rows.size(), c.others.size() + 1) << station_.Read("burn_result.txt");
    for (const std::string& row : rows) EXPECT_NE(row.find("Pass,"), std::string::npos) << row;
  }
}

TEST_F(Gang, APowerLossFailsOnlyItsCodecAndTheExitCodeNamesIt) {
  AddCodecs({"spi", "spi"});
  const std::string oldMemory = DumpOf("c2");
  Must(Sim("fault " + bench_ + " c2 disconnect-after=250"));
  const Outcome o = Tessaload("gang write new.bin --ports 1-1,1-2,1-3 --json");
  EXPECT_EQ(o.code, 1) << o.err << o.out.substr(o.out.size() > 3000 ? o.out.size() - 3000 : 0);
  EXPECT_NE(o.err.find("2 passed, 1 failed (1-2: "), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("1-1:"), std::string::npos) << o.err;
  ExpectNewImage("c1");
  ExpectNewImage("c3");
  ExpectNoPartImage("c2", oldMemory);
  const std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const std::string& r) { return r.find("Fail,") != std::string::npos; }), 1);
}

// The children of a process, from /proc.
std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::ifstream in("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
  std::vector<pid_t> pids;
  for (pid_t pid; in >> pid;) pids.push_back(pid);
  return pids;
}
std::string CommandLineOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
  std::string text(std::istreambuf_iterator<char>(in), {});
  std::replace(text.begin(), text.end(), '\0', ' ');
  return text;
}
char StateOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat(std::istreambuf_iterator<char>(in), {});
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() ? stat[close + 2] : '?';
}

TEST_F(Gang, AKilledJobFailsOnlyItsOwnSlot) {
  AddCodecs({"spi", "spi"});
  const std::string oldMemory = DumpOf("c2");
  const std::string pristine = station_.File("pristine");
  std::filesystem::copy(bench_, pristine, std::filesystem::copy_options::recursive);
  // The job of 1-2 is stopped as soon as it runs and then killed; a job that
  // ended before it could be caught is tried again on the pristine bench.
  bool killed = false;
  int code = -1;
  for (int attempt = 0; attempt < 5 && !killed; ++attempt) {
    RestoreBench(pristine);
    std::filesystem::remove(station_.File("burn_result.txt"));
    const std::string command = "cd '" + station_.Path() + "' && exec env TESSALOAD_SIM='" + bench_ +
                                "' ./tessaload gang write new.bin --ports 1-1,1-2,1-3 --json > gang.out 2> gang.err";
    const pid_t gang = fork();
    if (gang == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(gang, 0);
    for (int status = 0; !killed && waitpid(gang, &status, WNOHANG) == 0;) {
      for (pid_t child : ChildrenOf(gang)) {
        if (CommandLineOf(child).find("--port 1-2 ") == std::string::npos) continue;
        if (kill(child, SIGSTOP) != 0) break;
        for (char s; (s = StateOf(child)) != 'T' && s != 'Z' && s != '?';) usleep(100);
        killed = StateOf(child) == 'T' && kill(child, SIGKILL) == 0;
        break;
      }
    }
    int status = 0;
    waitpid(gang, &status, 0);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ASSERT_TRUE(killed) << "the job of 1-2 always ended before it could be killed";
  EXPECT_EQ(code, 1) << station_.Read("gang.err");
  const std::vector<Json> lines = Lines(station_.Read("gang.out"));
  ASSERT_FALSE(lines.empty());
  const Json& summary = lines.back();
  EXPECT_EQ(summary["passed"], 2);
  ASSERT_EQ(summary["results"].size(), 3u);
  EXPECT_EQ(summary["results"][1]["port"], "1-2");
  EXPECT_EQ(summary["results"][1]["pass"], false);
  EXPECT_NE(summary["results"][1]["reason"].get<std::string>().find("signal 9"), std::string::npos) << summary;
  ExpectNewImage("c1");
  ExpectNewImage("c3");
  ExpectNoPartImage("c2", oldMemory);
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(Gang, TwoGangsOnOverlappingPortsNeverInterleaveOnACodec) {
  AddCodecs({"spi", "spi"});
  station_.Write("bench/" + std::string(sim::kTransferLogName), "");
  const Outcome both = Run("cd '" + station_.Path() + "' && export TESSALOAD_SIM='" + bench_ +
                           "' && { ./tessaload gang write new.bin --ports 1-1,1-2 > a.out 2>&1 & "
                           "./tessaload gang write new.bin --ports 1-2,1-3 > b.out 2>&1; b=$?; wait $!; a=$?; "
                           "echo $a $b; }");
  EXPECT_EQ(both.out, "0 0\n") << station_.Read("a.out") << station_.Read("b.out");
  // While a job programs a codec (from its first flash write to its last)
  // no command of another job (a class or vendor request) reaches that codec;
  // another program's enumeration may still read its descriptors.
  struct Transfer {
    long pid;
    std::string codec;
    unsigned type, request;
  };
  std::vector<Transfer> transfers;
  std::istringstream log(station_.Read("bench/" + std::string(sim::kTransferLogName)));
  for (std::string line; std::getline(log, line);) {
    std::istringstream fields(line);
    Transfer t{};
    fields >> t.pid >> t.codec >> std::hex >> t.type >> t.request;
    transfers.push_back(t);
  }
  std::map<std::pair<std::string, long>, std::pair<std::size_t, std::size_t>> spans;  // (codec, job): first, last write
  for (std::size_t i = 0; i < transfers.size(); ++i) {
    const Transfer& t = transfers[i];
    if (t.type != 0x40 || t.request != 0x2F) continue;
    auto [it, fresh] = spans.try_emplace({t.codec, t.pid}, i, i);
    it->second.second = i;
  }
  std::map<std::string, int> writers;
  for (const auto& [job, span] : spans) {
    ++writers[job.first];
    for (std::size_t i = span.first; i <= span.second; ++i)
      EXPECT_FALSE(transfers[i].codec == job.first && transfers[i].pid != job.second && (transfers[i].type & 0x60))
          << "job " << transfers[i].pid << " reached " << job.first << " while job " << job.second << " programmed it";
  }
  EXPECT_EQ(writers["c2"], 2) << "both gangs wrote c2";
  EXPECT_EQ(writers["c1"], 1);
  EXPECT_EQ(writers["c3"], 1);
  for (const char* codec : {"c1", "c2", "c3"}) ExpectNewImage(codec);
}

// `tessaload station` with its real jobs: each codec arriving at one of its
// ports is one unit. The codec put back after its update already runs the
// image's version: it is only verified, "up to date", never written. One row
// per unit; the summary counts them when the station is stopped.
TEST_F(Gang, TheStationProgramsEachUnitAsItArrivesAndLeavesAnUpToDateOneAlone) {
  AddCodecs({"spi"});  // c2 on 1-2
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const std::string command = "cd '" + station_.Path() + "' && exec env TESSALOAD_SIM='" + bench_ +
                              "' ./tessaload station new.bin --ports 1-1,1-2 --json 2> station.err";
  const pid_t station = fork();
  if (station == 0) {
    dup2(pipeFds[1], 1);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(station, 0);
  close(pipeFds[1]);
  std::vector<Json> lines;
  std::string pending;
  // Reads the station's lines until `count` result events in all have come
  // (or its output ends); false after 60 s without a line.
  auto readUntilResults = [&](std::size_t count) {
    auto results = [&] {
      return std::size_t(
          std::count_if(lines.begin(), lines.end(), [](const Json& l) { return l["event"] == "result"; }));
    };
    while (results() < count) {
      pollfd p{pipeFds[0], POLLIN, 0};
      if (poll(&p, 1, 60000) != 1) return false;
      char buffer[4096];
      const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
      if (n <= 0) return results() >= count;
      pending.append(buffer, std::size_t(n));
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
        lines.push_back(Json::parse(pending.substr(0, end), nullptr, false));
    }
    return true;
  };
  const bool firstUnits = readUntilResults(2);
  // c1 pulled out and put back: a new unit on 1-1.
  if (firstUnits) {
    Must(Sim("unplug " + bench_ + " c1"));
    Must(Sim("plug " + bench_ + " c1"));
  }
  const bool secondUnit = firstUnits && readUntilResults(3);
  kill(station, SIGTERM);
  readUntilResults(1000);  // to the end of its output
  close(pipeFds[0]);
  int status = 0;
  waitpid(station, &status, 0);
  ASSERT_TRUE(firstUnits) << station_.Read("station.err");
  ASSERT_TRUE(secondUnit) << station_.Read("station.err");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << station_.Read("station.err");

  std::vector<Json> results;
  for (const Json& line : lines) {
    EXPECT_TRUE(line.is_object());
    if (line["event"] == "result") results.push_back(line);
  }
  ASSERT_EQ(results.size(), 3u);
  for (const Json& r : results) EXPECT_EQ(r["pass"], true) << r;
  const Json& again = results[2];
  EXPECT_EQ(again["port"], "1-1");
  EXPECT_EQ(again["unit"], 2);
  EXPECT_EQ(again["up_to_date"], true) << again;
  EXPECT_EQ(again["action"], "verify") << again;
  const Json& summary = lines.back();
  ASSERT_EQ(summary["event"], "summary") << summary;
  EXPECT_EQ(summary["passed"], 3);
  EXPECT_EQ(summary["failed"], 0);
  EXPECT_EQ(summary["results"][0]["units"], 2);
  EXPECT_EQ(summary["results"][0]["up_to_date"], 1);
  EXPECT_EQ(summary["results"][1]["units"], 1);
  ExpectNewImage("c1");
  ExpectNewImage("c2");
  EXPECT_EQ(Rows().size(), 3u) << station_.Read("burn_result.txt");
}

}  // namespace
