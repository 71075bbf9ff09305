#pragma once
// One write of the hostile table, in-process on a fresh simulated bench: the
// codec holds the target's old image, faults may be armed, a stop may be
// requested in a phase. Afterwards the codec's memory is read from the bench
// and the codec is power-cycled to see what its boot ROM starts; the three
// rules are checked against that, never against the tool's words.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/notify.h"
#include "app/parse_arg.h"
#include "app/program_services.h"
#include "app/program_state.h"
#include "flow/create_flow.h"
#include "flow/config_info.h"
#include "flow/dev_flow.h"
#include "flow/flow_host.h"
#include "image/ic_type_ini.h"
#include "platform/prompter.h"
#include "sim/faults.h"
#include "tests/safety/hostile_layout.h"
#include "tests/sim/sim_fixture.h"
#include "tests/support/remembering_host.h"

namespace hostile {

// A stop request raised at the `check`-th stop check (0-based) after the
// flow posted `phase`.
struct StopPlan {
  int phase = 0;  // 0: never
  int check = 0;
};

// Records the request kinds a write sends, as the bench's faults name them.
class RecordingHost final : public platform::UsbHost {
 public:
  explicit RecordingHost(platform::UsbHost& inner) : inner_(inner) {}
  std::vector<platform::UsbNode> Nodes() override { return inner_.Nodes(); }
  std::unique_ptr<platform::UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override {
    auto device = inner_.Open(instance, error);
    if (!device) return nullptr;
    return std::make_unique<Device>(*this, std::move(device));
  }
  bool HubPorts(std::uint32_t hub, std::vector<platform::UsbPortInfo>& ports) override {
    return inner_.HubPorts(hub, ports);
  }
  bool PortStringDescriptor(std::uint32_t hub, std::uint32_t port, std::uint8_t index, std::uint16_t language,
                            std::vector<std::uint8_t>& out) override {
    return inner_.PortStringDescriptor(hub, port, index, language, out);
  }
  void SetHotplugCallback(std::function<void(bool, std::uint32_t)> callback) override {
    inner_.SetHotplugCallback(std::move(callback));
  }
  platform::Clock& HostClock() override { return inner_.HostClock(); }
  void HoldListing() override { inner_.HoldListing(); }
  void ReleaseListing() override { inner_.ReleaseListing(); }

  // "vendor:RR", "xu:CC:OO" or "std:RR", in the order first sent.
  std::vector<std::string> kinds;

 private:
  class Device final : public platform::UsbDevice {
   public:
    Device(RecordingHost& host, std::unique_ptr<platform::UsbDevice> inner) : host_(host), inner_(std::move(inner)) {}
    std::uint32_t ControlTransfer(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                  std::uint8_t* data, std::uint16_t length, std::uint32_t timeoutMs,
                                  std::uint32_t& transferred) override {
      char kind[32] = {};
      const int t = (type >> 5) & 3;
      if (t == 2) std::snprintf(kind, sizeof kind, "vendor:%02X", request);
      if (t == 0) std::snprintf(kind, sizeof kind, "std:%02X", request);
      if (t == 1 && type == 0x21 && value >> 8 == 10 && length >= 2 && data)
        std::snprintf(kind, sizeof kind, "xu:%02X:%02X", data[0], data[1]);
      if (kind[0] && !host_.seen_.count(kind)) {
        host_.seen_.insert(kind);
        host_.kinds.push_back(kind);
      }
      return inner_->ControlTransfer(type, request, value, index, data, length, timeoutMs, transferred);
    }

   private:
    RecordingHost& host_;
    std::unique_ptr<platform::UsbDevice> inner_;
  };
  platform::UsbHost& inner_;
  std::set<std::string> seen_;
};

// The command line's host with an operator's stop: raised at a stop check in
// a phase, it stays raised.
class StopHost final : public RememberingHost, public NotifySink {
 public:
  explicit StopHost(StopPlan plan) : plan_(plan) {}
  bool StopRequested() override {
    if (phase_) ++checksPerPhase[phase_];
    if (plan_.phase && phase_ == plan_.phase && checksInPhase_++ >= plan_.check) stopped = true;
    return stopped;
  }
  int Post(std::uint32_t message, std::intptr_t wparam, std::intptr_t) override {
    if (message == kMsgPhase && wparam != 0 && int(wparam) != phase_) {
      phase_ = int(wparam);
      checksInPhase_ = 0;
    }
    return 1;
  }
  std::map<int, int> checksPerPhase;
  bool stopped = false;

