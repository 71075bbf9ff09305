// job_overhead: what the tool itself adds to a job, with the real program on a
// real-time bench (`tessaload-sim create DIR --real-time`: the codec's bus,
// erase and re-enumeration times pass on the wall clock).
//
// - start-up: from the fork of `tessaload write DIR/new.bin` to its first
// control
//   transfer, seen as the first line the bench appends to its transfers.log
//   (watched with inotify);
// - CPU share: the job process's user and system time over its wall time.
//
// A 64 KiB update of a running VMC2232, five runs, each on a fresh bench:
// their median and their least (what other load on the machine adds drops
// out of the least); the limits are printed beside the figures.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr double kStartupLimitMs = 20, kCpuShareLimit = 2.0;

std::string Bin(const std::string& name) { return std::string(TESSALOAD_BINARY_DIR) + "/bin/" + name; }

bool Run(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
  double startupMs = -1, wallMs = 0, cpuMs = 0;
};

// One update on a fresh bench in `folder`; false when a step or the job failed.
bool Measure(const std::filesystem::path& folder, Figures& f) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string dir = folder.string(), bench = dir + "/bench";
  if (!Run(Bin("tessaload-sim") + " create " + bench + " --real-time") ||
      !Run(Bin("tessaload-image") + " build --chip VMC2232 --version 4.119.0000-0000.0007 -o " + dir + "/old.bin") ||
      !Run(Bin("tessaload-image") + " build --chip VMC2232 --version 4.120.0000-0000.0001 -o " + dir + "/new.bin") ||
      !Run(Bin("tessaload-sim") + " add " + bench + " c1 --chip VMC2232 --port 1 --firmware " + dir + "/old.bin"))
    return false;
  const std::string log = bench + "/transfers.log";
  std::ofstream(log).close();  // the bench logs its transfers only into a file that exists
  const int watch = inotify_init1(IN_CLOEXEC);
  if (watch < 0 || inotify_add_watch(watch, log.c_str(), IN_MODIFY) < 0) return false;

  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    setenv("TESSALOAD_SIM", bench.c_str(), 1);
    setenv("TESSALOAD_LOCK_DIR", (dir + "/locks").c_str(), 1);
    if (chdir(dir.c_str()) != 0) _exit(127);
    const std::string program = Bin("tessaload");
    const std::string image = dir + "/new.bin";
    execl(program.c_str(), program.c_str(), "write", image.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  pollfd p{watch, POLLIN, 0};
  if (poll(&p, 1, 10000) == 1) f.startupMs = Ms(Clock::now() - start);
  close(watch);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return false;
  f.wallMs = Ms(Clock::now() - start);
  auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  f.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 && f.startupMs >= 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Least(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / ("tessaload-bench-overhead-" + std::to_string(getpid()));
  std::vector<double> startup, wall, cpu, share;
  for (int run = 0; run < kRuns; ++run) {
    Figures f;
    if (!Measure(folder, f)) {
      std::printf("run %d failed\n", run + 1);
      std::filesystem::remove_all(folder);
      return 1;
    }
    startup.push_back(f.startupMs);
    wall.push_back(f.wallMs);
    cpu.push_back(f.cpuMs);
    share.push_back(100 * f.cpuMs / f.wallMs);
  }
  std::filesystem::remove_all(folder);
  std::printf("tessaload write new.bin: 64 KiB update of a running VMC2232 on a real-time bench, %d runs\n", kRuns);
  std::printf("%-36s %10s %10s %10s\n", "figure", "median", "least", "limit");
  std::printf("%-36s %10.1f %10.1f %10.1f\n", "start-up to first transfer, ms", Median(startup), Least(startup),
              kStartupLimitMs);
  std::printf("%-36s %10.1f %10.1f %10s\n", "job wall time, ms", Median(wall), Least(wall), "-");
  std::printf("%-36s %10.1f %10.1f %10s\n", "job CPU time (user + system), ms", Median(cpu), Least(cpu), "-");
  std::printf("%-36s %10.2f %10.2f %10.2f\n", "CPU share of the job, %", Median(share), Least(share),
              kCpuShareLimit);
  return 0;
}
