#include "ui/core/restart_list.h"

#include <sstream>
#include <string>
#include <vector>

#include "app/text_case.h"
#include "platform/resources.h"

namespace {

constexpr int kRestartListId = 3036;

std::vector<std::string> LoadFragments() {
  const auto bytes = platform::FindResource("ICINI", kRestartListId);
  std::istringstream text(std::string(bytes.begin(), bytes.end()));
  std::vector<std::string> fragments;
  for (std::string line; std::getline(text, line);) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line.compare(first, 2, "//") == 0) continue;
    const auto last = line.find_last_not_of(" \t\r");
    fragments.push_back(line.substr(first, last - first + 1));
  }
  return fragments;
}

}  // namespace

bool NeedsHostRestart(std::string_view identity) {
  static const std::vector<std::string> fragments = LoadFragments();
  for (const std::string& fragment : fragments)
    if (ContainsTextNoCase(identity, fragment)) return true;
  return false;
}
