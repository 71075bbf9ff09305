#include "flow/flash_flow.h"

#include <algorithm>
#include <cstring>

#include "app/text_case.h"
#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/job_flags.h"
#include "flow/otp_image.h"
#include "flow/otp_layout.h"
#include "image/ic_type_ini.h"
#include "platform/clock.h"
#include "platform/prompter.h"
#include "platform/resources.h"

namespace {

constexpr int kRebootListId = 3037;
constexpr int kSignatureQueries = 8;
constexpr std::uint32_t kSignatureBusySleepMs = 5000;

int Fail(const TraceScope& scope, const char* trace, int code, int& status) {
  TraceFailure(scope, trace);
  status = code;
  return 0;
}

// True when "VID_vvvv&PID_pppp" of the device is in the built-in reboot list.
bool InRebootList(std::uint16_t vid, std::uint16_t pid) {
  auto bytes = platform::FindResource("ICINI", kRebootListId);
  const std::string list(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  char identity[24];
  std::snprintf(identity, sizeof identity, "VID_%04X&PID_%04X", vid, pid);
  std::size_t pos = 0;
  while (pos < list.size()) {
    std::size_t end = list.find('\n', pos);
    if (end == std::string::npos) end = list.size();
    std::string line = list.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line.rfind("//", 0) == 0) continue;
    if (EqualNoCase(line, identity)) return true;
  }
  return false;
}

}  // namespace

int CMpFlow_Flash::RomReset(bool atLocation) {
  if (atLocation) m_accessFlags |= kAccessFindAtLocation;
  const int result = MP_DoReset(kResetRom, 0);
  m_accessFlags &= ~kAccessFindAtLocation;
  return result;
}

void CMpFlow_Flash::WriteUnprotected(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  MP_DisableWriteProtect();
  if (m_hDevice) DevLib_SpiWrite(m_hDevice, address, std::uint32_t(bytes.size()), bytes.data(), m_accessFlags);
  MP_EnableWriteProtect();
}

int CMpFlow_Flash::SignatureIsGood() {
  DevLib_VendorModeSet(m_hDevice, 1);
  int good = 0;
  for (int query = 0; query < kSignatureQueries; ++query) {
    std::uint8_t answer = 0;
    std::uint32_t count = 1;
    if (!DevLib_VendorQuery(m_hDevice, 6, &answer, count) || count < 1) continue;
    if (answer == 2) {
      good = 1;
      break;
    }
    if (answer == 4) break;
    if (answer == 1) FlowClock().SleepMs(kSignatureBusySleepMs);
  }
  DevLib_VendorModeSet(m_hDevice, 0);
  return good;
}

// Step 13 of the update: whether and how the device restarts on its new code.
int CMpFlow_Flash::RebootDecision(int& status) {
  TraceScope scope("CMpFlow_Flash::RebootDecision", kTraceFlow);
  const std::uint8_t family = IcFamily();
  const bool specialFamily = family == 23 || family == 26 || family == 30;
  PostPhase(kStsPhaseResetToNewCode);
  if (setting::Get(setting::kDisableRebootCheck) == 0 && specialFamily) {
    if (SilentMode) return 1;  // a factory script restarts the codec itself
    if (setting::Get(setting::kLoopTest) == 0) {
      if (!InRebootList(vid, pid)) {
        const auto answer = platform::CurrentPrompter().Ask("Reboot the device to launch new FW?", "Warning",
                                                            platform::PromptKind::YesNo, platform::PromptAnswer::No);
        if (answer != platform::PromptAnswer::Yes) return 1;
      }
    } else if (setting::Get(setting::kLoopTestReboot) == 0) {
      return 1;
    }
    // The restart pulse on the chip's reset line.
    const std::uint16_t pulse[2] = {std::uint16_t(family == 26 ? 0xF970 : 0x0000), 0xF971};
    const int registers = family == 26 ? 2 : family == 23 ? 1 : 0;
    std::uint8_t values[2] = {};
    for (int i = 0; i < registers; ++i) ReadByte(pulse[i], values[i]);
    for (int i = 0; i < registers; ++i) WriteByte(pulse[i], values[i] | 0x01);
    if (registers) FlowClock().SleepMs(20);
    for (int i = 0; i < registers; ++i) WriteByte(pulse[i], std::uint8_t(values[i] & ~0x01));
  }
  if (!MP_DoReset(kResetRom, 0)) return Fail(scope, "Devcie ResetToCache Fail\n", kStsResetDeviceFail, status);
  std::uint8_t cache = 0;
  if (!MP_IsCacheMode(cache) || !cache) {
    TraceLine(scope, "Device is not in cache mode\n");
    PostFailure(kStsNotInCacheMode);
    status = kStsNotInCacheMode;
    return 0;
  }
  return 1;
}

