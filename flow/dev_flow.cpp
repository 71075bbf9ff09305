#include "flow/dev_flow.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>

#include "app/file_routines.h"
#include "app/text_case.h"
#include "app/notify.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/flow_host.h"
#include "flow/job_flags.h"
#include "image/desc_stream.h"
#include "image/ic_type_ini.h"
#include "image/image_load.h"
#include "image/image_parse.h"
#include "image/image_version.h"
#include "platform/prompter.h"
#include "platform/resources.h"
#include "platform/vendor.h"

namespace {

constexpr int kAcceptedIdentitiesId = 3034;
constexpr int kOpenAttempts = 3;
constexpr std::size_t kFlashImageSize = 0x10000;
constexpr char kVmc2230Name[] = "VMC2230";
constexpr int kSpiFlashMemory = 0;
constexpr int kOtpMemory = 6;
constexpr std::size_t kConfigBlock = 0xF000;
constexpr std::size_t kConfigBlockSize = 0x1000;
constexpr std::uint8_t kMarker = 0x5A;

// The flags of the leading records of the configuration block at 0xF000;
// none when the image has no such block.
CDevFlow::ConfigFlags ReadConfigFlags(const std::vector<std::uint8_t>& image) {
  CDevFlow::ConfigFlags flags;
  if (image.size() < kConfigBlock + kConfigBlockSize) return flags;
  CDescStream stream;
  if (!stream.OpenArea(std::span(image).subspan(kConfigBlock, kConfigBlockSize)).Valid()) return flags;
  const LeadingRecords& leading = stream.Leading();
  flags.signedImage = leading.hasBankCopy && leading.bankCopy == kMarker;
  flags.eepromSettingSet = leading.hasEep && leading.eep == kMarker;
  flags.bankSwitch = (leading.forceUpdate & 0x10) != 0;
  flags.signatureCheck = (leading.forceUpdate & 0x40) != 0;
  return flags;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool ContainsNoCase(const std::string& text, const std::string& part) { return ContainsTextNoCase(text, part); }

FlowHost* Host() { return CurrentFlowHost(); }

}  // namespace

CDevFlow::CDevFlow() = default;

CDevFlow::~CDevFlow() = default;

// --- memory-type interface defaults -------------------------------------------------

int CDevFlow::LocateConfig(const std::vector<std::uint8_t>*, int) { return 0; }
int CDevFlow::ReadCode() { return 0; }
int CDevFlow::EraseCode() { return 0; }
int CDevFlow::UpdateCode() { return 0; }
int CDevFlow::Download() { return 0; }

namespace {
int NotSupported() {
  LastStatusCode = kStsNotSupport;
  return 0;
}
}  // namespace

int CDevFlow::SilenceWriteBin(const std::string&) { return NotSupported(); }
int CDevFlow::SilenceWriteSNBin(const std::string&, const std::string&) { return NotSupported(); }
int CDevFlow::SilenceReadBin(const std::string&) { return NotSupported(); }
int CDevFlow::SilenceVerifyBin(const std::string&) { return NotSupported(); }
int CDevFlow::SilenceReadText(const std::string&) { return NotSupported(); }
int CDevFlow::EraseCodeEx(int) { return NotSupported(); }

// --- helpers -------------------------------------------------------------------------

void CDevFlow::Say(const std::string& text) {
  if (SilentMode && Host()) Host()->Print(text);
}

void CDevFlow::CloseDevice() {
  if (m_hDevice) DevLib_CloseDevice(m_hDevice);
  m_hDevice = 0;
}

void CDevFlow::ReadIdentity() {
  DevLib_GetIdentityAndManufacturer(m_hDevice, vid, pid, rev, manufacturer);
  char text[48];
  std::snprintf(text, sizeof text, "VID_%04X&PID_%04X", vid, pid);
  vidPidText = text;
  std::snprintf(text, sizeof text, "VID_%04X&PID_%04X&REV_%04X", vid, pid, rev);
  hardwareIdentity = text;
}

void CDevFlow::ReadLocation() {
  DevLib_GetPortAndParent(m_hDevice, port, parentInstance);
  if (Host()) Host()->SetRememberedLocation(port, parentInstance);
}

void CDevFlow::ReadChipRegisters() {
  ChipId id;
  if (!ReadChipId(id)) id = {};
  chipRegister1 = id.lo & 0xF0;
  chipRegister2 = id.hi & 0xF0;
}

int CDevFlow::SelectIcTypeForChip() {
  CICTypeIni& ic = ICTypeStore();
  const int count = ic.FoundCount();
  for (int i = 0; i < count; ++i) {
    ic.SelectDescriptionByIndex(i);
    if (ic.MatchChipRegisters(chipRegister1, chipRegister2)) {
      ic.ReadGeneralKeys();
      return 1;
    }
  }
  return 0;
}

// --- identity checks --------------------------------------------------------------------

bool CDevFlow::CheckVidPidBuiltIn(const std::string& identity) {
  static const std::string list = [] {
    auto bytes = platform::FindResource("ICINI", kAcceptedIdentitiesId);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }();
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t end = list.find("\r\n", pos);
    if (end == std::string::npos) end = list.size();
    const std::string raw = list.substr(pos, end - pos);
    pos = end + 2;
    if (raw.empty()) continue;
    std::string line = Trim(raw);
    if (line.empty()) return false;
    if (const auto rev = line.find("REV"); rev != std::string::npos) line = line.substr(0, rev > 0 ? rev - 1 : 0);
    if (ContainsNoCase(identity, line)) return true;
  }
  return false;
}

