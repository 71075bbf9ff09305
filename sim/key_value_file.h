#pragma once
// The text files of a bench: one "key=value" per line, in order. Values run to
// the end of the line and hold no line breaks.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

class KeyValues {
 public:
  void Add(const std::string& key, const std::string& value) { entries_.emplace_back(key, value); }
  void AddNumber(const std::string& key, std::uint64_t value) { Add(key, std::to_string(value)); }
  void AddHex(const std::string& key, std::uint32_t value);
  // The first value of a key, or `fallback`.
  std::string Get(const std::string& key, const std::string& fallback = "") const;
  std::vector<std::string> GetAll(const std::string& key) const;
  bool Has(const std::string& key) const;
  // Numbers in decimal, or hexadecimal with 0x.
  std::uint64_t Number(const std::string& key, std::uint64_t fallback = 0) const;
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

  // The lines of the file.
  std::string Text() const;
  bool Read(const std::string& path);
  // Writes through a temporary file and a rename, so a reader never sees half a file.
  bool Write(const std::string& path) const;

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

bool ReadBinaryFile(const std::string& path, std::vector<std::uint8_t>& bytes);
// Both write through a temporary file and a rename.
bool WriteBinaryFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
bool WriteTextFile(const std::string& path, const std::string& text);

}  // namespace sim
