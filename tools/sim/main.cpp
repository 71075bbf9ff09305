// tessaload-sim: makes and changes simulated benches (see sim/README.md).
#include <iostream>

#include "sim_commands.h"

int main(int argc, char** argv) {
  return simtool::RunCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
