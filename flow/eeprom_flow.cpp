#include "flow/eeprom_flow.h"

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/job_flags.h"
#include "flow/job_phase_marks.h"

namespace {

constexpr std::size_t kTagByte = 1;

int Fail(const TraceScope& scope, const char* trace, int code, int& status) {
  TraceFailure(scope, trace);
  status = code;
  return 0;
}

}  // namespace

int CMpFlow_Eeprom::ResetToNewCode(int& status) {
  TraceScope scope("CMpFlow_Eeprom::ResetToNewCode", kTraceFlow);
  PostPhase(kStsPhaseResetToNewCode);
  if (!MP_DoReset(kResetRom, 0)) return Fail(scope, "Device ResetToRom Fail\n", kStsResetDeviceFail, status);
  return 1;
}

int CMpFlow_Eeprom::EE16_UpdateEx_Cmd2(std::vector<std::uint8_t>& image, int& status) {
  return UpdateSteps(16, image, status);
}

int CMpFlow_Eeprom::EE8_UpdateEx_Cmd2(std::vector<std::uint8_t>& image, int& status) {
  return UpdateSteps(8, image, status);
}

int CMpFlow_Eeprom::UpdateSteps(int width, std::vector<std::uint8_t>& image, int& status) {
  TraceScope scope(width == 16 ? "CMpFlow_Eeprom::EE16_UpdateEx_Cmd2" : "CMpFlow_Eeprom::EE8_UpdateEx_Cmd2", kTraceFlow);
  const std::uint32_t n = std::uint32_t(image.size());
  if (!MP_EepromWPOff()) return Fail(scope, "Disable Write Protect Fail\n", kStsDisableWpFail, status);
  if (width == 8) {
    if (!MP_EraseEeprom8()) return Fail(scope, "Erase I2CEEP Fail\n", kStsEraseEepromFail, status);
    if (!MP_CheckEeprom8Empty()) return Fail(scope, "Check I2CEEP Empty Fail\n", kStsCheckEmptyFail, status);
  }
  // The tag goes in last, for both widths: a header written before the rest
  // of the image would let the boot ROM start a partly written image after a
  // power loss.
  if (n > kTagByte) image[kTagByte] = 0xFF;
  const int written = width == 16 ? MP_WriteEeprom16(image.data(), n) : MP_WriteEeprom8(image.data(), n);
  if (!written) return Fail(scope, "Write I2CEEP Fail\n", kStsUpdateEepromFail, status);
  readBack.assign(n, 0);
  BeginJobPhase("verify");
  const int read = width == 16 ? MP_VerifyEeprom16(readBack.data(), n) : MP_ReadEeprom8(readBack.data(), n);
  if (!read) return Fail(scope, "Read I2CEEP Fail\n", kStsReadEepromFail, status);
  if (readBack != image) return Fail(scope, "Check I2CEEP Fail\n", kStsCompareDataFail, status);
  const int tagged = width == 16 ? MP_WriteEeprom16Tag() : MP_WriteEeprom8Tag();
  if (!tagged) return Fail(scope, "Write I2CEEP Tag Fail\n", kStsWriteTagFail, status);
  if (!MP_EepromWPOn()) return Fail(scope, "Enable Write Protect Fail\n", kStsEnableWpFail, status);
  if (JobFlags & kJobResetAfterUpdate) return ResetToNewCode(status);
  return 1;
}

int CMpFlow_Eeprom::EE_Update(int width, std::vector<std::uint8_t>& image) {
  TraceScope scope("CMpFlow_Eeprom::EE_Update", kTraceFlow);
  readBack.assign(image.size(), 0);
  if (StopRequested()) {
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  // The image keeps its tag: the update works on a copy.
  std::vector<std::uint8_t> work = image;
  int status = 0;
  if (width == 16 ? EE16_UpdateEx_Cmd2(work, status) : EE8_UpdateEx_Cmd2(work, status)) return 1;
  std::uint16_t size = 8;
  DevLib_ChangeDataControlSize(m_hDevice, size);
  MP_EepromWPOn();
  PostFailure(status);
  return 0;
}

int CMpFlow_Eeprom::EE_Read(int width) {
  TraceScope scope("CMpFlow_Eeprom::EE_Read", kTraceFlow);
  if (!MP_OpenRomDevice()) return 0;
  updateImage.assign(CodeReadSize, 0);
  const int read = width == 16 ? MP_ReadEeprom16(updateImage.data(), CodeReadSize)
                               : MP_ReadEeprom8(updateImage.data(), CodeReadSize);
  // The boot ROM waits in its update mode after a read: it is always reset.
  int status = 0;
  const int reset = ResetToNewCode(status);
  if (!read) {
    PostFailure(kStsReadEepromFail);
    return 0;
  }
  if (!reset) {
    PostFailure(status);
    return 0;
  }
  return 1;
}

int CMpFlow_Eeprom::EE_Erase(int width) {
  TraceScope scope("CMpFlow_Eeprom::EE_Erase", kTraceFlow);
  if (!MP_OpenRomDevice()) return 0;
  if (!MP_EepromWPOff()) {
    PostFailure(kStsDisableWpFail);
    return 0;
  }
  const int erased = width == 16 ? MP_FillEeprom16() : MP_EraseEeprom8();
  MP_EepromWPOn();
  if (!erased) {
    PostFailure(kStsEraseEepromFail);
    return 0;
  }
  int status = 0;
  if ((JobFlags & kJobResetAfterUpdate) && !ResetToNewCode(status)) {
    PostFailure(status);
    return 0;
  }
  return 1;
}
