#include "sim/bench.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "platform/clock.h"
#include "sim/key_value_file.h"

namespace sim {

namespace {

namespace fs = std::filesystem;

constexpr const char* kBenchFile = "bench.txt";
constexpr const char* kFormatKey = "tessaload-sim-bench";
constexpr std::uint64_t kFormat = 2;
constexpr std::uint32_t kLockWaitMs = 10000;
constexpr std::uint32_t kDataMemorySize = 0x10000;

constexpr char kStateMagic[8] = {'T', 'L', 'S', 'I', 'M', 'S', 'T', '1'};
constexpr std::size_t kStateHeaderSize = 16;
constexpr std::size_t kStateSlotSize = 16384;
constexpr std::size_t kStateFileSize = kStateHeaderSize + 2 * kStateSlotSize;
constexpr std::size_t kSlotFixedSize = 8 * 3 + 8 * 10 + 4 * 2 + 4 + 4;  // up to the fault text

std::string CodecPath(const std::string& folder, const std::string& name, const char* extension) {
  return (fs::path(folder) / "codecs" / (name + extension)).string();
}

std::string BenchPath(const std::string& folder) { return (fs::path(folder) / kBenchFile).string(); }

// The transfer counters in the order the state slots and the tools name them.
constexpr std::uint64_t TransferCounters::*kCounters[] = {
    &TransferCounters::transfers, &TransferCounters::standard,  &TransferCounters::vendor,
    &TransferCounters::extensionUnit, &TransferCounters::failed, &TransferCounters::bytesIn,
    &TransferCounters::bytesOut,  &TransferCounters::busTimeUs, &TransferCounters::memoryTimeUs,
    &TransferCounters::resets,
};

bool IsPrefix(const std::vector<int>& a, const std::vector<int>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

template <typename T>
void Put(std::string& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T Take(const std::uint8_t*& at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  at += sizeof value;
  return value;
}

std::string FaultText(const Codec& codec) {
  std::string faults = codec.Faults().ToSpec();
  for (const auto& [address, mask] : codec.Memory().StuckBits()) {
    char item[40];
    std::snprintf(item, sizeof item, "stuck-otp=%X:%02X", address, mask);
    faults += (faults.empty() ? "" : ",") + std::string(item);
  }
  return faults;
}

// A state slot after its generation and virtual time.
std::string StateBody(const Codec& codec) {
  std::string body;
  Put<std::uint64_t>(body, codec.AbsentUntilUs());
  for (auto field : kCounters) Put<std::uint64_t>(body, codec.Counters().*field);
  Put<std::uint32_t>(body, codec.DeviceInstance());
  Put<std::uint32_t>(body, codec.FunctionInstance());
  Put<std::uint8_t>(body, codec.Plugged());
  Put<std::uint8_t>(body, codec.Mode() == CodecMode::kRunning);
  Put<std::uint8_t>(body, codec.Memory().Status());
  Put<std::uint8_t>(body, 0);
  const std::string faults = FaultText(codec);
  Put<std::uint32_t>(body, static_cast<std::uint32_t>(faults.size()));
  return body + faults;
}

std::atomic_ref<std::uint32_t> SlotInForce(std::span<std::uint8_t> file) {
  return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(file.data() + 8));
}

std::uint8_t* SlotAt(std::span<std::uint8_t> file, std::uint32_t slot) {
  return file.data() + kStateHeaderSize + (slot & 1) * kStateSlotSize;
}

std::uint64_t SlotGeneration(const std::uint8_t* slot) {
  std::uint64_t generation = 0;
  std::memcpy(&generation, slot, sizeof generation);
  return generation;
}

std::uint64_t StoredGeneration(std::span<std::uint8_t> file) {
  return SlotGeneration(SlotAt(file, SlotInForce(file).load(std::memory_order_acquire)));
}

// A copy of the slot in force, whole even while another process commits: it
// counts only when the slot in force and its generation are the same after
// the copy as before.
std::vector<std::uint8_t> CopySlotInForce(std::span<std::uint8_t> file) {
  std::vector<std::uint8_t> copy(kStateSlotSize);
  for (;;) {
    const std::uint32_t before = SlotInForce(file).load(std::memory_order_acquire);
    const std::uint8_t* slot = SlotAt(file, before);
    const std::uint64_t generation = SlotGeneration(slot);
    std::memcpy(copy.data(), slot, kStateSlotSize);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (SlotInForce(file).load(std::memory_order_acquire) == before && SlotGeneration(slot) == generation) return copy;
  }
}

// Applies a slot to a codec fresh from its identity. False when the slot is
// not a state (a bench of an older format, a damaged file).
bool ApplyState(const std::uint8_t* slot, Codec& codec, std::uint64_t& clockUs) {
  const std::uint8_t* at = slot + 8;
  clockUs = Take<std::uint64_t>(at);
  const std::uint64_t absentUntilUs = Take<std::uint64_t>(at);
  for (auto field : kCounters) codec.Counters().*field = Take<std::uint64_t>(at);
  const std::uint32_t device = Take<std::uint32_t>(at);
  const std::uint32_t function = Take<std::uint32_t>(at);
  const bool plugged = Take<std::uint8_t>(at) != 0;
  const bool running = Take<std::uint8_t>(at) != 0;
  const std::uint8_t flashStatus = Take<std::uint8_t>(at);
  at += 1;
  const std::uint32_t faultLength = Take<std::uint32_t>(at);
  if (faultLength > kStateSlotSize - kSlotFixedSize) return false;
  const std::string faults(reinterpret_cast<const char*>(at), faultLength);
  std::string error;
  if (!faults.empty() && !ApplyFaultSpec(faults, codec.Faults(), codec.Memory().StuckBits(), error)) return false;
  codec.Memory().SetStatus(flashStatus);
  codec.RestoreState(plugged, running ? CodecMode::kRunning : CodecMode::kBootRom, absentUntilUs);
  codec.SetInstances(device, function);
  return true;
}

std::string IdentityText(const CodecConfig& config) {
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
  file.AddNumber("reenumerate_ms", config.reenumerateMs);
  return file.Text();
}

}  // namespace

struct Bench::Stored {
  CodecConfig config;
  const ChipFacts* chip = nullptr;
  std::unique_ptr<platform::MappedFile> code, data, state;
  std::string identityText;   // NAME.txt as last read or written
  std::string body;           // the state as last loaded or committed, after generation and time
  std::uint64_t generation = 0;
  std::uint64_t clockUs = 0;
  bool looked = false;  // last taken over without the codec's lock
};

std::string BenchLockName(const std::string& folder) {
  std::error_code ec;
  const std::string canonical = fs::weakly_canonical(folder, ec).string();
  char name[48];
  std::snprintf(name, sizeof name, "tessaload-sim-%016zx", std::hash<std::string>{}(ec ? folder : canonical));
  return name;
}

std::string CodecLockName(const std::string& folder, const std::string& codec) {
  return BenchLockName(folder) + "-" + codec;
}

CodecLock::CodecLock(const Bench& bench, const std::string& codec, bool wait)
    : mutex_(bench.LockName() + "-" + codec) {
  held_ = mutex_.Lock(wait ? kLockWaitMs : 0, platform::SystemClock());
}

CodecLock::~CodecLock() {
  if (held_) mutex_.Unlock();
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

Bench::Bench(std::string folder) : folder_(std::move(folder)) {}

Bench::~Bench() { codecs_.clear(); }  // before the files their memories live in

bool Bench::Create(const std::string& folder, std::string& error, bool realTime) {
  std::error_code ec;
  fs::create_directories(fs::path(folder) / "codecs", ec);
  if (ec) {
    error = "cannot create bench folder " + folder + ": " + ec.message();
    return false;
  }
  if (fs::exists(BenchPath(folder))) {
    error = folder + " already holds a bench";
    return false;
  }
  Bench bench(folder);
  bench.realTime = realTime;
  if (bench.WriteBenchFile()) return true;
  error = "cannot write bench file in " + folder;
  return false;
}

std::unique_ptr<Bench> Bench::Load(const std::string& folder, std::string& error) {
  std::unique_ptr<Bench> bench(new Bench(folder));
  if (!bench->ReadBenchFile(error)) return nullptr;
  return bench;
}

bool Bench::ReadBenchFile(std::string& error) {
  KeyValues file;
  if (!file.Read(BenchPath(folder_)) || !file.Has(kFormatKey)) {
    error = "no bench in " + folder_ + " (make one with: tessaload-sim create " + folder_ + ")";
    return false;
  }
  if (file.Number(kFormatKey) != kFormat) {
    error = "the bench in " + folder_ + " is of an older format (make it again with: tessaload-sim create)";
    return false;
  }
  generation_ = file.Number("generation");
  nextInstance = std::max(nextInstance, static_cast<std::uint32_t>(file.Number("next_instance", 3)));
  realTime = file.Number("real_time", 0) != 0;
  for (const auto& [key, value] : file.Entries()) {
    if (key.rfind("hub.", 0) == 0) hubInstances[key.substr(4)] = static_cast<std::uint32_t>(std::stoul(value));
  }
  for (const std::string& name : file.GetAll("codec")) {
    if (!stored_.count(name) && !LoadCodec(name, error)) return false;
  }
  KeyValues mine;
  for (const auto& [key, value] : file.Entries()) {
    if (key != "generation") mine.Add(key, value);
  }
  benchText_ = mine.Text();
  return true;
}

KeyValues Bench::BenchEntries() const {
  KeyValues file;
  file.AddNumber(kFormatKey, kFormat);
  file.AddNumber("next_instance", nextInstance);
  if (realTime) file.AddNumber("real_time", 1);
  for (const auto& [port, instance] : hubInstances) file.AddNumber("hub." + port, instance);
  for (const auto& codec : codecs_) file.Add("codec", codec->Config().name);
  return file;
}

bool Bench::WriteBenchFile() {
  KeyValues file = BenchEntries();
  const std::string text = file.Text();
  file.AddNumber("generation", generation_ + 1);
  if (!file.Write(BenchPath(folder_))) return false;
  ++generation_;
  benchText_ = text;
  return true;
}

bool Bench::Update(std::string& error) {
  KeyValues file;
  if (file.Read(BenchPath(folder_)) && file.Number("generation") == generation_) return true;
  return ReadBenchFile(error);
}

std::uint32_t Bench::AllocateInstances(std::uint32_t count) {
  platform::NamedMutex lock(LockName());
  if (!lock.Lock(kLockWaitMs, platform::SystemClock())) return 0;
  std::string error;
  std::uint32_t first = 0;
  if (Update(error)) {
    first = nextInstance;
    nextInstance += count;
    if (!WriteBenchFile()) first = 0;
  }
  lock.Unlock();
  return first;
}

std::uint32_t Bench::HubInstance(const std::string& port) {
  auto known = hubInstances.find(port);
  if (known != hubInstances.end()) return known->second;
  platform::NamedMutex lock(LockName());
  if (!lock.Lock(kLockWaitMs, platform::SystemClock())) return 0;
  std::string error;
  std::uint32_t instance = 0;
  if (Update(error)) {
    auto given = hubInstances.find(port);
    if (given != hubInstances.end()) {
      instance = given->second;
    } else {
      instance = hubInstances[port] = nextInstance++;
      if (!WriteBenchFile()) instance = 0;
    }
  }
  lock.Unlock();
  return instance;
}

bool Bench::MapFiles(Stored& stored, std::string& error) const {
  const std::string& name = stored.config.name;
  stored.code = platform::MappedFile::Open(CodecPath(folder_, name, ".code"), MemorySize(stored.config.memory), error);
  if (stored.code) stored.data = platform::MappedFile::Open(CodecPath(folder_, name, ".data"), kDataMemorySize, error);
  if (stored.data) stored.state = platform::MappedFile::Open(CodecPath(folder_, name, ".state"), kStateFileSize, error);
  return stored.state != nullptr;
}

bool Bench::LoadCodec(const std::string& name, std::string& error) {
  auto stored = std::make_unique<Stored>();
  KeyValues file;
  CodecConfig& config = stored->config;
  config.name = name;
  config.chip = file.Read(CodecPath(folder_, name, ".txt")) ? file.Get("chip") : "";
  stored->chip = FindChip(config.chip);
  std::string portError;
  if (stored->chip == nullptr || !ParseMemoryKind(file.Get("memory"), config.memory) ||
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
  id.audioClass = static_cast<std::uint8_t>(file.Number("audio_class", stored->chip->audioClass));
  id.highSpeed = file.Number("high_speed", stored->chip->highSpeed) != 0;
  config.reenumerateMs = static_cast<std::uint32_t>(file.Number("reenumerate_ms", config.reenumerateMs));
  stored->identityText = IdentityText(config);

  if (!MapFiles(*stored, error) || std::memcmp(stored->state->Bytes().data(), kStateMagic, sizeof kStateMagic) != 0) {
    error = "codec " + name + " of bench " + folder_ + " is damaged or of an older format (" + error + ")";
    return false;
  }
  stored_[name] = std::move(stored);
  if (!Look(name)) {
    stored_.erase(name);
    error = "the state of codec " + name + " of bench " + folder_ + " is damaged";
    return false;
  }
  clockUs = std::max(clockUs, stored_[name]->clockUs);
  return true;
}

Codec* Bench::Reload(const std::string& name) { return TakeOver(name, true); }

Codec* Bench::Look(const std::string& name) { return TakeOver(name, false); }

Codec* Bench::TakeOver(const std::string& name, bool locked) {
  auto it = stored_.find(name);
  if (it == stored_.end()) return nullptr;
  Stored& stored = *it->second;
  auto place = std::find_if(codecs_.begin(), codecs_.end(), [&](const auto& c) { return c->Config().name == name; });
  // A state taken without the lock may have met memories in the middle of
  // another process's command: under the lock it is taken over again.
  if (place != codecs_.end() && StoredGeneration(stored.state->Bytes()) == stored.generation &&
      (!locked || !stored.looked))
    return place->get();
  const std::vector<std::uint8_t> slot = CopySlotInForce(stored.state->Bytes());
  if (place == codecs_.end()) {
    auto codec = std::make_unique<Codec>(stored.config, *stored.chip);
    codec->Memory().UseStorage(stored.code->Bytes());
    codec->UseDataStorage(stored.data->Bytes());
    place = codecs_.insert(codecs_.end(), std::move(codec));
  }
  // The stored state replaces this process's; what the chip is doing within a
  // command stays this process's own.
  Codec& codec = **place;
  codec.Faults() = FaultSet{};
  codec.Memory().StuckBits().clear();
  std::uint64_t clock = 0;
  if (!ApplyState(slot.data(), codec, clock)) return nullptr;
  stored.generation = SlotGeneration(slot.data());
  stored.clockUs = clock;
  stored.body = StateBody(codec);
  stored.looked = !locked;
  return &codec;
}

bool Bench::Commit(const std::string& name, std::uint64_t nowUs) {
  auto it = stored_.find(name);
  Codec* codec = Find(name);
  if (it == stored_.end() || codec == nullptr) return false;
  Stored& stored = *it->second;
  std::span<std::uint8_t> file = stored.state->Bytes();
  const std::string body = StateBody(*codec);
  if (body.size() + 16 > kStateSlotSize) return false;
  const std::uint64_t generation = std::max(stored.generation, StoredGeneration(file)) + 1;
  const std::uint64_t clock = std::max(stored.clockUs, nowUs);
  const std::uint32_t next = (SlotInForce(file).load(std::memory_order_acquire) & 1) ^ 1;
  std::uint8_t* slot = SlotAt(file, next);
  std::memcpy(slot, &generation, 8);
  std::memcpy(slot + 8, &clock, 8);
  std::memcpy(slot + 16, body.data(), body.size());
  // The slot is whole before it is put in force.
  SlotInForce(file).store(next, std::memory_order_release);
  stored.generation = generation;
  stored.clockUs = clock;
  stored.body = body;
  stored.looked = false;
  return true;
}

std::uint64_t Bench::TimeOf(const std::string& name) const {
  auto it = stored_.find(name);
  return it == stored_.end() ? 0 : it->second->clockUs;
}

bool Bench::ChangedElsewhere() const {
  KeyValues file;
  if (file.Read(BenchPath(folder_)) && file.Number("generation") != generation_) return true;
  for (const auto& [name, stored] : stored_) {
    if (StoredGeneration(stored->state->Bytes()) != stored->generation) return true;
  }
  return false;
}

bool Bench::StoreNewCodec(Codec& codec, std::string& error) {
  const CodecConfig& config = codec.Config();
  const std::string& name = config.name;
  const std::span<const std::uint8_t> data = codec.DataMemory();
  std::vector<std::uint8_t> state(kStateFileSize, 0);
  std::memcpy(state.data(), kStateMagic, sizeof kStateMagic);
  const std::string body = StateBody(codec);
  const std::uint64_t generation = 1;
  std::memcpy(state.data() + kStateHeaderSize, &generation, 8);
  std::memcpy(state.data() + kStateHeaderSize + 8, &clockUs, 8);
  if (body.size() + 16 > kStateSlotSize) {
    error = "the faults of codec " + name + " are too many to store";
    return false;
  }
  std::memcpy(state.data() + kStateHeaderSize + 16, body.data(), body.size());
  if (!WriteBinaryFile(CodecPath(folder_, name, ".code"), codec.Memory().Bytes()) ||
      !WriteBinaryFile(CodecPath(folder_, name, ".data"), {data.begin(), data.end()}) ||
      !WriteBinaryFile(CodecPath(folder_, name, ".state"), state) ||
      !WriteTextFile(CodecPath(folder_, name, ".txt"), IdentityText(config))) {
    error = "cannot write codec " + name + " in " + folder_;
    return false;
  }
  auto stored = std::make_unique<Stored>();
  stored->config = config;
  stored->chip = &codec.Chip();
  stored->identityText = IdentityText(config);
  if (!MapFiles(*stored, error)) return false;
  codec.Memory().UseStorage(stored->code->Bytes());
  codec.UseDataStorage(stored->data->Bytes());
  stored->generation = generation;
  stored->clockUs = clockUs;
  stored->body = body;
  stored_[name] = std::move(stored);
  return true;
}

bool Bench::Save(std::string& error) {
  // The codecs first, each under its own lock, then the new codecs and the
  // bench file under the bench's lock: no process holds both kinds at once.
  for (auto& codec : codecs_) {
    const std::string name = codec->Config().name;
    auto it = stored_.find(name);
    if (it == stored_.end()) continue;
    Stored& stored = *it->second;
    const std::string identity = IdentityText(codec->Config());
    if (identity != stored.identityText) {
      if (!WriteTextFile(CodecPath(folder_, name, ".txt"), identity)) {
        error = "cannot write codec " + name + " in " + folder_;
        return false;
      }
      stored.identityText = identity;
      stored.config = codec->Config();
    }
    if (StateBody(*codec) != stored.body) {
      CodecLock lock(*this, name);
      if (!lock.Held() || !Commit(name, clockUs)) {
        error = "cannot store codec " + name + " in " + folder_;
        return false;
      }
    }
  }
  platform::NamedMutex lock(LockName());
  const bool locked = lock.Lock(kLockWaitMs, platform::SystemClock());
  bool saved = Update(error);
  for (auto& codec : codecs_) {
    if (saved && !stored_.count(codec->Config().name)) saved = StoreNewCodec(*codec, error);
  }
  if (saved && BenchEntries().Text() != benchText_ && !WriteBenchFile()) {
    error = "cannot write bench file in " + folder_;
    saved = false;
  }
  if (locked) lock.Unlock();
  return saved;
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