bool CDevFlow::CheckVidPidFile(const std::string& identity) {
  const std::string path = ProgramFolderPathWithSeparator() + "VidPidList.ini";
  char text[600];
  if (!FileExists(path)) {
    std::snprintf(text, sizeof text, "%s does not exist", path.c_str());
    platform::CurrentPrompter().Show(text);
    return false;
  }
  std::ifstream in(path);
  if (!in) {
    std::snprintf(text, sizeof text, "Fail to open file %s", path.c_str());
    platform::CurrentPrompter().Show(text);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trim(line);
    if (!line.empty() && ContainsNoCase(identity, line) && ContainsNoCase(line, "REV")) return true;
  }
  return false;
}

bool CDevFlow::CheckVidPidImage() const { return vidPidText == download.vidPidText; }

bool CDevFlow::CheckConfigured() {
  return setting::Get(setting::kCheckVidPidIni) != 0 || setting::Get(setting::kCheckVidPidBin) != 0;
}

bool CDevFlow::RunConfiguredCheck() {
  const int ini = setting::Get(setting::kCheckVidPidIni);
  bool accepted = true;
  if (ini != 0)
    accepted = ini == 2 ? CheckVidPidFile(hardwareIdentity) : CheckVidPidBuiltIn(hardwareIdentity);
  else if (setting::Get(setting::kCheckVidPidBin) != 0)
    accepted = CheckVidPidImage();
  listCheckResult = accepted ? 1 : 0;
  return accepted;
}

// --- opening ----------------------------------------------------------------------------

int CDevFlow::DEV_OpenDevice() {
  TraceScope scope("CDevFlow::DEV_OpenDevice", kTraceFlow);
  if (m_hDevice) return 1;
  for (int i = 0; i < kOpenAttempts; ++i)
    if (MP_OpenDevice(i)) return 1;
  NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
  return 0;
}

int CDevFlow::DEV_OpenDeviceByICIni() {
  TraceScope scope("CDevFlow::DEV_OpenDeviceByICIni", kTraceFlow);
  if (m_hDevice) return 1;
  for (int i = 0; i < kOpenAttempts; ++i) {
    if (!MP_OpenDevice(i)) continue;
    ReadIdentity();
    ReadLocation();
    ReadChipRegisters();
    SelectIcTypeForChip();
    NotifyUI(kMsgDeviceOpened, 0, 0);
    return 1;
  }
  NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
  return 0;
}

int CDevFlow::DEV_OpenDeviceByICIni(int index) {
  TraceScope scope("CDevFlow::DEV_OpenDeviceByICIni", kTraceFlow);
  if (m_hDevice) return 1;
  if (!MP_OpenDevice(index)) {
    NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
    return 0;
  }
  ReadLocation();
  ReadChipRegisters();
  ReadIdentity();
  SelectIcTypeForChip();
  NotifyUI(kMsgDeviceOpened, 0, 0);
  return 1;
}

