#include "flow/flash_front_end.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "app/file_routines.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/flow_host.h"
#include "flow/image_guard.h"
#include "flow/memory_access.h"
#include "flow/job_flags.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "platform/vendor.h"

namespace {

// Devices that keep data of their own in flash, which a new image must carry
// over. Product data of the vendor's customer devices.
enum class Carry { Record50, Block1400, Block1F000 };
struct DeviceCarry {
  std::uint16_t vid, pid;
  Carry kind;
};
constexpr DeviceCarry kCarryTable[] = {
    {platform::kVendorId, 0x22A0, Carry::Record50},
    {platform::kVendorId, 0x22A1, Carry::Record50},
    {platform::kVendorId, 0x22B0, Carry::Block1400},
    {0x3C5B, 0x22C0, Carry::Block1F000},
};

constexpr std::uint32_t kRecordArea = 0xF000;
constexpr std::uint32_t kRecordAreaSize = 4096;
constexpr std::size_t kMaxCarriedPayload = 16;

// The payload of the first 0xFF 0x50 record of a record list, if any.
bool FindRecord50(const std::uint8_t* area, std::size_t size, std::vector<std::uint8_t>& payload) {
  std::size_t at = 6;
  for (int i = 0; i < area[5] && at + 4 <= size; ++i) {
    const std::size_t length = area[at] == 0xFF ? std::size_t(area[at + 2] | area[at + 3] << 8) : area[at];
    if (length == 0 || at + length > size) return false;
    if (area[at] == 0xFF && area[at + 1] == 0x50) {
      if (length < 4 || length - 4 > kMaxCarriedPayload) return false;
      payload.assign(area + at + 4, area + at + length);
      return true;
    }
    at += length;
  }
  return false;
}

// Appends (or replaces) the 0xFF 0x50 record in the image's record list.
void PutRecord50(std::uint8_t* area, std::size_t size, const std::vector<std::uint8_t>& payload) {
  std::size_t at = 6;
  int i = 0;
  for (; i < area[5]; ++i) {
    if (at + 4 > size) return;
    if (area[at] == 0xFF && area[at + 1] == 0x50) break;
    const std::size_t length = area[at] == 0xFF ? std::size_t(area[at + 2] | area[at + 3] << 8) : area[at];
    if (length == 0 || at + length > size) return;
    at += length;
  }
  const std::size_t total = payload.size() + 4;
  if (at + total > size) return;
  if (i == area[5]) ++area[5];
  area[at] = 0xFF;
  area[at + 1] = 0x50;
  area[at + 2] = std::uint8_t(total);
  area[at + 3] = std::uint8_t(total >> 8);
  std::memcpy(area + at + 4, payload.data(), payload.size());
}

}  // namespace

void CFlashInfo::PrepareImageForDevice() {
  std::vector<std::uint8_t>& image = download.image;
  for (const DeviceCarry& entry : kCarryTable) {
    if (entry.vid != vid || entry.pid != pid) continue;
    switch (entry.kind) {
      case Carry::Record50: {
        std::vector<std::uint8_t> area(kRecordAreaSize);
        if (image.size() < kRecordArea + kRecordAreaSize || !FlashReadChunk(kRecordArea, kRecordAreaSize, area.data()))
          return;
        if (area[0] != 0x55) {
          platform::CurrentPrompter().Ask("SPI code not exist.", "Error", platform::PromptKind::Error,
                                          platform::PromptAnswer::Ok);
          return;
        }
        std::vector<std::uint8_t> payload;
        if (FindRecord50(area.data(), area.size(), payload))
          PutRecord50(image.data() + kRecordArea, kRecordAreaSize, payload);
        return;
      }
      case Carry::Block1400:
        if (image.size() >= 0x1400 + 1024) FlashReadChunk(0xF000, 1024, image.data() + 0x1400);
        return;
      case Carry::Block1F000:
        if (image.size() >= 0x1F000 + 4096) FlashReadChunk(0x1F000, 4096, image.data() + 0x1F000);
        return;
    }
  }
}

int CFlashInfo::RefuseUntaggedImage(const std::vector<std::uint8_t>& image) {
  const std::uint32_t tag = TagOffset();
  if (!WritesTag(std::uint32_t(image.size())) || (image[tag] == 0x55 && image[tag + 1] == 0xAA)) return 1;
  TraceScope scope("CFlashInfo::RefuseUntaggedImage", kTraceFlow);
  TraceFailure(scope, "Image carries no tag\n");
  PostFailure(kStsFwNotForDevice);
  return 0;
}

