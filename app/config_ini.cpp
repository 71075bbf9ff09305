#include "app/config_ini.h"

#include <memory>
#include <mutex>
#include <shared_mutex>

#include "platform/paths.h"
#include "platform/resources.h"

namespace {

std::shared_mutex storeLock;
std::unique_ptr<CIniFile> store;

CIniFile& StoreLocked() {
  if (!store) store = std::make_unique<CIniFile>();
  return *store;
}

}  // namespace

void CConfigIni::LoadSettings() {
  auto bytes = platform::FindResource("ICINI", kSettingsResourceId);
  std::string_view builtIn(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  LoadSettingsFrom(builtIn, platform::ProgramFolderWithSeparator() + kConfigFileName);
}

void CConfigIni::LoadSettingsFrom(std::string_view builtInText, const std::string& overridePath) {
  if (!builtInText.empty()) text_ = std::string(builtInText);
  std::unique_lock lock(storeLock);
  CIniFile& s = StoreLocked();
  s.LoadText(text_);
  if (overridePath.empty()) return;
  CIniFile local(overridePath);
  local.Load();  // sections read before a rejected line still apply
  for (int i = 0; i < local.SectionCount(); ++i) {
    const std::string& section = local.SectionName(i);
    for (const std::string& key : local.SectionKeys(i))
      s.SetValue(section, key, local.GetString(i, key, ""), true);
  }
}

int GetConfigInt(std::uint8_t def, std::string_view section, std::string_view key) {
  return GetConfigValue(section, key, def);
}

int GetConfigValue(std::string_view section, std::string_view key, int def) {
  std::shared_lock lock(storeLock);
  if (!store) return CIniFile::ToInt(std::to_string(def));
  return store->GetInt(section, key, def);
}

std::string GetConfigString(std::string_view section, std::string_view key, std::string_view def) {
  std::shared_lock lock(storeLock);
  if (!store) return std::string(def);
  return store->GetString(section, key, def);
}

void SetConfigInt(std::string_view section, std::string_view key, int value) {
  std::unique_lock lock(storeLock);
  StoreLocked().SetValue(section, key, std::to_string(value), true);
}

std::vector<std::string> GetConfigKeys(std::string_view section) {
  std::shared_lock lock(storeLock);
  if (!store) return {};
  const int index = store->FindSection(section);
  if (index < 0) return {};
  return store->SectionKeys(index);
}

void DestroySettingsStore() {
  std::unique_lock lock(storeLock);
  store.reset();
}
