#include "sim/usbip_server.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "sim/port_path.h"

namespace sim {

namespace {

constexpr std::uint64_t kSaveWhenIdleUs = 200'000;
constexpr std::uint64_t kReloadCheckUs = 100'000;
constexpr std::uint64_t kAttachRetryUs = 50'000;

}  // namespace

bool SysfsVhciAttacher::Attach(int port, int fd, std::uint32_t devid, std::uint32_t speed, std::string& error) {
  const std::string line =
      std::to_string(port) + " " + std::to_string(fd) + " " + std::to_string(devid) + " " + std::to_string(speed);
  return platform::WriteAttributeFile(attachFile_, line, error);
}

bool SysfsVhciAttacher::PortReleased(int port) {
  const std::filesystem::path controller = std::filesystem::path(attachFile_).parent_path();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(controller, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("usb", 0) != 0 || name.size() <= 3) continue;
    const std::string device = name.substr(3) + "-" + std::to_string(port + 1);
    if (std::filesystem::exists(entry.path() / device, ec)) return false;
  }
  return true;
}

bool VhciPlaceOf(const CodecConfig& config, int& port, std::uint32_t& speed, std::string& error) {
  const PortPath& at = config.port;
  if (at.bus != 1 || at.ports.size() != 1 || at.ports[0] < 1 || at.ports[0] > kRootHubPorts) {
    error = "port " + PortPathText(at) + " has no virtual port (use a root port 1-8 of bus 1)";
    return false;
  }
  port = at.ports[0] - 1;
  speed = config.identity.highSpeed ? kUsbSpeedHigh : kUsbSpeedFull;
  return true;
}

UsbipServer::UsbipServer(std::unique_ptr<Bench> bench, VhciAttacher& vhci, platform::Clock& realClock,
                         std::ostream& log)
    : bench_(std::move(bench)),
      vhci_(vhci),
      real_(realClock),
      log_(log),
      clock_(bench_->clockUs),
      time_(clock_, realClock.NowUs()) {
  lastActivityUs_ = lastReloadCheckUs_ = real_.NowUs();
}

UsbipServer::~UsbipServer() {
  if (dirty_) Save();
}

bool UsbipServer::Save() {
  bench_->clockUs = time_.Sync(real_.NowUs());
  std::string error;
  const bool saved = bench_->Save(error);
  if (!saved) log_ << "usbip: cannot save the bench: " << error << "\n";
  dirty_ = !saved;
  return saved;
}

void UsbipServer::AttachDue(std::uint64_t realNowUs) {
  const std::uint64_t now = time_.Sync(realNowUs);
  for (const auto& codec : bench_->Codecs()) {
    const std::string& name = codec->Config().name;
    if (connections_.count(name) || !codec->PresentAt(now)) continue;
    auto retry = retryAtUs_.find(name);
    if (retry != retryAtUs_.end() && retry->second > realNowUs) continue;
    int port = 0;
    std::uint32_t speed = 0;
    std::string error;
    if (VhciPlaceOf(codec->Config(), port, speed, error) && !vhci_.PortReleased(port)) {
      if (waitWhy_[name] != "old device")
        log_ << "usbip: " << name << " waits until the host has removed its old device on virtual port " << port
             << "\n";
      waitWhy_[name] = "old device";
      retryAtUs_[name] = realNowUs + kAttachRetryUs;
      continue;
    }
    Connection c;
    platform::LocalSocket kernelEnd;
    bool attached = VhciPlaceOf(codec->Config(), port, speed, error) &&
                    platform::LocalSocket::Pair(c.socket, kernelEnd, error);
    const std::uint32_t devid = (1u << 16) | nextDevid_;
    attached = attached && vhci_.Attach(port, kernelEnd.Descriptor(), devid, speed, error);
    if (!attached) {
      // A port the host controller is still tearing down refuses for a moment.
      if (waitWhy_[name] != error) log_ << "usbip: " << name << ": attach refused: " << error << "\n";
      waitWhy_[name] = error;
      retryAtUs_[name] = realNowUs + kAttachRetryUs;
      continue;
    }
    nextDevid_ = nextDevid_ % 0xFFFF + 1;
    retryAtUs_.erase(name);
    waitWhy_.erase(name);
    c.port = port;
    log_ << "usbip: " << name << " attached on virtual port " << port << "\n";
    connections_.emplace(name, std::move(c));
  }
}

