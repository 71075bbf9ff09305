// gang: what programming several codecs at once gains. For 1, 2, 4 and 8
// codecs a fresh real-time bench (`tessaload-sim create DIR --real-time`:
// transfers, erases and re-enumeration take their modelled durations on the
// wall clock) gets that many SPI flash codecs running an old image, and
// `tessaload gang write new.bin --ports ...` programs them all. Each row
// gives the gang's wall time, units per hour, the ratio of its throughput to
// N times one codec's, and the floor that ratio should keep (0.9 x N up to 8
// codecs: the work is mostly waiting for the codecs).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string Bin(const std::string& name) { return std::string(TESSALOAD_BINARY_DIR) + "/bin/" + name; }

bool Run(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()) == 0; }

// The wall time of one gang over `count` codecs, in seconds; negative when a
// step failed.
double GangSeconds(const std::filesystem::path& folder, int count) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string dir = folder.string(), bench = dir + "/bench";
  if (!Run(Bin("tessaload-sim") + " create " + bench + " --real-time") ||
      !Run(Bin("tessaload-image") + " build --chip VMC2232 --version 4.119.0000-0000.0007 -o " + dir + "/old.bin") ||
      !Run(Bin("tessaload-image") + " build --chip VMC2232 --version 4.120.0000-0000.0001 -o " + dir + "/new.bin"))
    return -1;
  std::string ports;
  for (int i = 1; i <= count; ++i) {
    // Eight ports of the root hub of bus 1.
    if (!Run(Bin("tessaload-sim") + " add " + bench + " c" + std::to_string(i) + " --chip VMC2232 --port " +
             std::to_string(i) + " --firmware " + dir + "/old.bin"))
      return -1;
    ports += (i > 1 ? "," : "") + std::string("1-") + std::to_string(i);
  }
  const auto start = std::chrono::steady_clock::now();
  const bool ok = Run("cd " + dir + " && TESSALOAD_SIM=" + bench + " " + Bin("tessaload") + " gang write new.bin --ports " + ports);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ok ? seconds : -1;
}

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / ("tessaload-bench-gang-" + std::to_string(getpid()));
  std::printf("%-7s %10s %12s %14s %8s\n", "codecs", "wall s", "units/hour", "x one codec", "floor");
  double one = 0;
  int failures = 0;
  for (int count : {1, 2, 4, 8}) {
    const double seconds = GangSeconds(folder, count);
    if (seconds <= 0) {
      std::printf("%-7d %10s\n", count, "failed");
      ++failures;
      continue;
    }
    if (count == 1) one = seconds;
    const double ratio = one > 0 ? count * one / seconds : 0;
    std::printf("%-7d %10.2f %12.0f %14.2f %8.2f\n", count, seconds, count * 3600.0 / seconds, ratio, 0.9 * count);
  }
  std::filesystem::remove_all(folder);
  return failures ? 1 : 0;
}