 private:
  StopPlan plan_;
  int phase_ = 0;
  int checksInPhase_ = 0;
};

class SilentPrompter final : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string&, const std::string&, platform::PromptKind,
                             platform::PromptAnswer silentAnswer) override {
    return silentAnswer;
  }
};

struct Outcome {
  bool claimedPass = false;  // the tool's result: success
  int status = 0;
  Bytes memory;              // code memory right after the run
  bool starts = false;       // after a power cycle
  std::uint32_t start = 0;   // where the started image lies
  sim::FirmwareVersion version{};
  std::uint64_t transfers = 0;
  std::vector<std::string> kinds;   // request kinds sent
  std::map<int, int> checksPerPhase;  // stop checks in each phase posted
};

// A bench in `folder` with one codec of the target holding `memory`, the
// faults of `faults` armed, and the image saved as image.bin.
inline void MakeTargetBench(const std::string& folder, const Target& t, const Bytes& memory, const Bytes& image,
                            const std::string& faults) {
  simtest::CodecSpec spec;
  spec.chip = t.chip;
  spec.memory = t.memory;
  spec.firmware = memory;
  simtest::MakeBench(folder, {spec});
  std::string error;
  if (!faults.empty()) {
    auto bench = sim::Bench::Load(folder, error);
    ASSERT_TRUE(bench) << error;
    sim::Codec& codec = *bench->Find("codec");
    ASSERT_TRUE(sim::ApplyFaultSpec(faults, codec.Faults(), codec.Memory().StuckBits(), error)) << error;
    ASSERT_TRUE(bench->Save(error)) << error;
  }
  std::ofstream(folder + "/image.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
}

// The codec's memory as the bench holds it, then what it starts once its
// power is cut and restored.
inline void Inspect(const std::string& folder, Outcome& o) {
  std::string error;
  auto bench = sim::Bench::Load(folder, error);
  ASSERT_TRUE(bench) << error;
  sim::Codec& codec = *bench->Find("codec");
  o.memory = codec.Memory().Bytes();
  o.transfers = codec.Counters().transfers;
  codec.PowerOff();
  codec.PowerOn();
  o.starts = codec.Mode() == sim::CodecMode::kRunning;
  o.start = sim::DecideBoot(codec.Chip(), codec.Memory()).imageStart;
  o.version = codec.RunningVersion();
}

// Runs `tessaload -f -write image` in-process (the command-line executor over
// the bench's host); NOR flash, which no storage kind selects, takes the
// window's download of the loaded file. `faults` is a bench fault spec.
inline Outcome Write(const Target& t, const Bytes& pristine, const Bytes& image, const std::string& faults = "",
                     StopPlan stop = {}) {
  Outcome o;
  const std::string folder = simtest::TempBenchFolder();
  MakeTargetBench(folder, t, pristine, image, faults);
  const std::string file = folder + "/image.bin";
  std::string error;
  {
    auto simHost = sim::OpenBench(folder, error);
    EXPECT_TRUE(simHost) << error;
    if (!simHost) return o;
    RecordingHost host(*simHost);
    StopHost stopHost(stop);
    SilentPrompter prompter;
    platform::SetCurrentPrompter(&prompter);
    SetNotifySink(&stopHost);
    const bool nor = t.memory == sim::MemoryKind::kNorFlash;
    ProgramServices services;
    ServiceOptions options;
    options.settingsText = "[Quillox Config]\r\nCheckVIDPID_INI=1\r\n";
    options.usbHost = &host;
    options.memoryType = nor ? 1 : 0;
    services.Start(options);
    CParseArg command;
    command.SetResultFolder(folder);
    const int result = services.RunJob(&stopHost, !nor, [&] {
      if (nor) {
        auto* flow = dynamic_cast<CEepromConfigInfo*>(CurrentFlow());
        flow->PrepareJobFlags();
        if (!flow->DEV_OpenDeviceByVIDPID() || !flow->LoadDownloadFile(file)) return 0;
        flow->MP_GetDeviceInfo();
        flow->m_accessFlags = 0x40;
        return int(flow->Download() != 0);
      }
      if (command.Parse_Arg({"tessaload", "-f", "-write", file}) != 1 || !command.Prepare()) return 0;
      return command.Excute_Arg();
    });
    if (!nor) {
      std::ifstream in(folder + "/Result.txt", std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)), {});
      o.claimedPass = text.ends_with("pass");
    }
    o.claimedPass = o.claimedPass || result == 1;
    o.status = LastStatusCode;
    services.Stop();
    SetNotifySink(nullptr);
    platform::SetCurrentPrompter(nullptr);
    o.kinds = host.kinds;
    o.checksPerPhase = stopHost.checksPerPhase;
  }

  Inspect(folder, o);
  std::filesystem::remove_all(folder);
  return o;
}

