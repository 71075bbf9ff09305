#include "flow/eeprom_front_end.h"

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/flow_host.h"
#include "flow/image_guard.h"
#include "flow/memory_access.h"
#include "flow/job_flags.h"

ImageTarget CEepromInfo::Target() const {
  return {width_ == 8 ? kMemoryEeprom8 : kMemoryEeprom16, false};
}

// A dump holds the EEPROM once, not the wrapped-around repeats of a small one.
void CEepromInfo::ReadNoMoreThanTheEeprom() const {
  const std::size_t capacity = MemoryCapacity(Target().memoryType, 0);
  if (CodeReadSize > capacity) CodeReadSize = std::uint32_t(capacity);
}

int CEepromInfo::ReadCode() {
  TraceScope scope("CEepromInfo::ReadCode", kTraceFlow);
  if (!CanReachMemory(*this, Target().memoryType) || !EE_Read(width_)) return 0;
  FlowHost* host = CurrentFlowHost();
  if (host && host->HasWindow() && !dumpFileName.empty()) SaveFile(dumpFileName, updateImage, false);
  PostProgress(100);
  PostSuccess(kStsReadEepromOk);
  return 1;
}

int CEepromInfo::EraseCode() {
  TraceScope scope("CEepromInfo::EraseCode", kTraceFlow);
  if (!CanReachMemory(*this, Target().memoryType) || !EE_Erase(width_)) return 0;
  PostProgress(100);
  PostSuccess(kStsEraseEepromOk);
  return 1;
}

int CEepromInfo::UpdateCode() {
  TraceScope scope("CEepromInfo::UpdateCode", kTraceFlow);
  if (!GuardImage(updateImage, Target()) || !CanReachMemory(*this, Target().memoryType) || !MP_OpenRomDevice() ||
      !EE_Update(width_, updateImage))
    return 0;
  PostProgress(100);
  PostSuccess(kStsUpdateEepromOk);
  return 1;
}

int CEepromInfo::EEU_Download() {
  TraceScope scope("CEepromInfo::EEU_Download", kTraceFlow);
  if (!GuardImage(download.image, Target()) || !CanReachMemory(*this, Target().memoryType) || !BeginDownload())
    return 0;
  if (!MP_OpenRomDevice()) return 0;
  const int result = EE_Update(width_, download.image);
  SerialCountdown();
  if (result) {
    DevLib_GetIdentityAndManufacturer(m_hDevice, vid, pid, rev, manufacturer);
    PostProgress(100);
    PostSuccess(kStsDownloadEepromOk);
  }
  RefreshAfterDownload();
  return result;
}

int CEepromInfo::EEU_Silence_WriteBin(const std::string& fileName) {
  TraceScope scope("CEepromInfo::EEU_Silence_WriteBin", kTraceFlow);
  // As for flash: an image held from before never stands in for a file that
  // cannot be loaded.
  if (!CheckImageFile(fileName, false, false)) return 0;
  return Download();
}

int CEepromInfo::EEU_Silence_WriteSNBin(const std::string& fileName, const std::string& serial) {
  serialText = serial;
  return EEU_Silence_WriteBin(fileName);
}

int CEepromInfo::EEU_Silence_VerifyBin(const std::string& fileName) {
  TraceScope scope("CEepromInfo::EEU_Silence_VerifyBin", kTraceFlow);
  if (!LoadDownloadFile(fileName) || !GuardImage(download.image, Target())) return 0;
  CodeReadSize = std::uint32_t(download.image.size());
  if (!ReadCode()) return 0;
  if (updateImage != download.image) {
    LastStatusCode = kStsCompareDataFail;
    return 0;
  }
  return 1;
}

int CEepromInfo::SilenceReadBin(const std::string& fileName) {
  ReadNoMoreThanTheEeprom();
  if (!ReadCode()) return 0;
  return SaveFile(fileName, updateImage, false);
}

int CEepromInfo::SilenceReadText(const std::string& fileName) {
  ReadNoMoreThanTheEeprom();
  if (!ReadCode()) return 0;
  return SaveFile(fileName, updateImage, true);
}

int CEepromInfo::EraseCodeEx(int resetAfter) {
  SetResetAfterJob(resetAfter);
  return EraseCode();
}