int CMpFlow_Flash::FF_UpdateEx_Standard(std::vector<std::uint8_t>& image, int& status) {
  TraceScope scope("CMpFlow_Flash::FF_UpdateEx_Standard", kTraceFlow);
  const std::uint32_t n = std::uint32_t(image.size());
  const std::uint32_t tagAddress = std::uint32_t(std::max(0, ICTypeStore().GetTagAddress()));
  const bool tagInImage = tagAddress + 2 <= n;
  if (bootRomFamily && tagInImage) image[tagAddress] = image[tagAddress + 1] = 0xFF;
  if (!MP_DisableWriteProtect()) return Fail(scope, "Disable Write Protect Fail\n", kStsDisableWpFail, status);
  if (!MP_EraseSPIFlash(0, n)) return Fail(scope, "Erase Flash Fail\n", kStsEraseFlashFail, status);
  readBack.assign(n, 0);
  if (!MP_CheckSPIFlashEmpty(readBack.data(), n))
    return Fail(scope, "Check Flash Empty Fail\n", kStsCheckEmptyFail, status);
  // The tag is written last, so that an interrupted update never carries one.
  std::uint8_t tag[2] = {0xFF, 0xFF};
  if (tagInImage) {
    std::memcpy(tag, &image[tagAddress], 2);
    image[tagAddress] = image[tagAddress + 1] = 0xFF;
  }
  if (!MP_WriteSPIFlash(image.data(), n)) return Fail(scope, "Write Flash Code Fail\n", kStsUpdateFlashFail, status);
  readBack = image;
  if (!MP_VerifySPIFlash(readBack.data(), n)) return Fail(scope, "Read Flash Code Fail\n", kStsReadFlashFail, status);
  if (readBack != image) return Fail(scope, "Check Flash Code Fail\n", kStsCompareDataFail, status);
  if (!configOnly && !bootRomFamily && tagInImage) {
    std::memcpy(&image[tagAddress], tag, 2);
    if (!FlashWriteChunk(tagAddress, 2, tag)) return Fail(scope, "Write Tag Fail\n", kStsWriteTagFail, status);
  }
  if (!MP_EnableWriteProtect()) return Fail(scope, "Enable Write Protect Fail\n", kStsEnableWpFail, status);

  const std::uint8_t family = IcFamily();
  if (family == 26 && download.SignatureCheckFlag) {
    std::uint8_t mode = 0;
    if (ReadByte(kModeByteAddress, mode) && mode == 8 && !SignatureIsGood()) {
      WriteUnprotected(tagAddress, {0, 0, 0, 0});
      return Fail(scope, "ECDSA Check Fail\n", kStsEcdsaCheckFail, status);
    }
  }
  if ((family == 23 || family == 26) && download.BankSwitchFlag) WriteUnprotected(0x1010, {0, 0, 0, 0});
  if (!(JobFlags & kJobResetAfterUpdate)) return 1;
  return RebootDecision(status);
}

int CMpFlow_Flash::FF_UpdateEx_ForSimulateOTP(std::vector<std::uint8_t>& image, int& status) {
  TraceScope scope("CMpFlow_Flash::FF_UpdateEx_ForSimulateOTP", kTraceFlow);
  const std::uint32_t n = std::uint32_t(image.size());
  if (!MP_DisableWriteProtect()) return Fail(scope, "Disable Write Protect Fail\n", kStsDisableWpFail, status);
  if (!MP_EraseSPIFlash(0, 0)) return Fail(scope, "Erase Flash Fail\n", kStsEraseFlashFail, status);
  if (!MP_WriteSPIFlash(image.data(), n)) return Fail(scope, "Write Flash Code Fail\n", kStsUpdateFlashFail, status);
  readBack.assign(n, 0);
  if (!MP_ReadSPIFlash(readBack.data(), n)) return Fail(scope, "Read Flash Code Fail\n", kStsReadFlashFail, status);
  if (readBack != image) return Fail(scope, "Check Flash Code Fail\n", kStsCompareDataFail, status);
  if (!MP_EnableWriteProtect()) return Fail(scope, "Enable Write Protect Fail\n", kStsEnableWpFail, status);
  if (JobFlags & kJobResetAfterUpdate) {
    PostPhase(kStsPhaseResetToNewCode);
    if (!RomReset(runMode == 1)) return Fail(scope, "Devcie ResetToCache Fail\n", kStsResetDeviceFail, status);
  }
  return 1;
}

