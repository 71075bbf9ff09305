#pragma once
// The settings store: one in-memory INI document (section "Quillox Config")
// filled at start-up from the built-in settings text, resource "ICINI" 3032.
//
// A config.ini in the program folder, when present, is read after the built-in
// text and overrides it key by key, so a factory station can switch loop test,
// auto-run, serial numbers and result logs without a new build. Nothing is
// ever written back to a file.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/ini_file.h"

inline constexpr char kConfigSection[] = "Quillox Config";
inline constexpr char kConfigFileName[] = "config.ini";
inline constexpr int kSettingsResourceId = 3032;

class CConfigIni {
 public:
  // Creates the store if needed and fills it from the built-in text, then from
  // config.ini in the program folder.
  void LoadSettings();
  // The same from given texts (tests, tools); an empty override is skipped.
  void LoadSettingsFrom(std::string_view builtInText, const std::string& overridePath);
  const std::string& SettingsText() const { return text_; }

 private:
  std::string text_;  // the built-in settings text
};

// The program-wide store. Reads and the rare run-time write ("PortNo") are
// serialised inside these functions, so any thread may call them.
int GetConfigInt(std::uint8_t def, std::string_view section, std::string_view key);
void SetConfigInt(std::string_view section, std::string_view key, int value);
// CIniFile::GetInt and CIniFile::GetString on the store, for defaults that do
// not fit a byte and for text values.
int GetConfigValue(std::string_view section, std::string_view key, int def);
std::string GetConfigString(std::string_view section, std::string_view key, std::string_view def);
// The keys of a section as they are stored, in order.
std::vector<std::string> GetConfigKeys(std::string_view section);
// Empties the store (exit, and between tests).
void DestroySettingsStore();
