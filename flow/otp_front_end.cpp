#include "flow/otp_front_end.h"

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/job_flags.h"
#include "flow/image_guard.h"
#include "flow/otp_image.h"
#include "flow/otp_layout.h"
#include "image/image_version.h"

namespace {

// An OTP image must be of the chip's own family.
constexpr ImageTarget kOtpTarget{kMemoryOtp, true};

}  // namespace

int COTPInfo::CutParts(const std::vector<std::uint8_t>& image, bool withCode, std::vector<std::uint8_t>& code,
                       std::vector<std::uint8_t>& config) {
  TraceScope scope("COTPInfo::CutParts", kTraceFlow);
  code.clear();
  config.clear();
  const otp::Split codeSplit = withCode ? otp::SplitImage(image, otp::PartKind::kCode, code) : otp::Split::kAbsent;
  const otp::Split configSplit = otp::SplitImage(image, otp::PartKind::kConfig, config);
  // Nothing in the image the OTP could take, or an image that cannot be cut.
  if (codeSplit == otp::Split::kFailed || configSplit == otp::Split::kFailed || (code.empty() && config.empty())) {
    TraceFailure(scope, "Get VD Code Fail\n");
    PostFailure(kStsGetVdCodeFail);
    return 0;
  }
  return 1;
}

int COTPInfo::WriteParts(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& config,
                         int successStatus) {
  TraceScope scope("COTPInfo::OTP_ForNormalDownload", kTraceFlow);
  PostPhase(kStsPhaseDownload);
  int written = 0;
  if (!code.empty() && !config.empty()) {
    otpPart = config;
    written = OTP_UpdatePair(code, config);
  } else {
    otpPart = code.empty() ? config : code;
    downloadKind = code.empty() ? DownloadKind::kConfig : DownloadKind::kCode;
    written = OTP_UpdateEx_Cmd2(otpPart);
  }
  if (!written) return 0;
  if (JobFlags & kJobResetAfterUpdate) {
    PostPhase(kStsPhaseResetToNewCode);
    if (!MP_DoReset(kResetRom, 0)) {
      TraceFailure(scope, "Device ResetToRom Fail\n");
      PostFailure(kStsResetDeviceFail);
      return 0;
    }
  }
  PostProgress(100);
  PostSuccess(successStatus);
  return 1;
}

int COTPInfo::OTP_ForNormalDownload(const std::vector<std::uint8_t>& image, int successStatus) {
  std::vector<std::uint8_t> code, config;
  return CutParts(image, true, code, config) && WriteParts(code, config, successStatus);
}

int COTPInfo::OTP_ForConfigDownload(const std::vector<std::uint8_t>& image, int successStatus) {
  std::vector<std::uint8_t> code, config;
  return CutParts(image, false, code, config) && WriteParts(code, config, successStatus);
}

int COTPInfo::OTP_Download() {
  TraceScope scope("COTPInfo::OTP_Download", kTraceFlow);
  if (!GuardImage(download.image, kOtpTarget) || !CanReachMemory(*this, kMemoryOtp) || !BeginDownload()) return 0;
  // The parts are cut from the image before the codec is touched; the job
  // keeps its image whole.
  std::vector<std::uint8_t> code, config;
  if (!CutParts(download.image, true, code, config)) return 0;
  if (!MP_OpenRomDevice()) return 0;
  const int result = WriteParts(code, config, kStsDownloadOtpOk);
  if (result) DevLib_GetIdentityAndManufacturer(m_hDevice, vid, pid, rev, manufacturer);
  RefreshAfterDownload();
  return result;
}

int COTPInfo::OTP_Read() {
  TraceScope scope("COTPInfo::OTP_Read", kTraceFlow);
  if (!CanReachMemory(*this, kMemoryOtp) || !MP_OpenRomDevice()) return 0;
  readBack.assign(otp::kSize, 0);
  if (!OTP_ReadEx_Cmd2(0, otp::kSize, readBack.data())) {
    PostFailure(kStsReadOtpFail);
    return 0;
  }
  if (otp::ComputeUsage(&readBack[otp::kVdTable], &readBack[otp::kEccTable]).newest < 0) {
    TraceFailure(scope, "OTP Code Not Exist\n");
    PostFailure(kStsOtpCodeNotExist);
    return 0;
  }
  if ((JobFlags & kJobResetAfterUpdate) && !MP_DoReset(kResetRom, 0)) {
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  PostProgress(100);
  PostSuccess(kStsReadOtpOk);
  return 1;
}

int COTPInfo::Silence_OTPWriteBin(const std::string& fileName) {
  TraceScope scope("COTPInfo::Silence_OTPWriteBin", kTraceFlow);
  if (!CheckImageFile(fileName, false, true)) return 0;
  std::string text;
  GetImageVersion(download.image, text, download.ImageVersion);
  switch (CompareForUpdate(download.ImageVersion, deviceVersion)) {
    case UpdateVerdict::kProceed:
      return OTP_Download();
    case UpdateVerdict::kSameVersion:
      TraceLine(scope, "Same FW version\n");
      PostFailure(kStsOtpSameVersion);
      return 0;
    default:
      TraceLine(scope, "Older FW version\n");
      PostFailure(kStsOtpOlderVersion);
      return 0;
  }
}

int COTPInfo::Silence_OTPWriteSNBin(const std::string& fileName, const std::string& serial) {
  serialText = serial;
  return Silence_OTPWriteBin(fileName);
}

int COTPInfo_USB::UpdateCode() {
  TraceScope scope("COTPInfo_USB::UpdateCode", kTraceFlow);
  std::vector<std::uint8_t> code, config;
  if (!GuardImage(updateImage, kOtpTarget) || !CanReachMemory(*this, kMemoryOtp) ||
      !CutParts(updateImage, true, code, config) || !MP_OpenRomDevice())
    return 0;
  return WriteParts(code, config, kStsUpdateOtpOk);
}

int COTPInfo_USB::SilenceReadBin(const std::string& fileName) {
  if (!ReadCode()) return 0;
  return SaveFile(fileName, readBack, false);
}
