#include "flow/config_info.h"

#include <algorithm>
#include <filesystem>

#include "app/file_routines.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/flow_host.h"
#include "flow/job_flags.h"
#include "image/ic_type_ini.h"
#include "image/image_load.h"
#include "image/image_parse.h"
#include "image/serial_number.h"
#include "platform/clock.h"

int CEepromConfigInfo::LocateConfig(const std::vector<std::uint8_t>* image, int) {
  if (image == &download.image) {
    if (!ParseImage(download, ICTypeStore())) return 0;
    configOnly = download.ConfigAtStart != 0;
    chipInfo = download.ImageFamily;
    return 1;
  }
  if (image == &updateImage) {
    CImageJob update;
    update.image = updateImage;
    return ParseImage(update, ICTypeStore());
  }
  return 0;
}

int CEepromConfigInfo::LoadDownloadFile(const std::string& fileName) {
  TraceScope scope("CEepromConfigInfo::LoadDownloadFile", kTraceFlow);
  download.fileName = fileName;
  if (LoadFileData(download)) return 1;
  TraceFailure(scope, "Load File Data Fail!\n");
  PostFailure(kStsLoadFileDataFail);
  return 0;
}

int CEepromConfigInfo::CheckImageFile(const std::string& fileName, bool loadOptional, bool exactFamily) {
  TraceScope scope("CEepromConfigInfo::CheckImageFile", kTraceFlow);
  if (!LoadDownloadFile(fileName) && !(loadOptional && download.image.size() >= 0x10000)) return 0;
  if (!LocateConfig(&download.image, 0)) {
    TraceFailure(scope, "Parse FW File Fail!\n");
    PostFailure(kStsParseFwFileFail);
    return 0;
  }
  const std::uint8_t chip = ICTypeStore().ChipInfo();
  const std::uint8_t image = download.ImageFamily;
  const bool sameFamily = image == chip || (!exactFamily && ((image == 8 && chip == 9) || (image == 9 && chip == 8)));
  if (!sameFamily) {
    TraceFailure(scope, "Firmware is not for this device\n");
    PostFailure(kStsFwNotForDevice);
    return 0;
  }
  return 1;
}

namespace {

constexpr int kOtpMemory = 6;

// Writes the flow's serial number into its download image. On success the
// rebuilt image replaces the download image and its copy, located anew; on
// failure the job is left as it was and `error` says why.
bool SaveSerialNumber(CEepromConfigInfo& flow, const TraceScope& scope, std::string& error) {
  CImageJob& download = flow.download;
  const CICTypeIni& ic = ICTypeStore();
  const bool otp = MemoryType == kOtpMemory;
  if (!download.configOffset) {
    error = "the configuration area of the download image has not been located";
    return false;
  }
  // An OTP image is its configuration area with the code inside; it is cut to
  // the room of the area before the rebuild and to the area after it.
  if (otp && !download.ConfigAtStart) {
    error = "an OTP image must start with its configuration area";
    return false;
  }
  const std::size_t configSize = std::size_t(std::max(ic.GetConfigSize(), 0));
  const std::vector<std::uint8_t> image = otp ? RecutImage(download.image, configSize) : download.image;

  ConfigPlacement placement;
  placement.areaStart = download.ConfigAtStart ? 0 : *download.configOffset;
  placement.configSize = configSize;
  placement.tagged = !download.ConfigAtStart;
  placement.tagAddress = std::size_t(std::max(ic.GetTagAddress(), 0));
  SerialNumberRequest request;
  request.serial = flow.serialText;
  request.serialRecord = setting::Get(setting::kSnAddress) != 0;
  request.functionPrefix = setting::Get(setting::kSnFunction) != 0;

  SerialNumberResult rebuilt = WriteSerialNumber(image, placement, request);
  if (!rebuilt.ok) {
    error = rebuilt.error;
    return false;
  }
  TracePrint(scope, request.serialRecord ? "|----- SN length: %d\n |-----string length: %d\n"
                                         : "|----- DescType length: %d\n |-----string length: %d\n",
             int(rebuilt.lengthByte), int(rebuilt.characters));
  TracePrint(scope, "|----- DownLoad length: %d\n", int(rebuilt.image.size()));
  if (otp) rebuilt.image = RecutImage(rebuilt.image, rebuilt.areaBytes);

  const CImageJob before = download;
  download.image = std::move(rebuilt.image);
  download.imageCopy = download.image;
  if (!flow.LocateConfig(&download.image, 0)) {
    download = before;
    error = "the rebuilt image does not parse";
    return false;
  }
  return true;
}

}  // namespace

int CEepromConfigInfo::PreActionForAllInOne(int& status) {
  TraceScope scope("CEepromConfigInfo::PreActionForAllInOne", kTraceFlow);
  if (setting::Get(setting::kSaveSn) == 0) return 1;
  std::string error;
  if (SaveSerialNumber(*this, scope, error)) return 1;
  TracePrint(scope, "%s\n", error.c_str());
  TraceFailure(scope, "Save SN Fail\n");
  status = kStsSaveSnFail;
  return 0;
}

int CEepromConfigInfo::SaveFile(const std::string& fileName, const std::vector<std::uint8_t>& data, bool asText) {
  const std::string path = FullPath(fileName);
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const bool saved = (folder.empty() || CreateFolderPath(folder)) &&
                     (asText ? WriteHexText(path, data) : WriteWholeFile(path, data));
  if (!saved) LastStatusCode = kStsSaveFileFail;
  return saved ? 1 : 0;
}

void CEepromConfigInfo::SerialCountdown() {
  FlowHost* host = CurrentFlowHost();
  if (!host || !host->HasWindow() || setting::Get(setting::kSaveSn) == 0) return;
  for (const char* text : {"2", "1"}) {
    host->SetSerialCounterText(text);
    PostPhase(0);
    FlowClock().SleepMs(1000);  // the operator's countdown, one second a step
  }
}

void CEepromConfigInfo::RefreshAfterDownload() {
  DevLib_GetIdentity(m_hDevice, vid, pid, rev);
  FlowHost* host = CurrentFlowHost();
  if (host && host->HasWindow()) {
    MP_GetDeviceInfo();
    MP_RefreshIdentity();
  }
}

void CEepromConfigInfo::SetResetAfterJob(int resetAfter) {
  if (resetAfter)
    JobFlags |= kJobResetAfterUpdate;
  else
    JobFlags &= ~kJobResetAfterUpdate;
}

int CEepromConfigInfo::BeginDownload() {
  DevLib_GetIdentity(m_hDevice, vid, pid, rev);
  int status = 0;
  if (PreActionForAllInOne(status)) return 1;
  PostFailure(status);
  return 0;
}
