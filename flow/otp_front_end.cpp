#include "flow/otp_front_end.h"

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/image_guard.h"
#include "flow/job_flags.h"
#include "flow/otp_image.h"
#include "flow/otp_layout.h"
#include "image/image_version.h"

namespace {

// An OTP image must be of the chip's own family.
constexpr ImageTarget kOtpTarget{kMemoryOtp, true};

}  // namespace

int COTPInfo::WriteParts(const std::vector<std::uint8_t>& image, bool withCode, int successStatus) {
  TraceScope scope("COTPInfo::OTP_ForNormalDownload", kTraceFlow);
  int written = 0;
  for (const otp::PartKind kind : {otp::PartKind::kCode, otp::PartKind::kConfig}) {
    if (kind == otp::PartKind::kCode && !withCode) continue;
    std::vector<std::uint8_t> part;
    const otp::Split split = otp::SplitImage(image, kind, part);
    if (split == otp::Split::kAbsent) continue;
    if (split == otp::Split::kFailed) {
      TraceFailure(scope, "Get VD Code Fail\n");
      PostFailure(kStsGetVdCodeFail);
      return 0;
    }
    otpPart = std::move(part);
    downloadKind = kind == otp::PartKind::kCode ? DownloadKind::kCode : DownloadKind::kConfig;
    PostPhase(kStsPhaseDownload);
    if (!OTP_UpdateEx_Cmd2(otpPart)) return 0;
    ++written;
  }
  if (!written) {  // nothing in the image the OTP could take
    TraceFailure(scope, "Get VD Code Fail\n");
    PostFailure(kStsGetVdCodeFail);
    return 0;
  }
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
  return WriteParts(image, true, successStatus);
}

int COTPInfo::OTP_ForConfigDownload(const std::vector<std::uint8_t>& image, int successStatus) {
  return WriteParts(image, false, successStatus);
}

int COTPInfo::OTP_Download() {
  TraceScope scope("COTPInfo::OTP_Download", kTraceFlow);
  if (!GuardImage(download.image, kOtpTarget) || !CanReachMemory(*this, kMemoryOtp) || !BeginDownload()) return 0;
  if (!MP_OpenRomDevice()) return 0;
  // The parts are cut from a copy: the job keeps its image whole.
  const std::vector<std::uint8_t> image = download.image;
  const int result = OTP_ForNormalDownload(image, kStsDownloadOtpOk);
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
  if (!GuardImage(updateImage, kOtpTarget) || !CanReachMemory(*this, kMemoryOtp) || !MP_OpenRomDevice()) return 0;
  const std::vector<std::uint8_t> image = updateImage;
  return OTP_ForNormalDownload(image, kStsUpdateOtpOk);
}

int COTPInfo_USB::SilenceReadBin(const std::string& fileName) {
  if (!ReadCode()) return 0;
  return SaveFile(fileName, readBack, false);
}
