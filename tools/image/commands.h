#pragma once
// The commands of tessaload-image. Each returns the process exit code and
// writes its errors to standard error.
#include <string>
#include <vector>

int RunInfo(const std::vector<std::string>& args);
int RunBuild(const std::vector<std::string>& args);
