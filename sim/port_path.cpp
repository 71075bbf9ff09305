#include "sim/port_path.h"

#include <sstream>

namespace sim {

namespace {

bool ParseSmall(const std::string& text, int max, int& out) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  out = std::stoi(text);
  return out >= 1 && out <= max;
}

}  // namespace

bool ParsePortPath(const std::string& text, PortPath& path, std::string& error) {
  PortPath parsed;
  std::string chain = text;
  const std::size_t dash = text.find('-');
  if (dash != std::string::npos) {
    if (!ParseSmall(text.substr(0, dash), kBusCount, parsed.bus)) {
      error = "bad bus in port \"" + text + "\" (buses 1 and 2 exist)";
      return false;
    }
    chain = text.substr(dash + 1);
  }
  std::stringstream stream(chain);
  std::string part;
  while (std::getline(stream, part, '.')) {
    int port = 0;
    const int max = parsed.ports.empty() ? kRootHubPorts : kExternalHubPorts;
    if (!ParseSmall(part, max, port)) {
      error = "bad port \"" + text + "\" (root hubs have " + std::to_string(kRootHubPorts) + " ports, hubs " +
              std::to_string(kExternalHubPorts) + ")";
      return false;
    }
    parsed.ports.push_back(port);
  }
  if (parsed.ports.empty() || parsed.ports.size() > 6) {
    error = "bad port \"" + text + "\"";
    return false;
  }
  path = parsed;
  return true;
}

std::string PortPathText(const PortPath& path) {
  std::string text = std::to_string(path.bus) + "-";
  for (std::size_t i = 0; i < path.ports.size(); ++i) text += (i ? "." : "") + std::to_string(path.ports[i]);
  return text;
}

}  // namespace sim
