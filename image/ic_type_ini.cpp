#include "image/ic_type_ini.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/program_state.h"
#include "image/builtin_tables.h"
#include "platform/paths.h"
#include "platform/resources.h"

namespace {

bool IsIniName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".ini";
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return text;
}

void RemoveAll(std::string& text, std::string_view what) {
  for (std::size_t at; (at = text.find(what)) != std::string::npos;) text.erase(at, what.size());
}

}  // namespace

CICTypeIni::CICTypeIni(std::string folder)
    : m_folder(folder.empty() ? platform::ProgramFolder() : std::move(folder)) {}

void CICTypeIni::DiscoverDescriptions() {
  m_foundFiles.clear();
  if (IniType != 1) {
    for (const NamedId& d : BuiltInDescriptions()) m_foundFiles.push_back(std::string(d.name) + ".ini");
    return;
  }
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(m_folder, ec)) {
    if (entry.is_directory(ec)) continue;
    std::string name = entry.path().filename().string();
    if (IsIniName(name) && name != "config.ini") m_foundFiles.push_back(std::move(name));
  }
  // Directory order differs between file systems; a station must pick the
  // same description on every run.
  std::sort(m_foundFiles.begin(), m_foundFiles.end());
}

void CICTypeIni::ClearDescription() {
  Clear();
  m_strIcName.clear();
}

void CICTypeIni::LoadBuiltIn(int id) {
  const auto text = platform::FindResource(kDescriptionResourceType, id);
  m_strDescriptionText.assign(reinterpret_cast<const char*>(text.data()), text.size());
  SetPath({});
  if (!text.empty()) LoadText(m_strDescriptionText);
}

void CICTypeIni::LoadExternal(const std::string& name) {
  SetPath(m_folder + platform::kPathSeparator + name);
  Load();
}

std::string CICTypeIni::LoadedChipName() const {
  const std::size_t dot = m_strLoaded.rfind('.');
  return dot == std::string::npos ? m_strLoaded : m_strLoaded.substr(0, dot);
}

void CICTypeIni::SelectInitialDescription() {
  ClearDescription();
  if (IniType != 1) {
    int id = kFallbackDescriptionId;
    for (const NamedId& d : BuiltInDescriptions()) {
      if (Upper(std::string(d.name) + ".ini") == m_strSelected) {
        id = d.id;
        break;
      }
    }
    LoadBuiltIn(id);
  } else if (m_foundFiles.empty()) {
    m_strSelected.clear();
  } else {
    if (std::find(m_foundFiles.begin(), m_foundFiles.end(), m_strSelected) == m_foundFiles.end())
      m_strSelected = m_foundFiles.front();
    LoadExternal(m_strSelected);
  }
  ReadGeneralKeys();
}

void CICTypeIni::SelectDescriptionByIndex(int index) {
  ClearDescription();
  m_strLoaded.clear();
  if (index < 0) return;
  if (index < FoundCount()) m_strLoaded = m_foundFiles[std::size_t(index)];
  if (IniType == 1) {
    if (index < FoundCount()) LoadExternal(m_foundFiles[std::size_t(index)]);
  } else if (std::size_t(index) < BuiltInDescriptions().size()) {
    LoadBuiltIn(BuiltInDescriptions()[std::size_t(index)].id);
  }
}

void CICTypeIni::ReadGeneralKeys() {
  const std::string bus = GetString(kGeneralSection, "Bus Type", "");
  for (const NamedId& b : BusTable())
    if (b.name == bus) BusType = b.id;
  m_strIcName = GetString(kGeneralSection, "Ic Name", "");
}

int CICTypeIni::MatchChipRegisters(std::uint8_t reg1, std::uint8_t reg2) {
  for (int i = 0; i < kVariantCount; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Camera_%s_%02X", "Register", i);
    const int section = FindSection(name);
    if (section < 0) continue;
    if (std::uint8_t(GetInt(section, "ICRegister1", 0)) != reg1 ||
        std::uint8_t(GetInt(section, "ICRegister2", 0)) != reg2)
      continue;
    m_byReg1 = reg1;
    m_byReg2 = reg2;
    m_byChipInfo = std::uint8_t(GetInt(section, "ChipInfo", 0));
    return 1;
  }
  return 0;
}

int CICTypeIni::GetVendorInfo(std::string_view key) const { return GetInt(kVendorSection, key, 0); }

int CICTypeIni::FindImageId(std::string_view name) const {
  for (const NamedId& row : BuiltInImageTable())
    if (row.name == name) return row.id;
  return 0;
}

int CICTypeIni::GetDefaultImageId() const {
  return FindImageId(GetString(kGeneralSection, "Def Bin", ""));
}

int CICTypeIni::FindDeviceImageId(std::string_view hardwareIdentity) const {
  if (m_foundFiles.empty()) return 0;
  return FindImageId(DeviceImageName(hardwareIdentity));
}

std::string DeviceImageName(std::string_view hardwareIdentity) {
  std::string name(hardwareIdentity.substr(0, std::min(hardwareIdentity.rfind('&'), hardwareIdentity.size())));
  name.insert(0, "FFU");
  RemoveAll(name, "VID");
  RemoveAll(name, "&PID");
  return name;
}

CICTypeIni& ICTypeStore() {
  static CICTypeIni store;
  return store;
}
