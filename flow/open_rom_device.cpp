#include "app/status_codes.h"
#include "app/trace.h"
#include "flow/mp_flow2.h"

namespace {

// The D011's boot register: which image kind the ROM expects.
std::uint8_t BootRegisterValue(std::uint8_t value, bool signedImage) {
  return signedImage ? std::uint8_t((value & 0xDF) | 0x02) : std::uint8_t((value & 0xFD) | 0x20);
}

}  // namespace

int CMpFlow4::MP_OpenRomDevice() {
  TraceScope scope("CMpFlow4::MP_OpenRomDevice", kTraceFlow);
  ChipId id;
  if (!ReadChipId(id)) {
    TraceFailure(scope, "Device ResetToUpdateFW Fail\n");
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  const std::uint16_t code = id.Code();
  const bool signedImage = download.SignedImageMarker != 0;
  if (IsBootRomFamily(id) && (modeText == "ROM" || modeText == "ROM&&OTP")) {
    runMode = 1;
    if (code == 0xD010) WriteByte(0xFED0, 0x1E);
    if (code == 0xD011) {
      std::uint8_t value = 0;
      if (ReadByte(0xD6AD, value)) WriteByte(0xD6AD, BootRegisterValue(value, signedImage));
    }
    return 1;
  }
  if (IsBootRomFamily(id) && modeText == "SPI") {
    m_accessFlags |= kAccessViaExtUnit;
    ChipId again;
    if (ReadChipId(again) && (again.Code() == 0xB013 || again.Code() == 0xB014)) {
      // Invalidate the flash image so that the ROM stays in update mode.
      const std::uint8_t zeros[2] = {0, 0};
      MP_DisableWriteProtect();
      FlashWriteChunk(0xF000, 1, zeros);
      FlashWriteChunk(0xEFFE, 2, zeros);
      MP_EnableWriteProtect();
    }
    m_accessFlags &= ~kAccessViaExtUnit;
  }
  PostPhase(kStsPhaseWaitReset);
  const int result = MP_ResetToRomCode();
  if (!result) {
    TraceFailure(scope, "Device ResetToUpdateFW Fail\n");
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  if (code == 0xD011 && signedImage) {
    std::uint8_t value = 0;
    if (ReadByte(0xD6AD, value)) WriteByte(0xD6AD, std::uint8_t((value & 0xDF) | 0x02));
  }
  return result;
}
