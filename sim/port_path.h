#pragma once
// Where a device sits on the simulated bus: the root hub's bus number and the
// port chain from the root hub down. Bus 1 has a USB 2 root hub, bus 2 a USB 3
// root hub; external hubs exist wherever a chain passes through a port.
#include <string>
#include <vector>

namespace sim {

inline constexpr int kRootHubPorts = 8;
inline constexpr int kExternalHubPorts = 4;
inline constexpr int kBusCount = 2;

struct PortPath {
  int bus = 1;
  std::vector<int> ports;  // never empty for a device
  bool operator==(const PortPath&) const = default;
};

// "N" (port N of bus 1) or "B-P[.P...]", as PortPathText writes it.
bool ParsePortPath(const std::string& text, PortPath& path, std::string& error);
std::string PortPathText(const PortPath& path);

}  // namespace sim
