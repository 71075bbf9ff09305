#pragma once
// The one INI reader of the program: the built-in settings text and every IC
// type description go through it.
//
// Grammar, per line (lines split at LF, one trailing CR removed, empty lines
// skipped): a line starting with a character outside 0x20..0x7E stops the load
// ("Failing on char %d" on standard output) and the load fails; otherwise the
// first of ';' '#' '[' '=' decides: ';'/'#' comment, '[' section (name up to
// the last ']'), '=' key=value kept exactly as written, none of them a key with
// an empty value. Nothing is trimmed. Keys before the first section go into a
// section with the empty name; a repeated section appends an entry but its keys
// go to the first section of that name.
#include <string>
#include <string_view>
#include <vector>

#include "image/mixins.h"

class CIniFile {
 public:
  explicit CIniFile(std::string path = {}, bool duplicateKeys = false, bool ignoreCase = true);
  virtual ~CIniFile() = default;

  // Reads the document's file; true when at least one section was read and no
  // line was rejected. A file that cannot be opened loads as an empty document.
  bool Load();
  // Parses text held in memory with the same grammar.
  bool LoadText(std::string_view text);

  int FindSection(std::string_view name) const;
  int FindKey(int section, std::string_view key) const;

  std::string GetString(int section, std::string_view key, std::string_view def) const;
  int GetInt(int section, std::string_view key, int def) const;
  // The same with the section looked up by name.
  std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
  int GetInt(std::string_view section, std::string_view key, int def) const;

  bool SetValue(std::string_view section, std::string_view key, std::string_view value, bool create);
  int AddSection(std::string_view name);
  bool AddComment(std::string_view section, std::string_view text);
  void Clear();

  int SectionCount() const { return int(sections_.size()); }
  const std::string& SectionName(int section) const { return sections_[size_t(section)].name; }
  const std::vector<std::string>& SectionKeys(int section) const { return sections_[size_t(section)].keys; }
  const std::vector<std::string>& FileComments() const { return fileComments_; }
  const std::string& Path() const { return path_; }
  void SetPath(std::string path) { path_ = std::move(path); }

  // The integer conversion of every INI value: unsigned, automatic base ("0x"
  // hexadecimal, leading "0" octal, else decimal), stopping at the first
  // character that does not belong to the number, a leading '-' negating, the
  // result taken as a signed 32-bit number; no digits give 0.
  static int ToInt(std::string_view text);

 private:
  struct Section {
    std::string name;
    std::vector<std::string> keys;
    std::vector<std::string> values;
    std::vector<std::string> comments;
  };

  bool Equal(std::string_view a, std::string_view b) const;
  bool ParseLine(std::string_view line, std::string& current);
  Section& SectionForWrite(const std::string& name);

  bool duplicateKeys_;
  bool ignoreCase_;
  std::string path_;
  std::vector<Section> sections_;
  std::vector<std::string> fileComments_;
};

class CUserIni : public CIniFile, public CDataInfo, public CDumpStr {
 public:
  using CIniFile::CIniFile;
};