int CMpFlow_Flash::FF_Update(std::vector<std::uint8_t>& image) {
  TraceScope scope("CMpFlow_Flash::FF_Update", kTraceFlow);
  readBack.assign(image.size(), 0);
  int status = 0;
  int result = 0;
  if (StopRequested()) {
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  if (image.size() == otp::kSize && bootRomFamily) {
    // The flash stands in for OTP: the image goes in as the OTP would hold it.
    if (!otp::ConvertToOtpLayout(image)) {
      PostFailure(kStsGetCodeSizeFail);
      return 0;
    }
    readBack.assign(image.size(), 0);
    result = FF_UpdateEx_ForSimulateOTP(image, status);
  } else {
    result = FF_UpdateEx_Standard(image, status);
  }
  if (result) return result;
  std::uint16_t size = 8;
  DevLib_ChangeDataControlSize(m_hDevice, size);
  MP_EnableWriteProtect();
  PostFailure(status);
  return 0;
}

int CMpFlow_Flash::FF_Erase() {
  TraceScope scope("CMpFlow_Flash::FF_Erase", kTraceFlow);
  const bool type4 = bootRomFamily && (modeText == "ROM&&SPI" || modeText == "ROM&&OTP");
  auto fail = [](int code) {
    PostFailure(code);
    return 0;
  };
  if (!MP_DisableWriteProtect()) return fail(kStsDisableWpFail);
  if (!MP_EraseSPIFlash(type4 ? 0 : 1, 0)) return fail(kStsEraseFlashFail);
  if (!MP_EnableWriteProtect()) return fail(kStsEnableWpFail);
  if (type4 || (JobFlags & kJobResetAfterUpdate)) {
    PostPhase(kStsPhaseResetToNewCode);
    if (!RomReset(type4)) return fail(kStsResetDeviceFail);
  }
  return 1;
}

int CMpFlow_Flash::FF_Read() {
  TraceScope scope("CMpFlow_Flash::FF_Read", kTraceFlow);
  readBack.assign(CodeReadSize, 0);
  m_accessFlags |= kAccessViaExtUnit;
  std::uint16_t size = 64;
  DevLib_ChangeDataControlSize(m_hDevice, size);
  int result = MP_ReadSPIFlash(readBack.data(), CodeReadSize);
  if (!result) PostFailure(kStsReadFlashFail);
  if (result && CodeReadSize == 0x4000 && bootRomFamily && runMode == 1) {
    PostPhase(kStsPhaseResetToNewCode);
    if (!RomReset(true)) {
      PostFailure(kStsResetDeviceFail);
      result = 0;
    }
  }
  size = 8;
  DevLib_ChangeDataControlSize(m_hDevice, size);
  m_accessFlags &= ~kAccessViaExtUnit;
  return result;
}

int CMpFlow_Flash::NOR_Download() {
  TraceScope scope("CMpFlow_Flash::NOR_Download", kTraceFlow);
  std::vector<std::uint8_t>& image = download.image;
  const std::uint32_t n = std::uint32_t(image.size());
  readBack.assign(n, 0);
  auto fail = [](int code) {
    PostFailure(code);
    return 0;
  };
  if (!MP_OpenRomDevice()) return 0;
  if (!MP_EraseNORFlash()) return fail(kStsEraseFlashFail);
  if (!MP_CheckNORFlashEmpty(readBack.data(), n)) return fail(kStsCheckEmptyFail);
  if (!MP_WriteNORFlash(image.data(), n)) return fail(kStsUpdateFlashFail);
  if (!MP_VerifyNORFlash(readBack.data(), n)) return fail(kStsReadFlashFail);
  if (readBack != image) return fail(kStsCompareDataFail);
  if (!configOnly && !MP_WriteNORFlashTag()) return fail(kStsWriteTagFail);
  if (JobFlags & kJobResetAfterUpdate) {
    PostPhase(kStsPhaseResetToNewCode);
    if (!MP_DoReset(kResetRom, 0)) return fail(kStsResetDeviceFail);
  }
  PostProgress(100);
  PostSuccess(kStsFirmwareUpdateOk);
  return 1;
}