int CDevFlow::OpenIndex(int index) {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt)
    if (MP_OpenDevice(index)) return 1;
  return 0;
}

bool CDevFlow::AcceptedIdentity() {
  switch (setting::Get(setting::kCheckVidPidIni)) {
    case 0:
      return vid == platform::kVendorId;
    case 2:
      return CheckVidPidFile(hardwareIdentity);
    default:
      return CheckVidPidBuiltIn(hardwareIdentity);
  }
}

bool CDevFlow::OnLockedPort() {
  if (setting::Get(setting::kLockPort) == 0) return true;
  const int portNo = setting::Get(setting::kPortNo);
  if (portNo == 0) {
    setting::Set(setting::kPortNo, int(port));
    return true;
  }
  return int(port) == portNo;
}

int CDevFlow::ChooseOpenDevice() {
  ReadChipRegisters();
  SelectIcTypeForChip();
  NotifyUI(kMsgDeviceOpened, 0, 0);
  LastStatusCode = 0;
  return 1;
}

int CDevFlow::RefuseIdentity(const TraceScope& scope) {
  NotifyUI(kMsgFailure, kStsVidPidMismatch, 0);
  TraceLine(scope, "Check VID/PID Mismatch!\n");
  Say("Check VID/PID Mismatch!\n");
  return 0;
}

int CDevFlow::DEV_OpenDeviceForCommandLine(int index, bool explicitIndex) {
  TraceScope scope("CDevFlow::DEV_OpenDeviceForCommandLine", kTraceFlow);
  if (m_hDevice) return 1;
  if (!explicitIndex) {
    if (setting::Get(setting::kCheckVidPidIni) != 0) return DEV_OpenDeviceByVIDPID();
    // No list: the first of the first three positions that carries our vendor ID.
    bool opened = false;
    for (int i = 0; i < kOpenAttempts; ++i) {
      if (!OpenIndex(i)) continue;
      opened = true;
      ReadLocation();
      ReadIdentity();
      if (AcceptedIdentity() && OnLockedPort()) return ChooseOpenDevice();
      CloseDevice();
    }
    if (!opened) {
      NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
      return 0;
    }
    return RefuseIdentity(scope);
  }
  // "-d N" names one codec: that one, or none.
  if (!OpenIndex(index)) {
    NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
    TraceLine(scope, "Cannot find Quanzor USB Audio!\n");
    Say("Cannot find Quanzor USB Audio!\n");
    return 0;
  }
  ReadLocation();
  ReadIdentity();
  if (AcceptedIdentity() && OnLockedPort()) return ChooseOpenDevice();
  CloseDevice();
  return RefuseIdentity(scope);
}

int CDevFlow::DEV_OpenDeviceByVIDPID() {
  TraceScope scope("CDevFlow::DEV_OpenDeviceByVIDPID", kTraceFlow);
  if (m_hDevice) return 1;
  const int count = DevLib_GetDeviceCount();
  if (count == 0) {
    NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
    TraceLine(scope, "Cannot find Quanzor USB Audio!\n");
    Say("Cannot find Quanzor USB Audio!\n");
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    if (!OpenIndex(i)) continue;
    ReadLocation();
    ReadIdentity();
    // The list the setting names: 2 VidPidList.ini, else the built-in one.
    const bool listed = setting::Get(setting::kCheckVidPidIni) == 2 ? CheckVidPidFile(hardwareIdentity)
                                                                    : CheckVidPidBuiltIn(hardwareIdentity);
    if (listed && OnLockedPort()) return ChooseOpenDevice();
    CloseDevice();
  }
  return RefuseIdentity(scope);
}

// --- device lists ------------------------------------------------------------------------

