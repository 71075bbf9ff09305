#include "image/sample_image.h"

#include <algorithm>
#include <cstdlib>

#include "image/builtin_tables.h"
#include "image/desc_fixed.h"
#include "image/desc_stream.h"
#include "image/desc_variable.h"
#include "image/ini_file.h"
#include "platform/resources.h"
#include "platform/vendor.h"

namespace {

constexpr std::size_t kFlashImageSize = 0x10000;
constexpr std::size_t kProgramAddress = 0x100;
constexpr std::size_t kSmallVersionOffset = 0x11B;
constexpr std::uint8_t kPartComplete = 2;

// Reads the chip identifier at 0xFE21, shows it on port 1 and stays there:
//   MOV DPTR,#0FE21h / MOVX A,@DPTR / MOV P1,A / SJMP $
constexpr std::uint8_t kProgram[] = {0x90, 0xFE, 0x21, 0xE0, 0xF5, 0x90, 0x80, 0xFE};

struct ChipData {
  int configAddress = 0;
  int configSize = 0;
  int tagAddress = 0;
  std::uint8_t family = 0;
};

bool LoadChip(const std::string& chip, ChipData& data) {
  for (const NamedId& d : BuiltInDescriptions()) {
    if (d.name != chip) continue;
    const auto text = platform::FindResource(kDescriptionResourceType, d.id);
    CIniFile ini;
    ini.LoadText(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    data.configAddress = ini.GetInt("Vendor Info M1", "ConfigAddress", 0);
    data.configSize = ini.GetInt("Vendor Info M1", "ConfigSize", 0);
    data.tagAddress = ini.GetInt("Vendor Info M1", "TagAddress", 0);
    data.family = std::uint8_t(ini.GetInt("Camera_Register_00", "ChipInfo", 0));
    return data.family != 0 && data.configSize > 0;
  }
  return false;
}

std::uint8_t StorageKind(SampleMemory memory) {
  switch (memory) {
    case SampleMemory::kSpi: return 0x55;
    case SampleMemory::kNor: return 0x61;
    case SampleMemory::kEeprom8: return 0x11;
    case SampleMemory::kEeprom16: return 0x12;
    case SampleMemory::kOtp: return 0x60;
  }
  return 0x55;
}

template <class T>
bool AppendString(CDescStream& w, const std::string& text) {
  T record;
  return record.SetText(text) && w.AppendRecord(record);
}

// The records of the area, without code.
bool AppendIdentity(CDescStream& w, const SampleImageSpec& spec, std::uint8_t family, std::uint16_t vid,
                    std::uint16_t pid) {
  bool ok = AppendString<CDescStringManu>(w, spec.manufacturer) &&
            AppendString<CDescStringProd>(w, spec.chip + " USB Audio");
  if (ok && !spec.serial.empty()) ok = AppendString<CDescStringSN>(w, spec.serial);
  CDescVIDPID ids;
  ids.SetField("wVID", vid);
  ids.SetField("wPID", pid);
  ids.SetField("wRevID", 0x0100);
  ok = ok && w.AppendRecord(ids);
  if (family::HasUacRecords(family)) {
    CDescUACTop top;
    top.SetField("wVID", vid);
    top.SetField("wPID", pid);
    ok = ok && w.AppendRecord(top) && w.AppendRecord(CDescEPAInfo()) && w.AppendRecord(CDescInterCodecInfo());
  } else if (family == family::k2210) {
    ok = ok && w.AppendRecord(CDescI2S0_2210()) && w.AppendRecord(CDescEndPointType());
  }
  return ok;
}

// An OTP area keeps its leading records to the 15 bytes that the OTP
// download copies in front of each part it splits off.
void BeginArea(CDescStream& w, std::uint8_t storageKind, std::uint8_t family) {
  CDescGlobal header;
  header.storageKind = storageKind;
  header.partCode = kPartComplete;
  header.family = family;
  LeadingRecords leading;
  leading.hasEep = true;
  leading.hasForceUpdate = storageKind != StorageKind(SampleMemory::kOtp);
  leading.hasBankCopy = family::HasBankCopy(family);
  w.BeginRewrite(header, leading);
}

// The program as cache code of `length` bytes whose version record ends it.
std::vector<std::uint8_t> CacheCode(std::size_t length, const FwVersion& version) {
  std::vector<std::uint8_t> code(length, 0xFF);
  std::copy(std::begin(kProgram), std::end(kProgram), code.begin());
  const auto record = EncodeVersionRecord(version);
  std::copy(record.begin(), record.end(), code.end() - kVersionRecordSize);
  return code;
}

}  // namespace

bool ParseSampleMemory(const std::string& name, SampleMemory& memory) {
  static const std::pair<const char*, SampleMemory> kNames[] = {{"spi", SampleMemory::kSpi},
                                                                 {"nor", SampleMemory::kNor},
                                                                 {"eeprom8", SampleMemory::kEeprom8},
                                                                 {"eeprom16", SampleMemory::kEeprom16},
                                                                 {"otp", SampleMemory::kOtp}};
  for (const auto& [text, value] : kNames) {
    if (name == text) {
      memory = value;
      return true;
    }
  }
  return false;
}

bool BuildSampleImage(const SampleImageSpec& spec, std::vector<std::uint8_t>& image, std::string& error) {
  ChipData chip;
  if (!LoadChip(spec.chip, chip)) {
    error = "unknown chip \"" + spec.chip + "\"";
    return false;
  }
  if (spec.manufacturer.size() > CDescString::kMaxWrite || spec.serial.size() > CDescString::kMaxWrite) {
    error = "strings hold at most 48 characters";
    return false;
  }
  const std::uint16_t vid = spec.vid ? spec.vid : platform::kVendorId;
  const std::uint16_t pid =
      spec.pid ? spec.pid : std::uint16_t(std::strtoul(spec.chip.c_str() + 3, nullptr, 16));
  const std::uint8_t kind = StorageKind(spec.memory);
  const bool configOnly = spec.memory != SampleMemory::kSpi && spec.memory != SampleMemory::kNor;
  if (spec.memory == SampleMemory::kOtp && !family::HasUacRecords(chip.family)) {
    error = spec.chip + " has no small-cache-code record for OTP code";
    return false;
  }

  CDescStream w;
  BeginArea(w, kind, chip.family);
  const bool otp = spec.memory == SampleMemory::kOtp;
  // OTP code comes first, right behind the leading records, where the OTP
  // download cuts the code part out; EEPROM code follows the records.
  if (!otp && !AppendIdentity(w, spec, chip.family, vid, pid)) {
    error = "the configuration records cannot be written";
    return false;
  }
  std::vector<std::uint8_t> area(std::size_t(chip.configSize), 0xFF);
  if (configOnly) {
    // The code lies inline behind the 8-byte header of a small-cache-code
    // record, or after the 6-byte code-information record. Its length puts
    // the version record at 0x11B.
    const std::size_t codeStart = w.RewriteSize() + (otp ? CDescSmallCachecode::kHeaderBytes : 6);
    if (codeStart + sizeof kProgram > kSmallVersionOffset) {
      error = "the configuration records leave no room for the code";
      return false;
    }
    const auto code = CacheCode(kSmallVersionOffset + kVersionRecordSize - codeStart, spec.version);
    bool ok;
    if (otp) {
      CDescSmallCachecode record;
      ok = record.SetCode(code) && w.AppendRecord(record) && AppendIdentity(w, spec, chip.family, vid, pid);
    } else {
      CDescCodeInfo record;
      ok = record.SetCode(code) && w.AppendRecord(record);
    }
    const std::size_t size = w.RewriteSize();
    if (!ok || !w.FinishRewrite(area)) {
      error = "the configuration area does not fit in " + std::to_string(chip.configSize) + " bytes";
      return false;
    }
    area.resize((size + 15) & ~std::size_t(15));
    image = std::move(area);
    return true;
  }

  if (!w.FinishRewrite(area) || std::size_t(chip.configAddress) + area.size() > kFlashImageSize ||
      std::size_t(chip.tagAddress) + 2 > kFlashImageSize) {
    error = "the configuration area does not fit the image";
    return false;
  }
  image.assign(kFlashImageSize, 0xFF);
  const std::uint8_t jump[] = {0x02, std::uint8_t(kProgramAddress >> 8), std::uint8_t(kProgramAddress)};
  std::copy(std::begin(jump), std::end(jump), image.begin());
  std::copy(std::begin(kProgram), std::end(kProgram), image.begin() + kProgramAddress);
  // Image identity bytes: chip number, family, storage kind.
  const std::uint8_t identity[] = {std::uint8_t(pid >> 8), std::uint8_t(pid), chip.family, kind, 0x00};
  std::copy(std::begin(identity), std::end(identity), image.begin() + 0x1003);
  const auto record = EncodeVersionRecord(spec.version);
  std::copy(record.begin(), record.end(), image.begin() + std::ptrdiff_t(VersionRecordOffset(image.size())));
  // A fresh image carries no tag (0xFF 0xFF at TagAddress); the tool writes
  // 55 AA there only when it rebuilds the configuration area.
  std::copy(area.begin(), area.end(), image.begin() + chip.configAddress);
  return true;
}
