#include "sim/key_value_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sim {

namespace {

bool ReplaceWith(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  return !error;
}

}  // namespace

void KeyValues::AddHex(const std::string& key, std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  Add(key, text);
}

std::string KeyValues::Get(const std::string& key, const std::string& fallback) const {
  for (const auto& [k, v] : entries_) {
    if (k == key) return v;
  }
  return fallback;
}

std::vector<std::string> KeyValues::GetAll(const std::string& key) const {
  std::vector<std::string> values;
  for (const auto& [k, v] : entries_) {
    if (k == key) values.push_back(v);
  }
  return values;
}

bool KeyValues::Has(const std::string& key) const {
  for (const auto& entry : entries_) {
    if (entry.first == key) return true;
  }
  return false;
}

std::uint64_t KeyValues::Number(const std::string& key, std::uint64_t fallback) const {
  const std::string text = Get(key);
  if (text.empty()) return fallback;
  try {
    std::size_t used = 0;
    const std::uint64_t value = std::stoull(text, &used, 0);
    return used == text.size() ? value : fallback;
  } catch (...) {
    return fallback;
  }
}

bool KeyValues::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  entries_.clear();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) Add(line.substr(0, eq), line.substr(eq + 1));
  }
  return true;
}

std::string KeyValues::Text() const {
  std::string content;
  for (const auto& [k, v] : entries_) content += k + "=" + v + "\n";
  return content;
}

bool KeyValues::Write(const std::string& path) const { return ReplaceWith(path, Text()); }

bool ReadBinaryFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteBinaryFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return ReplaceWith(path, std::string(bytes.begin(), bytes.end()));
}

bool WriteTextFile(const std::string& path, const std::string& text) { return ReplaceWith(path, text); }

}  // namespace sim