int CDevFlow::DEV_ReadDeviceInfo() {
  TraceScope scope("CDevFlow::DEV_ReadDeviceInfo", kTraceFlow);
  ReadChipRegisters();
  const int matched = SelectIcTypeForChip();
  MP_GetDeviceInfo();
  updateVersionText.clear();
  imageVersion = {};
  imageFlags = {};
  otpUsedSpace = 0;
  CImageJob working;
  if (FindDeviceImage(working, ICTypeStore(), hardwareIdentity)) {
    // The device's image decides its memory type: its configuration area is
    // located, in an image smaller than a flash image at offset 0, as the
    // VMC2230 variants keep it. The memory type of the device identified
    // before never carries over to this one.
    if (working.image.size() < kFlashImageSize) ICTypeStore().SetIcName(kVmc2230Name);
    MemoryType = kSpiFlashMemory;
    ParseImage(working, ICTypeStore());
    std::string text;
    if (GetImageVersion(working.image, text, imageVersion)) updateVersionText = "Update FW version:" + text;
    imageFlags = ReadConfigFlags(working.image);
  }
  // Known only now that the memory type is: how much of the OTP holds code.
  otp::Usage usage;
  if (MemoryType == kOtpMemory && MP_ReadOtpUsage(usage)) otpUsedSpace = usage.used;
  return matched;
}

int CDevFlow::DEV_RefreshDeviceInfo() {
  TraceScope scope("CDevFlow::DEV_RefreshDeviceInfo", kTraceFlow);
  MP_GetDeviceInfo();
  const int posted = NotifyUI(kMsgDeviceInfo, 0, 0);
  LastStatusCode = 0;
  return posted;
}

int CDevFlow::BeginListPass(FlowHost* host, bool autoRun) {
  if (autoRun && host) host->SetAutoRunEvent(false);
  defaultIndex = defaultListPosition = -1;
  if (host) host->ClearDeviceList();
  return DevLib_GetDeviceCount();
}

void CDevFlow::DEV_GetDefaultDeviceForAllInOne() {
  TraceScope scope("CDevFlow::DEV_GetDefaultDeviceForAllInOne", kTraceFlow);
  FlowHost* host = Host();
  const bool autoRun = setting::Get(setting::kAutoRun) != 0;
  const int count = BeginListPass(host, autoRun);
  int opened = 0;
  int listPosition = -1;
  for (int i = 0; i < count; ++i) {
    if (!MP_OpenDevice(i)) continue;
    ReadIdentity();
    if (CheckVidPidBuiltIn(hardwareIdentity) && host) listPosition = host->AppendDevice(hardwareIdentity);
    if (defaultIndex < 0) {
      bool choose = true;
      if (CheckConfigured()) choose = RunConfiguredCheck();
      DEV_ReadDeviceInfo();
      if (choose) {
        ReadLocation();
        defaultIndex = opened;
        defaultListPosition = listPosition;
      }
    }
    ++opened;
    CloseDevice();
  }
  if (defaultIndex < 0) {
    NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
  } else {
    if (host) {
      host->SelectDevice(defaultListPosition);
      host->SetSelectedDeviceText(host->DeviceText(defaultListPosition));
    }
    NotifyUI(kMsgDeviceInfo, kStsCheckDeviceInfoOk, 0);
  }
  if (autoRun && host) host->SetAutoRunEvent(true);
}

int CDevFlow::DEV_GetDeviceListForAllInOne(int reason) {
  TraceScope scope("CDevFlow::DEV_GetDeviceListForAllInOne", kTraceFlow);
  FlowHost* host = Host();
  const bool autoRun = setting::Get(setting::kAutoRun) != 0;
  const int count = BeginListPass(host, autoRun);
  std::uint32_t rememberedPort = 0, rememberedParent = 0;
  if (host) host->RememberedLocation(rememberedPort, rememberedParent);
  int opened = 0;
  for (int i = 0; i < count; ++i) {
    if (!MP_OpenDevice(i)) continue;
    DevLib_GetPortAndParent(m_hDevice, port, parentInstance);
    ReadIdentity();
    if (CheckVidPidBuiltIn(hardwareIdentity)) {
      const int position = host ? host->AppendDevice(hardwareIdentity) : -1;
      if (port == rememberedPort && parentInstance == rememberedParent) {
        defaultIndex = opened;
        defaultListPosition = position;
        DEV_ReadDeviceInfo();
      }
    }
    ++opened;
    CloseDevice();
    if (autoRun && host) host->SetAutoRunEvent(true);
  }
  if (defaultIndex < 0) {
    if (host) host->SetRememberedLocation(0, 0);
    for (int i = 0; i < count; ++i) {
      if (!MP_OpenDevice(i)) continue;
      ReadIdentity();
      ReadLocation();
      bool choose = true;
      if (CheckConfigured()) choose = RunConfiguredCheck();
      DEV_ReadDeviceInfo();
      if (choose) {
        defaultIndex = 0;
        if (CheckConfigured()) defaultListPosition = 0;
        CloseDevice();
        break;
      }
      CloseDevice();
    }
  }
  if (defaultIndex >= 0 && host && !host->DeviceText(0).empty()) {
    host->SelectDevice(defaultListPosition);
    host->SetSelectedDeviceText(host->DeviceText(defaultListPosition));
    return NotifyUI(kMsgDeviceInfo, kStsCheckDeviceInfoOk, reason);
  }
  if (host && host->HasWindow()) return NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
  LastStatusCode = kStsDetectDeviceFail;
  return 0;
}

