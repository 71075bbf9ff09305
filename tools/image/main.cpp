// tessaload-image info FILE
// tessaload-image build --chip CHIP [--memory spi|nor|eeprom8|eeprom16|otp]
//                       --version V [--vid HEX] [--pid HEX]
//                       [--manufacturer TEXT] [--serial TEXT] -o FILE
#include <cstdio>
#include <string>
#include <vector>

#include "tools/image/commands.h"

namespace {

void Usage() {
  std::fputs(
      "usage: tessaload-image info FILE\n"
      "       tessaload-image build --chip CHIP [--memory spi|nor|eeprom8|eeprom16|otp] --version V\n"
      "                             [--vid HEX] [--pid HEX] [--manufacturer TEXT] [--serial TEXT] -o FILE\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    Usage();
    return 2;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "info") return RunInfo(rest);
  if (args[0] == "build") return RunBuild(rest);
  std::fprintf(stderr, "tessaload-image: unknown command \"%s\"\n", args[0].c_str());
  Usage();
  return 2;
}
