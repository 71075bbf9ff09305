#pragma once
// A simulated bench: the codecs on a virtual bus, kept in a folder so that
// separate runs (tessaload, tessaload-sim), also at the same time, work on the
// same codecs.
//
//   DIR/bench.txt              the bench: format, generation, instance counter, hubs, codec names,
//                              real_time=1 for a bench in real time
//   DIR/codecs/NAME.txt        a codec's identity and wiring: chip, memory, USB identity, channels, port
//   DIR/codecs/NAME.code       its code memory, raw
//   DIR/codecs/NAME.data       its data memory (64 KiB), raw
//   DIR/codecs/NAME.state      its state: presence, mode, instances, flash status register, faults,
//                              counters and its virtual time (binary, host byte order, below)
//
// Every process maps the .code, .data and .state files of the codecs it has
// loaded: a change to a memory is in the file the moment the codec makes it,
// seen by the other processes and kept when the process is killed. A process
// changes a codec only while it holds the codec's lock (CodecLock): Reload
// takes over what another process stored since, Commit stores the codec's
// state. The state file holds two slots after a header (8 bytes "TLSIMST1",
// the number of the slot in force as 4 bytes, 4 bytes zero); Commit writes the
// other slot whole and then switches, so a process killed inside Commit leaves
// the last committed state, and a reader without the lock (Load) takes a copy
// that is whole. A slot: generation, virtual time, absent-until
// (8 bytes each), the ten counters (8 bytes each, in the order of
// TransferCounters), device and function instance (4 bytes each), plugged,
// mode (1 running), flash status register, a zero byte, then the length (4
// bytes) and the text of the fault specification (stuck OTP bits included).
//
// The virtual time of a bench is a logical clock: each codec keeps the time of
// its last change, and a host that looks at a codec first moves its clock up
// to that time, so no process sees a codec change before it happened.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/mapped_file.h"
#include "platform/named_mutex.h"
#include "sim/codec.h"
#include "sim/key_value_file.h"

namespace sim {

std::string BenchLockName(const std::string& folder);

class Bench {
 public:
  // Makes an empty bench in `folder` (created when missing). Refuses a folder
  // that already holds a bench.
  // `realTime`: modelled time passes on the wall clock (bench file key
  // real_time=1), for figures and for watching the window; tests keep
  // virtual time.
  static bool Create(const std::string& folder, std::string& error, bool realTime = false);
  // Loads the bench; benches of an older format are refused.
  static std::unique_ptr<Bench> Load(const std::string& folder, std::string& error);
  ~Bench();

  // Writes what changed since the bench was loaded or last saved: the bench
  // file, the files of codecs added since, the identity and state of each
  // codec that changed. A codec's state is written under its lock; whoever
  // changes a codec another process may use holds that lock from Reload on.
  bool Save(std::string& error);

  const std::string& Folder() const { return folder_; }
  // BenchLockName of the folder, worked out once: every transfer takes a lock by it.
  const std::string& LockName() const {
    if (lockName_.empty()) lockName_ = BenchLockName(folder_);
    return lockName_;
  }
  std::vector<std::unique_ptr<Codec>>& Codecs() { return codecs_; }
  Codec* Find(const std::string& name);
  // Checks the name and the port (free, not taken by a hub) and adds the codec.
  bool Add(std::unique_ptr<Codec> codec, std::string& error);

  // Takes over the state another process stored since this one last loaded
  // or committed it (hold the codec's lock to change it then). Null when
  // there is no such stored codec or its state is damaged.
  Codec* Reload(const std::string& name);
  // The same without the codec's lock, for looking only: the state as last
  // committed, whole, even while another process works on the codec. The
  // next Reload takes the state over again under the lock.
  Codec* Look(const std::string& name);
  // With the codec's lock held: stores its state, stamped with virtual time
  // `nowUs` (never earlier than its last change). False when it cannot.
  bool Commit(const std::string& name, std::uint64_t nowUs);
  // The virtual time of the codec's last stored change.
  std::uint64_t TimeOf(const std::string& name) const;

  // Takes over what other processes wrote to the bench file since: codecs
  // added, instance numbers and hubs given out. False with `error` when a new
  // codec cannot be loaded.
  bool Update(std::string& error);
  // Instance numbers unique across the processes on the bench: `count`
  // consecutive ones from the returned number (0 when the bench file cannot
  // be written). Takes the bench's lock: call it holding no codec's lock.
  std::uint32_t AllocateInstances(std::uint32_t count);
  // The instance of the hub at a port path (by its text), given out once.
  std::uint32_t HubInstance(const std::string& port);
  // Whether another process stored a change since (bench file or a codec).
  bool ChangedElsewhere() const;

  // The latest virtual time of the bench: on loading, the latest of its
  // codecs' times; Save stamps the codecs it writes with it.
  std::uint64_t clockUs = 0;
  std::uint32_t nextInstance = 3;  // 1 and 2 are the root hubs
  bool realTime = false;
  std::map<std::string, std::uint32_t> hubInstances;  // by port path text

 private:
  struct Stored;
  explicit Bench(std::string folder);
  bool ReadBenchFile(std::string& error);
  KeyValues BenchEntries() const;  // the bench file but its generation
  bool WriteBenchFile();
  bool MapFiles(Stored& stored, std::string& error) const;  // the memories and the state
  bool LoadCodec(const std::string& name, std::string& error);
  Codec* TakeOver(const std::string& name, bool locked);
  bool StoreNewCodec(Codec& codec, std::string& error);

  std::string folder_;
  mutable std::string lockName_;
  std::uint64_t generation_ = 0;  // of the bench file as last read or written
  std::string benchText_;         // the bench file as last read or written
  std::map<std::string, std::unique_ptr<Stored>> stored_;  // by codec name; outlives codecs_
  std::vector<std::unique_ptr<Codec>> codecs_;
};

// The names of the machine-wide locks of the bench in `folder`: one for its
// bench file, one for each codec. A process holding one of them takes no
// other (Save under the bench's lock, as tessaload-sim add does, stores new
// codecs only), so no two processes wait for each other.
std::string BenchLockName(const std::string& folder);
std::string CodecLockName(const std::string& folder, const std::string& codec);

// Holds the lock of a codec of a bench, waiting up to 10 s of real time for
// it, or with `wait` false only when no other process holds it now.
class CodecLock {
 public:
  CodecLock(const Bench& bench, const std::string& codec, bool wait = true);
  ~CodecLock();
  CodecLock(const CodecLock&) = delete;
  CodecLock& operator=(const CodecLock&) = delete;
  bool Held() const { return held_; }

 private:
  platform::NamedMutex mutex_;
  bool held_ = false;
};

// The value of --channels: "both", "vendor" or "xu".
std::string ChannelsText(const CodecConfig& config);
bool ParseChannels(const std::string& text, CodecConfig& config);

}  // namespace sim
