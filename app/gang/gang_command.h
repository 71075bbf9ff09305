#pragma once
// `tessaload gang write|verify FILE --ports P1,P2,... | --all [--json]
// [--job-timeout MS]` and `tessaload station FILE --ports P1,P2,... [--json]
// [--job-timeout MS]`. `args` is the whole command line, program first.
#include <string>
#include <vector>

int RunGangCommand(const std::vector<std::string>& args);
int RunStationCommand(const std::vector<std::string>& args);
