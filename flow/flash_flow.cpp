#include "flow/flash_flow.h"

#include <algorithm>

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
constexpr std::uint32_t kSignatureBusySleepMs = 5000;  // the codec checks the signature itself: "busy" is asked again this much later
constexpr std::uint32_t kHeaderSize = 6;

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
  const FlashChipFacts& facts = FlashFacts();
  PostPhase(kStsPhaseResetToNewCode);
  if (setting::Get(setting::kDisableRebootCheck) == 0 && facts.askBeforeRestart) {
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
    std::uint8_t values[2] = {};
    const int registers = facts.restartPulseCount;
    for (int i = 0; i < registers; ++i) ReadByte(facts.restartPulse[i], values[i]);
    for (int i = 0; i < registers; ++i) WriteByte(facts.restartPulse[i], values[i] | 0x01);
    if (registers) FlowClock().SleepMs(20);  // the width of the restart pulse
    for (int i = 0; i < registers; ++i) WriteByte(facts.restartPulse[i], std::uint8_t(values[i] & ~0x01));
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

std::uint32_t CMpFlow_Flash::TagOffset() { return std::uint32_t(std::max(0, ICTypeStore().GetTagAddress())); }

bool CMpFlow_Flash::WritesTag(std::uint32_t imageLength) const {
  return !configOnly && !bootRomFamily && TagOffset() + 2 <= imageLength;
}

void CMpFlow_Flash::AsTheUpdateLeavesIt(std::vector<std::uint8_t>& image) const {
  const std::uint32_t tag = TagOffset();
  if (bootRomFamily && tag + 2 <= image.size()) image[tag] = image[tag + 1] = 0xFF;
}

std::vector<std::uint32_t> CMpFlow_Flash::StartBytes(std::uint32_t imageLength) {
  std::vector<std::uint32_t> offsets{0};
  const std::uint32_t config = std::uint32_t(std::max(0, ICTypeStore().GetConfigAddress()));
  if (config != 0 && config < imageLength) offsets.push_back(config);
  return offsets;
}

int CMpFlow_Flash::WriteAndCheck(const std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint32_t length,
                                 int writeFailure, int& status) {
  const std::uint32_t n = std::uint32_t(image.size());
  const std::uint32_t address = MappedFlashAddress(n, offset);
  std::vector<std::uint8_t> back(length);
  if (!FlashWriteChunk(address, length, image.data() + offset)) return status = writeFailure, 0;
  if (!FlashReadChunk(address, length, back.data())) return status = kStsReadFlashFail, 0;
  if (!std::equal(back.begin(), back.end(), image.begin() + offset)) return status = kStsCompareDataFail, 0;
  return 1;
}

// Everything but what makes the image startable is written and read back
// whole first; then the held-back bytes are programmed (flash programming only
// clears bits) and read back; the tag comes last. Power lost at any point
// leaves no image the boot ROM would start but the whole new one.
int CMpFlow_Flash::ProgramImage(const std::vector<std::uint8_t>& image, bool withTag, int& status) {
  TraceScope scope("CMpFlow_Flash::ProgramImage", kTraceFlow);
  const std::uint32_t n = std::uint32_t(image.size());
  const std::uint32_t tag = TagOffset();
  std::vector<std::uint8_t> body = image;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> held;  // offset, length
  for (std::uint32_t offset : StartBytes(n)) {
    const std::uint32_t length = std::min(kHeaderSize, n - offset);
    if (std::all_of(body.begin() + offset, body.begin() + offset + length, [](std::uint8_t b) { return b == 0xFF; }))
      continue;
    std::fill_n(body.begin() + offset, length, 0xFF);
    held.push_back({offset, length});
  }
  if (withTag) body[tag] = body[tag + 1] = 0xFF;
  if (!MP_WriteSPIFlash(body.data(), n)) return Fail(scope, "Write Flash Code Fail\n", kStsUpdateFlashFail, status);
  readBack = body;
  if (!MP_VerifySPIFlash(readBack.data(), n)) return Fail(scope, "Read Flash Code Fail\n", kStsReadFlashFail, status);
  if (readBack != body) return Fail(scope, "Check Flash Code Fail\n", kStsCompareDataFail, status);
  // Held-back bytes at the end of the image first: the image's start last.
  for (auto it = held.rbegin(); it != held.rend(); ++it)
    if (!WriteAndCheck(image, it->first, it->second, kStsUpdateFlashFail, status))
      return Fail(scope, "Write Flash Header Fail\n", status, status);
  if (withTag) {
    PostPhase(kStsPhaseWriteTag);
    if (!WriteAndCheck(image, tag, 2, kStsWriteTagFail, status)) return Fail(scope, "Write Tag Fail\n", status, status);
  }
  readBack = image;
  return 1;
}

int CMpFlow_Flash::FF_UpdateEx_Standard(std::vector<std::uint8_t>& image, int& status) {
  TraceScope scope("CMpFlow_Flash::FF_UpdateEx_Standard", kTraceFlow);
  const std::uint32_t n = std::uint32_t(image.size());
  AsTheUpdateLeavesIt(image);  // the boot-ROM family takes no tag
  if (!MP_DisableWriteProtect()) return Fail(scope, "Disable Write Protect Fail\n", kStsDisableWpFail, status);
  if (!MP_EraseSPIFlash(0, n)) return Fail(scope, "Erase Flash Fail\n", kStsEraseFlashFail, status);
  readBack.assign(n, 0);
  if (!MP_CheckSPIFlashEmpty(readBack.data(), n))
    return Fail(scope, "Check Flash Empty Fail\n", kStsCheckEmptyFail, status);
  if (!ProgramImage(image, WritesTag(n), status)) return 0;
  if (!MP_EnableWriteProtect()) return Fail(scope, "Enable Write Protect Fail\n", kStsEnableWpFail, status);

  const FlashChipFacts& facts = FlashFacts();
  if (facts.signatureCheck && download.SignatureCheckFlag) {
    std::uint8_t mode = 0;
    if (ReadByte(kModeByteAddress, mode) && mode == 8 && !SignatureIsGood()) {
      // The rejected image loses its tag and header: at its own bank.
      WriteUnprotected(MappedFlashAddress(n, TagOffset()), {0, 0, 0, 0});
      return Fail(scope, "ECDSA Check Fail\n", kStsEcdsaCheckFail, status);
    }
  }
  if (facts.bankSwitch && download.BankSwitchFlag) WriteUnprotected(0x1010, {0, 0, 0, 0});
  if (!(JobFlags & kJobResetAfterUpdate)) return 1;
  return RebootDecision(status);
}

int CMpFlow_Flash::FF_UpdateEx_ForSimulateOTP(std::vector<std::uint8_t>& image, int& status) {
  TraceScope scope("CMpFlow_Flash::FF_UpdateEx_ForSimulateOTP", kTraceFlow);
  if (!MP_DisableWriteProtect()) return Fail(scope, "Disable Write Protect Fail\n", kStsDisableWpFail, status);
  if (!MP_EraseSPIFlash(0, 0)) return Fail(scope, "Erase Flash Fail\n", kStsEraseFlashFail, status);
  if (!ProgramImage(image, false, status)) return 0;
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
  // As on SPI flash: what makes the image startable is written last.
  std::vector<std::uint8_t> body = image;
  std::vector<std::uint32_t> held;
  for (std::uint32_t offset : StartBytes(n)) {
    held.push_back(offset);
    std::fill_n(body.begin() + offset, std::min(kHeaderSize, n - offset), 0xFF);
  }
  if (!MP_WriteNORFlash(body.data(), n)) return fail(kStsUpdateFlashFail);
  if (!MP_VerifyNORFlash(readBack.data(), n)) return fail(kStsReadFlashFail);
  if (readBack != body) return fail(kStsCompareDataFail);
  for (auto it = held.rbegin(); it != held.rend(); ++it) {
    const std::uint32_t length = std::min(kHeaderSize, n - *it);
    std::uint8_t back[kHeaderSize] = {};
    if (!DevLib_WriteFlash(m_hDevice, *it, length, image.data() + *it, m_accessFlags)) return fail(kStsUpdateFlashFail);
    if (!FlashReadChunk(*it, length, back)) return fail(kStsReadFlashFail);
    if (!std::equal(back, back + length, image.begin() + *it)) return fail(kStsCompareDataFail);
  }
  readBack = image;
  if (!configOnly) {
    static constexpr std::uint8_t kTag[2] = {0x55, 0xAA};
    std::uint8_t tag[2] = {};
    const std::uint32_t tagAt = TagOffset();
    if (!MP_WriteNORFlashTag() || !FlashReadChunk(tagAt, 2, tag)) return fail(kStsWriteTagFail);
    if (!std::equal(tag, tag + 2, kTag)) return fail(kStsWriteTagFail);
  }
  if (JobFlags & kJobResetAfterUpdate) {
    PostPhase(kStsPhaseResetToNewCode);
    if (!MP_DoReset(kResetRom, 0)) return fail(kStsResetDeviceFail);
  }
  PostProgress(100);
  PostSuccess(kStsFirmwareUpdateOk);
  return 1;
}
