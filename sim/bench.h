#pragma once
// A simulated bench: the codecs on a virtual bus, kept in a folder so that
// separate runs (tessaload, tessaload-sim) work on the same codecs.
//
//   DIR/bench.txt              the bench: virtual time, instance counter, hubs, codec names
//   DIR/codecs/NAME.txt        a codec's identity, port, mode, faults and counters
//   DIR/codecs/NAME.code       its code memory, raw
//   DIR/codecs/NAME.data       its data memory (64 KiB), raw
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/codec.h"

namespace sim {

class Bench {
 public:
  // Makes an empty bench in `folder` (created when missing). Refuses a folder
  // that already holds a bench.
  static bool Create(const std::string& folder, std::string& error);
  static std::unique_ptr<Bench> Load(const std::string& folder, std::string& error);
  // The generation stored in the folder (changes with every save); 0 when unreadable.
  static std::uint64_t StoredGeneration(const std::string& folder);

  bool Save(std::string& error);

  const std::string& Folder() const { return folder_; }
  std::uint64_t Generation() const { return generation_; }
  std::vector<std::unique_ptr<Codec>>& Codecs() { return codecs_; }
  Codec* Find(const std::string& name);
  // Checks the name and the port (free, not taken by a hub) and adds the codec.
  bool Add(std::unique_ptr<Codec> codec, std::string& error);

  std::uint64_t clockUs = 0;
  std::uint32_t nextInstance = 3;  // 1 and 2 are the root hubs
  std::map<std::string, std::uint32_t> hubInstances;  // by port path text

 private:
  explicit Bench(std::string folder) : folder_(std::move(folder)) {}
  bool LoadCodec(const std::string& name, std::string& error);
  bool SaveCodec(Codec& codec, std::string& error) const;

  std::string folder_;
  std::uint64_t generation_ = 0;
  std::vector<std::unique_ptr<Codec>> codecs_;
};

// The name of the machine-wide lock that orders the saves and loads of the
// bench in `folder` across processes.
std::string BenchLockName(const std::string& folder);

// The value of --channels: "both", "vendor" or "xu".
std::string ChannelsText(const CodecConfig& config);
bool ParseChannels(const std::string& text, CodecConfig& config);

}  // namespace sim
