#pragma once
// Station mode: every time a codec arrives at one of the station's ports it
// is programmed, while the other ports carry on. Each unit goes through two
// jobs: `version` reads what the codec runs; a codec running an older image
// is written, one already running the image's version is only verified
// (reported "up to date" when it holds the image, never written), and one
// running a newer version is refused. A unit's outcome stays on its port
// until the codec is pulled out; the next codec on that port is a new unit.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gang/gang_run.h"
#include "app/gang/gang_slot.h"
#include "image/image_version.h"
#include "platform/usb_host.h"

struct StationSetup {
  std::vector<std::string> ports;  // in port order
  // The image's version; none when the image has no version record.
  std::optional<FwVersion> imageVersion;
  // The job of `action` ("version", "write" or "verify") on one port.
  std::function<std::vector<std::string>(const std::string& action, const std::string& port)> command;
  JobLimits limits;
  // How often the bus is looked at for arrivals and removals.
  std::uint32_t pollMs = 250;
};

struct StationHooks {
  // Each event line of a unit's programming job; its result event carries
  // "unit" (the unit's number on its port).
  std::function<void(const std::string& line)> onLine;
  std::function<void(const std::vector<GangSlot>&)> onChange;
  // A unit ended; its slot holds the outcome.
  std::function<void(const GangSlot&)> onUnit;
  std::function<bool()> stopRequested;
};

class Station {
 public:
  Station(platform::UsbHost& host, StationSetup setup, StationHooks hooks);
  ~Station();
  // Runs until stopRequested; running jobs are then told to stop and waited
  // for. Returns the ports' slots in port order.
  std::vector<GangSlot> Run();

 private:
  struct Port;
  void Look(Port& port, bool occupied, std::uint64_t nowMs);
  void Start(Port& port, const std::string& action, std::uint64_t nowMs);
  void JobEnded(Port& port, std::uint64_t nowMs);
  void EndUnit(Port& port, const std::string& resultLine);
  std::vector<GangSlot> Slots() const;

  platform::UsbHost& host_;
  StationSetup setup_;
  StationHooks hooks_;
  std::vector<std::unique_ptr<Port>> ports_;
};

// Station units whose result the JSON and the exit code report: 0 when no
// unit failed, else the exit code of the latest failure of the first port
// (in port order) that had one.
int StationExitCode(const std::vector<GangSlot>& slots);
std::string StationSummaryText(const std::vector<GangSlot>& slots);
std::string StationSummaryJson(const std::vector<GangSlot>& slots);
