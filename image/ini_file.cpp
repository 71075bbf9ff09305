#include "image/ini_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

CIniFile::CIniFile(std::string path, bool duplicateKeys, bool ignoreCase)
    : duplicateKeys_(duplicateKeys), ignoreCase_(ignoreCase), path_(std::move(path)) {}

bool CIniFile::Equal(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ignoreCase_ ? Lower(a[i]) != Lower(b[i]) : a[i] != b[i]) return false;
  }
  return true;
}

bool CIniFile::Load() {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return false;
  std::string current;
  std::string line;
  bool ok = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!ParseLine(line, current)) {
      ok = false;
      break;
    }
  }
  return ok && !sections_.empty();
}

bool CIniFile::LoadText(std::string_view text) {
  std::string current;
  bool ok = true;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!ParseLine(line, current)) {
      ok = false;
      break;
    }
  }
  return ok && !sections_.empty();
}

// One line of the grammar; false when the line stops the load. `current` is
// the name of the section keys go to.
bool CIniFile::ParseLine(std::string_view line, std::string& current) {
  if (line.empty()) return true;
  const unsigned char first = static_cast<unsigned char>(line[0]);
  if (first < 0x20 || first > 0x7E) {
    std::printf("Failing on char %d\n", int(first));
    return false;
  }
  const size_t mark = line.find_first_of(";#[=");
  if (mark == std::string_view::npos) {
    SectionForWrite(current);
    SetValue(current, line, "", true);
    return true;
  }
  switch (line[mark]) {
    case ';':
    case '#':
      if (sections_.empty())
        fileComments_.emplace_back(line.substr(mark + 1));
      else
        SectionForWrite(current).comments.emplace_back(line.substr(mark + 1));
      break;
    case '[': {
      const size_t close = line.rfind(']');
      if (close == std::string_view::npos || close < mark) break;
      current = std::string(line.substr(mark + 1, close - mark - 1));
      sections_.push_back(Section{current, {}, {}, {}});
      break;
    }
    default:  // '='
      SectionForWrite(current);
      SetValue(current, line.substr(0, mark), line.substr(mark + 1), true);
      break;
  }
  return true;
}

CIniFile::Section& CIniFile::SectionForWrite(const std::string& name) {
  int index = FindSection(name);
  if (index < 0) index = AddSection(name);
  return sections_[size_t(index)];
}

int CIniFile::FindSection(std::string_view name) const {
  for (size_t i = 0; i < sections_.size(); ++i)
    if (Equal(sections_[i].name, name)) return int(i);
  return -1;
}

int CIniFile::FindKey(int section, std::string_view key) const {
  if (section < 0 || size_t(section) >= sections_.size()) return -1;
  const auto& keys = sections_[size_t(section)].keys;
  for (size_t i = 0; i < keys.size(); ++i)
    if (Equal(keys[i], key)) return int(i);
  return -1;
}

std::string CIniFile::GetString(int section, std::string_view key, std::string_view def) const {
  const int k = FindKey(section, key);
  if (k < 0) return std::string(def);
  return sections_[size_t(section)].values[size_t(k)];
}

int CIniFile::GetInt(int section, std::string_view key, int def) const {
  return ToInt(GetString(section, key, std::to_string(def)));
}

std::string CIniFile::GetString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  return GetString(FindSection(section), key, def);
}

int CIniFile::GetInt(std::string_view section, std::string_view key, int def) const {
  return GetInt(FindSection(section), key, def);
}

bool CIniFile::SetValue(std::string_view section, std::string_view key, std::string_view value,
                        bool create) {
  int s = FindSection(section);
  if (s < 0) {
    if (!create) return false;
    s = AddSection(section);
  }
  Section& sec = sections_[size_t(s)];
  const int k = duplicateKeys_ ? -1 : FindKey(s, key);
  if (k >= 0) {
    sec.values[size_t(k)] = std::string(value);
    return true;
  }
  if (!create) return false;
  sec.keys.emplace_back(key);
  sec.values.emplace_back(value);
  return true;
}

int CIniFile::AddSection(std::string_view name) {
  sections_.push_back(Section{std::string(name), {}, {}, {}});
  return int(sections_.size() - 1);
}

bool CIniFile::AddComment(std::string_view section, std::string_view text) {
  const int s = FindSection(section);
  if (s < 0) return false;
  sections_[size_t(s)].comments.emplace_back(text);
  return true;
}

void CIniFile::Clear() {
  sections_.clear();
  fileComments_.clear();
}

int CIniFile::ToInt(std::string_view text) {
  // Behaves as a 32-bit unsigned conversion does: leading blanks skipped, one
  // sign, a magnitude beyond 32 bits saturating.
  std::string s(text);
  const char* p = s.c_str();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '-' || *p == '+') negative = (*p++ == '-');
  if (*p == '-' || *p == '+' || *p == ' ' || (*p >= '\t' && *p <= '\r')) return 0;
  errno = 0;
  unsigned long long magnitude = std::strtoull(p, nullptr, 0);
  if (errno == ERANGE || magnitude > 0xFFFFFFFFull) return int(0xFFFFFFFFu);
  std::uint32_t value = std::uint32_t(magnitude);
  if (negative) value = 0u - value;
  return int(value);
}
