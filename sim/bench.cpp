#include "sim/bench.h"

#include <cstdio>
#include <filesystem>
#include <functional>

#include "sim/key_value_file.h"

namespace sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kBenchFile = "bench.txt";
constexpr const char* kFormatKey = "tessaload-sim-bench";

std::string CodecPath(const std::string& folder, const std::string& name, const char* extension) {
  return (fs::path(folder) / "codecs" / (name + extension)).string();
}

// The transfer counters as the codec files name them.
const std::pair<const char*, std::uint64_t TransferCounters::*> kCounterKeys[] = {
    {"transfers", &TransferCounters::transfers},       {"transfers_standard", &TransferCounters::standard},
    {"transfers_vendor", &TransferCounters::vendor},   {"transfers_xu", &TransferCounters::extensionUnit},
    {"transfers_failed", &TransferCounters::failed},   {"bytes_in", &TransferCounters::bytesIn},
    {"bytes_out", &TransferCounters::bytesOut},        {"bus_time_us", &TransferCounters::busTimeUs},
    {"memory_time_us", &TransferCounters::memoryTimeUs}, {"resets", &TransferCounters::resets},
};

bool IsPrefix(const std::vector<int>& a, const std::vector<int>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

std::string BenchLockName(const std::string& folder) {
  std::error_code ec;
  const std::string canonical = fs::weakly_canonical(folder, ec).string();
  char name[48];
  std::snprintf(name, sizeof name, "tessaload-sim-%016zx", std::hash<std::string>{}(ec ? folder : canonical));
  return name;
}

std::string ChannelsText(const CodecConfig& config) {
  if (config.vendorChannel && config.extensionUnitChannel) return "both";
  return config.vendorChannel ? "vendor" : "xu";
}

bool ParseChannels(const std::string& text, CodecConfig& config) {
  if (text != "both" && text != "vendor" && text != "xu") return false;
  config.vendorChannel = text != "xu";
  config.extensionUnitChannel = text != "vendor";
  return true;
}

bool Bench::Create(const std::string& folder, std::string& error) {
  std::error_code ec;
  fs::create_directories(fs::path(folder) / "codecs", ec);
  if (ec) {
    error = "cannot create bench folder " + folder + ": " + ec.message();
    return false;
  }
  if (fs::exists(fs::path(folder) / kBenchFile)) {
    error = folder + " already holds a bench";
    return false;
  }
  Bench bench(folder);
  return bench.Save(error);
}

std::uint64_t Bench::StoredGeneration(const std::string& folder) {
  KeyValues file;
  if (!file.Read((fs::path(folder) / kBenchFile).string())) return 0;
  return file.Number("generation");
}

std::unique_ptr<Bench> Bench::Load(const std::string& folder, std::string& error) {
  KeyValues file;
  if (!file.Read((fs::path(folder) / kBenchFile).string()) || !file.Has(kFormatKey)) {
    error = "no bench in " + folder + " (make one with: tessaload-sim create " + folder + ")";
    return nullptr;
  }
  std::unique_ptr<Bench> bench(new Bench(folder));
  bench->generation_ = file.Number("generation");
  bench->clockUs = file.Number("clock_us");
  bench->nextInstance = static_cast<std::uint32_t>(file.Number("next_instance", 3));
  for (const auto& [key, value] : file.Entries()) {
    if (key.rfind("hub.", 0) == 0) bench->hubInstances[key.substr(4)] = static_cast<std::uint32_t>(std::stoul(value));
  }
  for (const std::string& name : file.GetAll("codec")) {
    if (!bench->LoadCodec(name, error)) return nullptr;
  }
  return bench;
}

bool Bench::LoadCodec(const std::string& name, std::string& error) {
  KeyValues file;
  const ChipFacts* chip = nullptr;
  CodecConfig config;
  config.name = name;
  config.chip = file.Read(CodecPath(folder_, name, ".txt")) ? file.Get("chip") : "";
  chip = FindChip(config.chip);
  std::string portError;
  if (chip == nullptr || !ParseMemoryKind(file.Get("memory"), config.memory) ||
      !ParseChannels(file.Get("channels"), config) || !ParsePortPath(file.Get("port"), config.port, portError)) {
    error = "codec " + name + " of bench " + folder_ + " is damaged";
    return false;
  }
  DeviceIdentity& id = config.identity;
  id.vid = static_cast<std::uint16_t>(file.Number("vid"));
  id.pid = static_cast<std::uint16_t>(file.Number("pid"));
  id.rev = static_cast<std::uint16_t>(file.Number("rev"));
  id.manufacturer = file.Get("manufacturer");
  id.product = file.Get("product");
  id.serial = file.Get("serial");
  id.audioClass = static_cast<std::uint8_t>(file.Number("audio_class", chip->audioClass));
  id.highSpeed = file.Number("high_speed", chip->highSpeed) != 0;

  auto codec = std::make_unique<Codec>(config, *chip);
  std::vector<std::uint8_t> bytes;
  if (!ReadBinaryFile(CodecPath(folder_, name, ".code"), bytes) || bytes.size() != codec->Memory().Size()) {
    error = "code memory of codec " + name + " is missing or damaged";
    return false;
  }
  codec->Memory().Load(bytes);
  codec->Memory().SetStatus(static_cast<std::uint8_t>(file.Number("flash_status")));
  if (ReadBinaryFile(CodecPath(folder_, name, ".data"), bytes) && bytes.size() == codec->DataMemory().size()) {
    codec->DataMemory() = bytes;
  }
  std::string faultError;
  if (!ApplyFaultSpec(file.Get("faults", "clear"), codec->Faults(), codec->Memory().StuckBits(), faultError)) {
    error = "faults of codec " + name + ": " + faultError;
    return false;
  }
  for (const auto& [key, field] : kCounterKeys) codec->Counters().*field = file.Number(key);
  const CodecMode mode = file.Get("mode") == "running" ? CodecMode::kRunning : CodecMode::kBootRom;
  codec->RestoreState(file.Number("plugged") != 0, mode, file.Number("absent_until_us"));
  codec->SetInstances(static_cast<std::uint32_t>(file.Number("device_instance")),
                      static_cast<std::uint32_t>(file.Number("function_instance")));
  codecs_.push_back(std::move(codec));
  return true;
}

bool Bench::SaveCodec(Codec& codec, std::string& error) const {
  const CodecConfig& config = codec.Config();
  const DeviceIdentity& id = config.identity;
  KeyValues file;
  file.Add("chip", config.chip);
  file.Add("memory", MemoryKindName(config.memory));
  file.AddHex("vid", id.vid);
  file.AddHex("pid", id.pid);
  file.AddHex("rev", id.rev);
  file.Add("manufacturer", id.manufacturer);
  file.Add("product", id.product);
  file.Add("serial", id.serial);
  file.AddNumber("audio_class", id.audioClass);
  file.AddNumber("high_speed", id.highSpeed);
  file.Add("channels", ChannelsText(config));
  file.Add("port", PortPathText(config.port));
  file.AddNumber("plugged", codec.Plugged());
  file.Add("mode", codec.Mode() == CodecMode::kRunning ? "running" : "rom");
  file.AddNumber("absent_until_us", codec.AbsentUntilUs());
  file.AddNumber("device_instance", codec.DeviceInstance());
  file.AddNumber("function_instance", codec.FunctionInstance());
  file.AddHex("flash_status", codec.Memory().Status());
  std::string faults = codec.Faults().ToSpec();
  for (const auto& [address, mask] : codec.Memory().StuckBits()) {
    char item[40];
    std::snprintf(item, sizeof item, "stuck-otp=%X:%02X", address, mask);
    faults += (faults.empty() ? "" : ",") + std::string(item);
  }
  file.Add("faults", faults.empty() ? "clear" : faults);
  for (const auto& [key, field] : kCounterKeys) file.AddNumber(key, codec.Counters().*field);
  const std::string name = config.name;
  if (!WriteBinaryFile(CodecPath(folder_, name, ".code"), codec.Memory().Bytes()) ||
      !WriteBinaryFile(CodecPath(folder_, name, ".data"), codec.DataMemory()) ||
      !file.Write(CodecPath(folder_, name, ".txt"))) {
    error = "cannot write codec " + name + " in " + folder_;
    return false;
  }
  return true;
}

bool Bench::Save(std::string& error) {
  for (auto& codec : codecs_) {
    if (!SaveCodec(*codec, error)) return false;
  }
  KeyValues file;
  file.AddNumber(kFormatKey, 1);
  file.AddNumber("generation", ++generation_);
  file.AddNumber("clock_us", clockUs);
  file.AddNumber("next_instance", nextInstance);
  for (const auto& [port, instance] : hubInstances) file.AddNumber("hub." + port, instance);
  for (const auto& codec : codecs_) file.Add("codec", codec->Config().name);
  if (!file.Write((fs::path(folder_) / kBenchFile).string())) {
    error = "cannot write bench file in " + folder_;
    return false;
  }
  return true;
}

Codec* Bench::Find(const std::string& name) {
  for (auto& codec : codecs_) {
    if (codec->Config().name == name) return codec.get();
  }
  return nullptr;
}

bool Bench::Add(std::unique_ptr<Codec> codec, std::string& error) {
  const CodecConfig& config = codec->Config();
  if (config.name.empty() || config.name.find_first_of("/\\.= \t\r\n") != std::string::npos) {
    error = "bad codec name \"" + config.name + "\" (letters, digits, - and _ only)";
    return false;
  }
  if (Find(config.name) != nullptr) {
    error = "the bench already has a codec named " + config.name;
    return false;
  }
  for (const auto& other : codecs_) {
    const PortPath& a = other->Config().port;
    const PortPath& b = config.port;
    if (a.bus == b.bus && (IsPrefix(a.ports, b.ports) || IsPrefix(b.ports, a.ports))) {
      error = "port " + PortPathText(b) + " clashes with codec " + other->Config().name + " at " + PortPathText(a);
      return false;
    }
  }
  codecs_.push_back(std::move(codec));
  return true;
}

}  // namespace sim
