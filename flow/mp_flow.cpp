#include "flow/mp_flow.h"

#include <cstdio>

#include "app/notify.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/job_flags.h"
#include "flow/job_phase_marks.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kOpenRetrySleepMs = 128;  // a failed open pauses before the caller tries again
constexpr int kIdentifyAttempts = 3;
constexpr std::uint16_t kOtpRomResetAddress = 0xFFC6;

std::string Format(const char* format, unsigned a, unsigned b) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

}  // namespace

void CMpFlow::PostPhase(int status) {
  if (const char* name = JobPhaseNameOf(status)) BeginJobPhase(name);
  NotifyUI(kMsgPhase, status, 0);
}
void CMpFlow::PostProgress(int percent) { NotifyUI(kMsgProgress, percent, 0); }
void CMpFlow::PostFailure(int status) { NotifyUI(kMsgFailure, status, 0); }
void CMpFlow::PostSuccess(int status) { NotifyUI(kMsgSuccess, status, 0); }

int CMpFlow::MP_OpenDevice(int index) {
  TraceScope scope("CMpFlow::MP_OpenDevice", kTraceFlow);
  if (StopRequested()) return 0;
  if (m_hDevice) DevLib_CloseDevice(m_hDevice);
  m_hDevice = DevLib_OpenDevice(index);
  if (!m_hDevice) {
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "MP_OpenDevice Fail %d\n", index);
    FlowClock().SleepMs(kOpenRetrySleepMs);
    return 0;
  }
  return 1;
}

// Identification reads are tried again after a stalled answer.
bool CMpFlow::ReadChipId(ChipId& id) {
  std::uint8_t bytes[2] = {};
  for (int attempt = 0; attempt < kIdentifyAttempts; ++attempt) {
    if (!m_hDevice || (attempt > 0 && StopRequested())) return false;
    if (DevLib_ReadMem(m_hDevice, kChipIdAddress, 2, bytes, m_accessFlags)) {
      id = {bytes[0], bytes[1]};
      return true;
    }
  }
  return false;
}

int CMpFlow::ReadDeviceStatus(std::uint8_t* status104) {
  for (int attempt = 0; attempt < kIdentifyAttempts; ++attempt) {
    if (!m_hDevice || (attempt > 0 && StopRequested())) return 0;
    if (DevLib_GetDevStatus(m_hDevice, status104, m_accessFlags)) return 1;
  }
  return 0;
}

bool CMpFlow::ReadModeByte(const ChipId& id, std::uint8_t& mode) { return ReadByte(ModeByteAddress(id), mode) == 1; }

int CMpFlow::MP_DoReset(int kind, std::uint16_t argument) {
  TraceScope scope("CMpFlow::MP_DoReset", kTraceFlow);
  if (StopRequested() || !m_hDevice) return 0;
  const std::uint32_t wait = std::uint32_t(setting::Get(setting::kWaitTime));
  if (kind != kResetUpdate && bootRomFamily && MemoryType == 6 && (modeText == "ROM" || modeText == "ROM&&OTP"))
    WriteByte(kOtpRomResetAddress, 0x2A);
  std::uint32_t handle = m_hDevice;
  int result = 0;
  switch (kind) {
    case kResetUpdate:
      result = DevLib_ResetUpdate(handle, m_accessFlags, wait, argument);
      break;
    case kResetRom:
      result = DevLib_ResetRom(handle, m_accessFlags, wait);
      break;
    case kResetRomForced:
      result = DevLib_ResetRomForced(handle, m_accessFlags, wait);
      break;
    default:
      return 0;
  }
  if (result == 1) m_hDevice = handle;
  return result;
}

int CMpFlow::BuildIdentity(bool forDisplay) {
  std::uint8_t status[kDeviceStatusSize] = {};
  ChipId id;
  std::uint8_t mode = 0;
  if (!ReadDeviceStatus(status) || !ReadChipId(id) || !ReadModeByte(id, mode)) return 0;
  std::uint8_t extended[32] = {};
  const bool haveExtended =
      IsExtendedStatusMode(mode) && DevLib_GetDevStatusRange(m_hDevice, 0x80 / 8, 32, extended, m_accessFlags);
  VersionFields version{};
  identityText = IdentityText(status, mode, haveExtended ? extended : nullptr, vid, pid, !forDisplay, &version);
  if (forDisplay) {
    deviceVersion = version;
    char text[32];
    std::snprintf(text, sizeof text, "0x%02X-%02X%02X-%02X%02X", status[0x43], status[0x46], status[0x47], status[5],
                  status[4]);
    secondIdentity = text;
  }
  return 1;
}

