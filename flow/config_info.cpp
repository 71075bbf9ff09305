#include "flow/config_info.h"

#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "image/ic_type_ini.h"
#include "image/image_load.h"
#include "image/image_parse.h"

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

int CEepromConfigInfo::PreActionForAllInOne(int& status) {
  TraceScope scope("CEepromConfigInfo::PreActionForAllInOne", kTraceFlow);
  if (setting::Get(setting::kSaveSn) == 0) return 1;
  // Writing the serial number into the configuration records is not in this
  // build yet: a station that asks for it gets a failure, never an image
  // programmed without its serial number.
  TraceFailure(scope, "Save SN Fail\n");
  status = kStsSaveSnFail;
  return 0;
}