void UsbipServer::Detach(const std::string& name, const char* why) {
  auto it = connections_.find(name);
  if (it == connections_.end()) return;
  log_ << "usbip: " << name << " detached (" << why << ")\n";
  connections_.erase(it);  // closing the socket makes the kernel remove the device
}

void UsbipServer::Pump(const std::string& name, Connection& c, std::uint64_t realNowUs) {
  std::vector<std::uint8_t> received;
  const bool open = c.socket.ReadAvailable(received);
  if (!received.empty()) {
    lastActivityUs_ = realNowUs;
    c.session.Receive(received.data(), received.size());
  }
  bool charged = false;
  c.session.Run(bench_->Find(name), time_, realNowUs, charged);
  if (charged) dirty_ = true;
  std::vector<std::uint8_t>& out = c.session.Outgoing();
  if (!out.empty()) {
    c.socket.WriteAll(out.data(), out.size());
    out.clear();
  }
  if (!open) c.session.HostClosed();
}

void UsbipServer::ReloadIfChanged(std::uint64_t realNowUs) {
  if (dirty_ || realNowUs - lastReloadCheckUs_ < kReloadCheckUs) return;
  lastReloadCheckUs_ = realNowUs;
  if (!bench_->ChangedElsewhere()) return;
  for (const auto& [name, c] : connections_) {
    if (!c.session.Idle()) return;  // never swap the model under a request
  }
  std::string error;
  std::unique_ptr<Bench> reloaded = Bench::Load(bench_->Folder(), error);
  if (!reloaded) {
    log_ << "usbip: cannot reload the bench: " << error << "\n";
    return;
  }
  log_ << "usbip: the bench changed; reloaded\n";
  bench_ = std::move(reloaded);
  const std::uint64_t now = time_.Sync(realNowUs);
  if (bench_->clockUs > now) clock_.AdvanceUs(bench_->clockUs - now);
}

std::uint64_t UsbipServer::NextDueUs(std::uint64_t realNowUs) const {
  std::uint64_t due = realNowUs + kReloadCheckUs;
  if (dirty_) due = std::min(due, lastActivityUs_ + kSaveWhenIdleUs);
  for (const auto& [name, c] : connections_) due = std::min(due, c.session.NextDueUs());
  for (const auto& codec : bench_->Codecs()) {
    if (connections_.count(codec->Config().name) || !codec->Plugged()) continue;
    std::uint64_t at = time_.RealOf(codec->AbsentUntilUs());
    auto retry = retryAtUs_.find(codec->Config().name);
    if (retry != retryAtUs_.end()) at = std::max(at, retry->second);
    due = std::min(due, at);
  }
  return due;
}

void UsbipServer::RunOnce(std::uint32_t maxWaitMs) {
  std::uint64_t now = real_.NowUs();
  AttachDue(now);
  const std::uint64_t due = NextDueUs(now);
  const std::uint64_t waitUs = due > now ? std::min<std::uint64_t>(due - now, std::uint64_t(maxWaitMs) * 1000) : 0;
  std::vector<const platform::LocalSocket*> sockets;
  for (const auto& [name, c] : connections_) sockets.push_back(&c.socket);
  const std::uint32_t waitMs = std::uint32_t((waitUs + 999) / 1000);
  if (sockets.empty()) {
    if (waitMs) real_.SleepMs(waitMs);
  } else {
    platform::WaitReadable(sockets, waitMs);
  }

  now = real_.NowUs();
  bool left = false;
  for (auto it = connections_.begin(); it != connections_.end();) {
    Pump(it->first, it->second, now);
    if (it->second.session.Ended()) {
      const Codec* codec = bench_->Find(it->first);
      const char* why = !codec                 ? "removed from the bench"
                        : !codec->Plugged()    ? "switched off"
                        : codec->PresentAt(time_.Sync(now)) ? "connection closed"
                                                             : "left the bus";
      const std::string name = it->first;
      ++it;
      Detach(name, why);
      left = true;
    } else {
      ++it;
    }
  }
  // A codec switched off by another program leaves the bus too.
  for (auto it = connections_.begin(); it != connections_.end();) {
    const Codec* codec = bench_->Find(it->first);
    const std::string name = it->first;
    ++it;
    if (!codec || !codec->Plugged()) Detach(name, "switched off");
  }
  if (left || (dirty_ && now - lastActivityUs_ >= kSaveWhenIdleUs)) Save();
  ReloadIfChanged(now);
}

}  // namespace sim
