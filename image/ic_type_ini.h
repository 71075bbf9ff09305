#pragma once
// The IC-type description in use: which chip family a codec belongs to, where
// its images keep the configuration area and the tag, which built-in image is
// its default. Descriptions are INI texts, built in or (with the setting
// "Ini Type" 1) read from the *.INI files of the program folder.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/ini_file.h"

class CICTypeIni : public CUserIni {
 public:
  static constexpr char kGeneralSection[] = "Quillox Config";
  static constexpr char kVendorSection[] = "Vendor Info M1";
  static constexpr char kInitialFileName[] = "VMC2230.INI";
  static constexpr int kFallbackDescriptionId = 2030;
  static constexpr int kVariantCount = 16;

  // `folder` holds the external description files; the program folder unless
  // a caller names another.
  explicit CICTypeIni(std::string folder = {});

  // Fills the found-files list: the *.INI files of the folder except
  // "config.ini" (external mode), else the built-in names with ".ini".
  void DiscoverDescriptions();
  // Chooses and loads the description at start-up, then reads the general keys.
  void SelectInitialDescription();
  // Loads the description at that position of the found files (external
  // mode) or of the built-in list; a position beyond the list loads nothing.
  void SelectDescriptionByIndex(int index);
  // Reads "Bus Type" (into the program-wide BusType) and "Ic Name".
  void ReadGeneralKeys();
  // Searches the variant sections Camera_Register_00..0F for the register
  // pair; on a match stores the pair and its ChipInfo and returns 1.
  int MatchChipRegisters(std::uint8_t reg1, std::uint8_t reg2);

  // An integer of section "Vendor Info M1", 0 when missing.
  int GetVendorInfo(std::string_view key) const;
  int GetConfigSize() const { return GetVendorInfo("ConfigSize"); }
  int GetConfigAddress() const { return GetVendorInfo("ConfigAddress"); }
  int GetTagAddress() const { return GetVendorInfo("TagAddress"); }

  // The image table identifier of the description's "Def Bin"; 0 when none.
  int GetDefaultImageId() const;
  // The identifier of an image-table name; 0 when the table has no such row.
  int FindImageId(std::string_view name) const;
  // The built-in image for a device's hardware identity text
  // (VID_vvvv&PID_pppp&REV_rrrr): image FFU_vvvv_pppp; 0 when there is none
  // or no description was found.
  int FindDeviceImageId(std::string_view hardwareIdentity) const;

  std::uint8_t ChipInfo() const { return m_byChipInfo; }
  void SetChipInfo(std::uint8_t chipInfo) { m_byChipInfo = chipInfo; }
  std::uint8_t MatchedRegister1() const { return m_byReg1; }
  std::uint8_t MatchedRegister2() const { return m_byReg2; }
  const std::string& IcName() const { return m_strIcName; }
  // Device identification names the description a VMC2230 variant when the
  // device's image is smaller than a flash image; the next selection reads
  // the name again.
  void SetIcName(std::string name) { m_strIcName = std::move(name); }
  // The chip of the description SelectDescriptionByIndex loaded last: its
  // file name without the extension ("VMC2232"); empty before one was.
  std::string LoadedChipName() const;
  const std::string& SelectedFileName() const { return m_strSelected; }
  void SetSelectedFileName(std::string name) { m_strSelected = std::move(name); }
  const std::vector<std::string>& FoundFiles() const { return m_foundFiles; }
  int FoundCount() const { return int(m_foundFiles.size()); }
  const std::string& DescriptionText() const { return m_strDescriptionText; }

 private:
  void ClearDescription();
  void LoadBuiltIn(int id);
  void LoadExternal(const std::string& name);

  std::string m_folder;
  std::uint8_t m_byChipInfo = 0;
  std::uint8_t m_byReg1 = 0;
  std::uint8_t m_byReg2 = 0;
  std::string m_strSelected = kInitialFileName;
  std::string m_strLoaded;
  std::vector<std::string> m_foundFiles;
  std::string m_strIcName;
  std::string m_strDescriptionText;
};

// The image-table name for a hardware identity text: cut before its last '&',
// prefix "FFU", remove every "VID" and "&PID" (VID_3C5A&PID_2230&REV_0100
// gives FFU_3C5A_2230).
std::string DeviceImageName(std::string_view hardwareIdentity);

// The program-wide IC-type store: the description in use by every flow.
CICTypeIni& ICTypeStore();