int CFlashInfo::FFU_Download() {
  TraceScope scope("CFlashInfo::FFU_Download", kTraceFlow);
  if (!GuardImage(download.image, {kMemorySpi, false}) || !BeginDownload()) return 0;
  PrepareImageForDevice();
  if (!RefuseUntaggedImage(download.image)) return 0;
  if (!FlashFacts().updatesFromFirmware && !MP_OpenRomDevice()) return 0;
  const int result = FF_Update(download.image);
  SerialCountdown();
  if (result) {
    DevLib_GetIdentityAndManufacturer(m_hDevice, vid, pid, rev, manufacturer);
    PostProgress(100);
    PostSuccess(kStsFirmwareUpdateOk);
  }
  RefreshAfterDownload();
  return result;
}

int CFlashInfo::FFU_Silence_WriteBin(const std::string& fileName) {
  TraceScope scope("CFlashInfo::FFU_Silence_WriteBin", kTraceFlow);
  // A file that cannot be loaded stops the write: the image held from before
  // (the device's built-in one) is never written in its place.
  if (!CheckImageFile(fileName, false, false)) return 0;
  return Download();
}

int CFlashInfo::FFU_Silence_WriteSNBin(const std::string& fileName, const std::string& serial) {
  serialText = serial;
  return FFU_Silence_WriteBin(fileName);
}

// The codec's flash must hold the whole file, checked as a write checks it,
// as a write of it would leave the flash.
int CFlashInfo::FFU_Silence_VerifyBin(const std::string& fileName) {
  TraceScope scope("CFlashInfo::FFU_Silence_VerifyBin", kTraceFlow);
  if (!CheckImageFile(fileName, false, false) || !GuardImage(download.image, {kMemorySpi, false})) return 0;
  CodeReadSize = std::uint32_t(download.image.size());
  if (!MP_OpenRomDevice() || !FF_Read()) return 0;
  FlowHost* host = CurrentFlowHost();
  if (host && host->HasWindow() && !dumpFileName.empty()) SaveFile(dumpFileName, readBack, false);
  PostProgress(100);
  PostSuccess(kStsReadFlashOk);
  std::vector<std::uint8_t> expected = download.image;
  AsTheUpdateLeavesIt(expected);
  if (readBack.size() != expected.size() || readBack != expected) {
    LastStatusCode = kStsCompareDataFail;
    return 0;
  }
  return 1;
}

int CSPIFlashInfo_USB::ReadCode() {
  TraceScope scope("CSPIFlashInfo_USB::ReadCode", kTraceFlow);
  if (!MP_OpenRomDevice() || !FF_Read()) return 0;
  FlowHost* host = CurrentFlowHost();
  if (host && host->HasWindow() && !dumpFileName.empty()) SaveFile(dumpFileName, readBack, false);
  PostProgress(100);
  PostSuccess(kStsReadFlashOk);
  return 1;
}

int CSPIFlashInfo_USB::EraseCode() {
  TraceScope scope("CSPIFlashInfo_USB::EraseCode", kTraceFlow);
  if (!MP_OpenRomDevice() || !FF_Erase()) return 0;
  PostProgress(100);
  PostSuccess(kStsEraseFlashOk);
  return 1;
}

int CSPIFlashInfo_USB::UpdateCode() {
  TraceScope scope("CSPIFlashInfo_USB::UpdateCode", kTraceFlow);
  if (!GuardImage(updateImage, {kMemorySpi, false}) || !RefuseUntaggedImage(updateImage) || !MP_OpenRomDevice() ||
      !FF_Update(updateImage))
    return 0;
  PostProgress(100);
  PostSuccess(kStsUpdateFlashOk);
  return 1;
}

int CSPIFlashInfo_USB::SilenceReadBin(const std::string& fileName) {
  if (!ReadCode()) return 0;
  return SaveFile(fileName, readBack, false);
}

// Saves what was read (the read-back buffer) as hex text.
int CSPIFlashInfo_USB::SilenceReadText(const std::string& fileName) {
  if (!ReadCode()) return 0;
  return SaveFile(fileName, readBack, true);
}

int CSPIFlashInfo_USB::EraseCodeEx(int resetAfter) {
  SetResetAfterJob(resetAfter);
  return EraseCode();
}

int CNORFlashInfo_USB::Download() {
  return GuardImage(download.image, {kMemoryNor, false}) ? NOR_Download() : 0;
}