// The code memory of a codec that runs `old`. An OTP gets it as a codec
// does, by a download onto the blank OTP (its code block and configuration
// block, each with its VD entry); flash and EEPROM hold it at its bank.
inline Bytes CodecWith(const Target& t, const Bytes& old) {
  const Bytes placed = MemoryWith(t, old);
  if (t.memory != sim::MemoryKind::kOtp) return placed;
  const Outcome o = Write(t, placed, old);
  EXPECT_TRUE(o.claimedPass && o.starts && o.version == kOldVersion)
      << "the old image is downloaded, status " << o.status;
  return o.memory;
}

// The three rules for one write of `image` over a codec that held
// `pristine` and ran `old` (an empty old: it waited in its boot ROM). An
// empty result means all hold; otherwise it names the rule broken.
inline std::string Violation(const Target& t, const Bytes& pristine, const Bytes& old, const Bytes& image,
                             bool mustRefuse, const Outcome& o) {
  std::string why;
  const bool runsNew = o.starts && o.version == kNewVersion;
  if (mustRefuse && o.claimedPass) return "rule 3: an image that cannot work passed";
  if (o.claimedPass && !(runsNew && HoldsWholeImage(t, image, o.memory, o.start, why)))
    return "rule 1: pass without the whole new image starting (" +
           (why.empty() ? std::string(o.starts ? "runs " + VersionText(o.version) : "boot ROM") : why) + ")";
  if (mustRefuse) {
    if (o.memory != pristine) {
      for (std::size_t i = 0; i < o.memory.size(); ++i)
        if (o.memory[i] != pristine[i]) return "rule 3: refused image changed memory at 0x" + ToHex(i);
    }
    return {};
  }
  if (o.claimedPass) return {};
  // Failed or interrupted: the old image unchanged, the boot ROM, or (cut
  // after the image was complete) the whole new image.
  if (!o.starts) return {};
  if (runsNew) {
    if (!HoldsWholeImage(t, image, o.memory, o.start, why)) return "rule 2: a part new image starts (" + why + ")";
    return {};
  }
  if (old.empty() || o.version != kOldVersion) return "rule 2: starts " + VersionText(o.version) + ", neither image";
  if (!HoldsPlacedImage(t, old, o.memory, o.start, why)) return "rule 2: the old image starts changed (" + why + ")";
  return {};
}

// Collects the violations of a sweep; one failure lists them all.
class Findings {
 public:
  void Add(const std::string& point, const std::string& violation) {
    if (violation.empty()) return;
    auto& points = byRule_[violation.substr(0, violation.find(':'))];
    if (points.size() < 6) points.push_back(point + ": " + violation);
    ++count_;
  }
  std::string Report() const {
    std::ostringstream out;
    out << count_ << " violations";
    for (const auto& [rule, points] : byRule_) {
      out << "\n  " << rule << ":";
      for (const auto& p : points) out << "\n    " << p;
    }
    return out.str();
  }
  bool Empty() const { return count_ == 0; }

 private:
  std::map<std::string, std::vector<std::string>> byRule_;
  int count_ = 0;
};

}  // namespace hostile
