#pragma once
// The commands of tessaload-sim. Each returns the process exit code and writes
// its errors, naming the problem, to `err`; a failing command leaves the bench
// as it was.
#include <iosfwd>
#include <string>
#include <vector>

namespace simtool {

int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace simtool