int CMpFlow::MP_RefreshIdentity() {
  TraceScope scope("CMpFlow::MP_RefreshIdentity", kTraceFlow);
  BuildIdentity(false);
  return 1;
}

int CMpFlow::RefreshInfo(bool full) {
  if (!m_hDevice) {
    connectionText = "No USB Audio";
    identityText = "N/A";
    manufacturer = "N/A";
    return 1;
  }
  connectionText = "USB Audio Connected";
  DevLib_GetIdentityAndManufacturer(m_hDevice, vid, pid, rev, manufacturer);
  BuildIdentity(full);
  if (full) {
    DevLib_GetSerialText(m_hDevice, serialText);
    vidPidText = Format("VID_%04X&PID_%04X", vid, pid);
    char text[48];
    std::snprintf(text, sizeof text, "VID_%04X&PID_%04X&REV_%04X", vid, pid, rev);
    hardwareIdentity = text;
    DevLib_GetDeviceName(devicePathText);
    joinedIdentity = devicePathText + "&" + hardwareIdentity;
    std::uint32_t port = 0;
    DevLib_GetPortAndParent(m_hDevice, port, parentInstance);
  }
  runMode = newChip = bootRomFamily = 0;
  ChipId id;
  if (ReadChipId(id)) {
    if (id.Masked() == 0x0010) newChip = 1;
    if (IsBootRomFamily(id)) {
      bootRomFamily = 1;
      std::uint8_t mode = 0;
      if (ReadModeByte(id, mode)) modeText = ModeText(mode);
    }
  }
  std::uint8_t cache = 0;
  if (MP_IsCacheMode(cache) && !cache) runMode = 1;
  return 1;
}

int CMpFlow::MP_RefreshDeviceInfo() {
  TraceScope scope("CMpFlow::MP_RefreshDeviceInfo", kTraceFlow);
  return RefreshInfo(false);
}

int CMpFlow::MP_GetDeviceInfo() {
  TraceScope scope("CMpFlow::MP_GetDeviceInfo", kTraceFlow);
  return RefreshInfo(true);
}

int CMpFlow::MP_IsCacheMode(std::uint8_t& cache) {
  std::uint8_t status[kDeviceStatusSize] = {};
  ChipId id;
  std::uint8_t mode = 0;
  if (!ReadDeviceStatus(status) || !ReadChipId(id)) return 0;
  if (id.Masked() != 0 && id.Masked() != 0x7010 && !ReadByte(kModeByteAddress, mode)) return 0;
  cache = RunsFromCache(status, id, mode) ? 1 : 0;
  return 1;
}

int CMpFlow::MP_ResetToRomCode() {
  TraceScope scope("CMpFlow::MP_ResetToRomCode", kTraceFlow);
  std::uint8_t cache = 0;
  if (!MP_IsCacheMode(cache)) return 0;
  ChipId id;
  if (!ReadChipId(id)) return 0;
  if (IsBootRomFamily(id)) {
    if (resetTarget == 0) return 1;
    runMode = 0;
    if (id.Raw() == 0xB013 || id.Raw() == 0xB014) {
      if (modeText == "ROM&&SPI") {
        m_accessFlags |= kAccessViaExtUnit;
        MP_DisableWriteProtect();
        const std::uint8_t zero = 0;
        FlashWriteChunk(0, 1, &zero);
        m_accessFlags &= ~kAccessViaExtUnit;
        return MP_DoReset(kResetRomForced, 0);
      }
      return MP_DoReset(kResetRom, 0);
    }
    return MP_DoReset(kResetUpdate, resetTarget);
  }
  if (!cache) {
    runMode = 1;
    if (ReadChipId(id) && id.Masked() != 0x3000) return 1;  // already in its update mode
  }
  runMode = 0;
  const std::uint16_t updateType =
      (JobFlags & kJobUpdateType2) || resetTarget == 5 ? 2 : std::uint16_t(MemoryType);
  return MP_DoReset(kResetUpdate, updateType);
}