void CDevFlow::DEV_GetDeviceListExist() {
  TraceScope scope("CDevFlow::DEV_GetDeviceListExist", kTraceFlow);
  romDeviceFlag = device1010Flag = 0;
  const int count = DevLib_GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    if (!MP_OpenDevice(i)) continue;
    ChipId id;
    if (!ReadChipId(id)) continue;
    if (id.Masked() == 0xF000) romDeviceFlag = 1;
    if (id.Masked() == 0x1010) device1010Flag = 1;
  }
  NotifyUI(kMsgDeviceInfo, kStsCheckDeviceInfoOk, 0);
}

int CDevFlow::Dev_OpenDeviceForMultiCamera() {
  TraceScope scope("CDevFlow::Dev_OpenDeviceForMultiCamera", kTraceFlow);
  if (m_hDevice) return 1;
  if (defaultIndex < 0) {
    NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
    return 0;
  }
  std::uint32_t rememberedPort = 0, rememberedParent = 0;
  if (Host()) Host()->RememberedLocation(rememberedPort, rememberedParent);
  const int count = DevLib_GetDeviceCount();
  for (int i = defaultIndex; i < count; ++i) {
    if (!MP_OpenDevice(i)) continue;
    DevLib_GetPortAndParent(m_hDevice, port, parentInstance);
    if (port == rememberedPort && parentInstance == rememberedParent) return 1;
    CloseDevice();
  }
  return 0;
}

int CDevFlow::DEV_GetDeviceListAfterReset() {
  TraceScope scope("CDevFlow::DEV_GetDeviceListAfterReset", kTraceFlow);
  if (m_hDevice) return 1;
  FlowHost* host = Host();
  if (defaultIndex < 0) {
    NotifyUI(kMsgDeviceInfo, kStsDetectDeviceFail, 0);
    return 0;
  }
  const std::string selected = host ? host->SelectedDeviceText() : std::string();
  const int count = DevLib_GetDeviceCount();
  int opened = 0;
  for (int i = 0; i < count; ++i) {
    if (!MP_OpenDevice(i)) continue;
    ReadIdentity();
    if (hardwareIdentity == selected) {
      defaultIndex = opened;
      ReadLocation();
      DEV_ReadDeviceInfo();
      RunConfiguredCheck();
      CloseDevice();
      if (host && host->HasWindow())
        NotifyUI(kMsgDeviceInfo, kStsCheckDeviceInfoOk, 0);
      else
        LastStatusCode = kStsCheckDeviceInfoOk;
      return 1;
    }
    ++opened;
    CloseDevice();
  }
  LastStatusCode = kStsDetectDeviceFail;
  return 1;
}

void CDevFlow::PrepareJobFlags() {
  JobFlags = kJobResetAfterUpdate | kJobCheckEmpty | kJobWrite;
  if (setting::Get(setting::kResetToCache) == 0) JobFlags &= ~kJobResetAfterUpdate;
  if (setting::Get(setting::kNormalReset) == 0) {
    JobFlags |= kJobUpdateType2;
    resetTarget = 5;
  } else {
    resetTarget = 6;
  }
}
