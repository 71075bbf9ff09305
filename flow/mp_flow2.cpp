#include "flow/mp_flow2.h"

#include <algorithm>

#include "app/program_state.h"
#include "app/settings_keys.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "image/chip_facts.h"
#include "image/ic_type_ini.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kChunk = 4096;
constexpr int kEraseAttempts = 3;
// A failed erase or EEPROM fill is tried again after this pause.
constexpr std::uint32_t kEraseRetrySleepMs = 128;
// The flash's busy bit after a status write (some 15 ms) is read this often,
// for at most kBusyLimitMs (20 reads 50 ms apart); an erase, which runs for
// seconds and costs a transfer per look, is looked at every kErasePollMs.
constexpr std::uint32_t kBusyPollMs = 5;
constexpr std::uint32_t kBusyLimitMs = 20 * 50;
constexpr std::uint32_t kErasePollMs = 20;
constexpr std::uint32_t kBlock = 0x10000;

bool AllErased(const std::uint8_t* p, std::uint32_t n) {
  return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace

std::uint8_t CMpFlow2::IcFamily() { return ICTypeStore().ChipInfo(); }

const FlashChipFacts& CMpFlow2::FlashFacts() { return FlashFactsFor(IcFamily()); }

std::uint32_t CMpFlow2::MappedFlashAddress(std::uint32_t imageLength, std::uint32_t offset) {
  return FlashAddress(FlashFacts(), imageLength, offset);
}

bool CMpFlow2::PinGroups(WpPin* groups, int& count, bool& protectable) {
  ChipId id;
  if (!ReadChipId(id)) return false;
  count = 1;
  protectable = true;
  const std::uint16_t masked = id.Masked();
  if (!IsBootRomFamily(id)) {
    groups[0] = {0xFEA0, 0xFEA6, 0x01};
  } else if ((id.lo == 0x56 && id.hi == 0xFF) || masked == 0x8050) {
    groups[0] = {0x0404, 0x0406, 0x01};
  } else if (masked == 0x7010) {
    groups[0] = {0x0650, 0x0652, 0x01};
  } else if (masked == 0xE010) {
    groups[0] = {0x0505, 0x0507, 0x01};
  } else if (masked == 0x1010) {
    // Probe which pin groups the firmware wires up.
    std::uint8_t value = 0;
    if (!WriteByte(0x051B, 0x29)) return false;
    FlowClock().SleepMs(5);  // the pins settle before they are read
    if (!ReadByte(0x050F, value) || !WriteByte(0x051B, 0x15)) return false;
    if (((value >> 5) & 3) == 1) {
      groups[0] = {0x050A, 0x0510, 0x80};
      groups[1] = {0x050C, 0x0512, 0x10};
      count = 2;
      protectable = false;
    } else {
      groups[0] = {0x050C, 0x0512, 0x10};
    }
  } else {
    groups[0] = {0xFEC0, 0xFEC6, 0x01};
  }
  return true;
}

int CMpFlow2::WaitFlashIdle() {
  for (std::uint32_t waited = 0; waited < kBusyLimitMs; waited += kBusyPollMs) {
    std::uint8_t status = 0;
    if (!DevLib_SpiReadSr(m_hDevice, status, m_accessFlags)) return 0;
    if (!(status & 0x01)) return 1;
    FlowClock().SleepMs(kBusyPollMs);
  }
  return 0;
}

int CMpFlow2::SwitchPin(const WpPin& pin, bool high) {
  std::uint8_t d = 0, o = 0;
  if (!ReadByte(pin.direction, d) || !ReadByte(pin.output, o)) return 0;
  if (!WriteByte(pin.direction, d | pin.bit)) return 0;
  if (!WriteByte(pin.output, high ? (o | pin.bit) : std::uint8_t(o & ~pin.bit))) return 0;
  if (!DevLib_SpiWriteSr(m_hDevice, high ? 0x00 : 0x8C, m_accessFlags)) return 0;
  return WaitFlashIdle();
}

int CMpFlow2::MP_DisableWriteProtect() {
  TraceScope scope("CMpFlow2::MP_DisableWriteProtect", kTraceFlow);
  WpPin groups[2];
  int count = 0;
  bool protectable = true;
  if (!PinGroups(groups, count, protectable)) return 0;
  for (int i = 0; i < count; ++i)
    if (!SwitchPin(groups[i], true)) return 0;
  return 1;
}

int CMpFlow2::MP_EnableWriteProtect() {
  TraceScope scope("CMpFlow2::MP_EnableWriteProtect", kTraceFlow);
  WpPin groups[2];
  int count = 0;
  bool protectable = true;
  if (!PinGroups(groups, count, protectable)) return 0;
  if (!protectable) return 1;
  return SwitchPin(groups[0], false);
}

// An erase runs on in the flash after the command: polls its busy bit until
// it clears, for at most `timeLimitMs`.
int CMpFlow2::WaitEraseDone(std::uint32_t timeLimitMs) {
  for (std::uint32_t waited = 0;; waited += kErasePollMs) {
    std::uint8_t status = 0;
    if (!DevLib_SpiReadSr(m_hDevice, status, m_accessFlags)) return 0;
    if (!(status & 0x01)) return 1;
    if (waited >= timeLimitMs) return 0;
    FlowClock().SleepMs(kErasePollMs);
  }
}

int CMpFlow2::EraseBlocks(std::uint32_t start, std::uint32_t length, std::uint32_t timeLimitMs) {
  const std::uint32_t blocks = std::max<std::uint32_t>(1, (length + kBlock - 1) / kBlock);
  for (std::uint32_t b = 0; b < blocks; ++b)
    if (!DevLib_SpiEraseBlock(m_hDevice, start + b * kBlock, false) || !WaitEraseDone(timeLimitMs)) return 0;
  return 1;
}

// What stays beyond the erased blocks is never read as part of the image: the
// empty check, the write and the verify cover the image's extent, and the
// configuration area is erased with it wherever it lies. A codec whose channel
// has no block erase (or a block erase that fails) gets the chip erase.
int CMpFlow2::EraseForImage(std::uint32_t imageLength, bool imageBlocksOnly, std::uint32_t timeLimitMs) {
  TraceScope scope("CMpFlow2::EraseForImage", kTraceFlow);
  if (imageBlocksOnly) {
    const std::uint32_t config = std::uint32_t(std::max(0, ICTypeStore().GetConfigAddress()));
    const std::uint32_t configEnd = config + std::uint32_t(std::max(0, ICTypeStore().GetConfigSize()));
    const std::uint32_t extent = std::max(imageLength, config > 0 ? configEnd : 0u);
    if (EraseBlocks(MappedFlashAddress(imageLength, 0) & ~(kBlock - 1), extent, timeLimitMs)) return 1;
    TracePrint(scope, "Block erase failed: the whole chip is erased\n");
  }
  return DevLib_SpiEraseChip(m_hDevice, m_accessFlags, timeLimitMs);
}

int CMpFlow2::MP_EraseSPIFlash(int forceChipErase, std::uint32_t imageLength) {
  TraceScope scope("CMpFlow2::MP_EraseSPIFlash", kTraceFlow);
  const std::uint32_t timeLimit = std::uint32_t(setting::Get(setting::kEraseTimeOut));
  const std::uint32_t afterErase = std::uint32_t(setting::Get(setting::kEraseCommandTime));
  const FlashErase rule = forceChipErase ? FlashErase::kChip : FlashFacts().erase;
  const bool imageBlocksOnly = !forceChipErase && imageLength > 0 && setting::Get(setting::kBlockErase) != 0;
  PostPhase(kStsPhaseErasing);
  int result = 0;
  for (int attempt = 0; attempt < kEraseAttempts; ++attempt) {
    if (StopRequested()) {
      result = 0;
      break;
    }
    switch (rule) {
      case FlashErase::kChip:
        result = EraseForImage(imageLength, imageBlocksOnly, timeLimit);
        break;
      case FlashErase::kBlocksAt0x10000:
        // Every block the image will occupy (one for a 64 KiB image).
        result = EraseBlocks(kBlock, imageLength, timeLimit);
        break;
      case FlashErase::kBlocksAfterImage: {
        const std::uint32_t blocks = imageLength >> 16;
        result = 0;
        for (std::uint32_t b = 0; b < blocks; ++b)
          if (!(result = DevLib_SpiEraseBlock(m_hDevice, imageLength + b * kBlock, true))) break;
        break;
      }
      case FlashErase::kBlock0OrChip: {
        std::uint8_t control = 0;
        if (!ReadByte(0x0409, control))
          result = 0;
        else if (control & 0x80)
          result = DevLib_SpiEraseBlock(m_hDevice, 0, false);
        else
          result = EraseForImage(imageLength, imageBlocksOnly, timeLimit);
        break;
      }
    }
    if (result) result = WaitEraseDone(timeLimit);
    if (result) break;
    FlowClock().SleepMs(kEraseRetrySleepMs);
  }
  FlowClock().SleepMs(afterErase);  // "EraseCommandTime": the setting's own pause after an erase
  PostProgress(5);
  return result;
}

int CMpFlow2::ReadChunks(std::uint8_t* buffer, std::uint32_t length, int phase, int base, int span, bool mapped) {
  if (length == 0) return 0;
  PostPhase(phase);
  for (std::uint32_t done = 0; done < length; done += kChunk) {
    if (StopRequested()) return 0;
    const std::uint32_t n = std::min(kChunk, length - done);
    const std::uint32_t address = mapped ? MappedFlashAddress(length, done) : done;
    if (!FlashReadChunk(address, n, buffer + done)) return 0;
    PostProgress(base + int(std::uint64_t(span) * (done + n) / length));
  }
  return 1;
}

// Every chunk of the image's extent is read: a region that did not erase
// anywhere fails the check.
int CMpFlow2::MP_CheckSPIFlashEmpty(std::uint8_t* buffer, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_CheckSPIFlashEmpty", kTraceFlow);
  if (!ReadChunks(buffer, length, kStsPhaseCheckEmpty, 5, 30, true)) {
    TracePrint(scope, "%s", kTraceSeparator);
    TracePrint(scope, "Read Flash Code Fail\n");
    return 0;
  }
  return AllErased(buffer, length) ? 1 : 0;
}

int CMpFlow2::MP_WriteSPIFlash(const std::uint8_t* image, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_WriteSPIFlash", kTraceFlow);
  if (length == 0) return 0;
  PostPhase(kStsPhaseDownload);
  for (std::uint32_t done = 0; done < length; done += kChunk) {
    if (StopRequested()) return 0;
    const std::uint32_t n = std::min(kChunk, length - done);
    if (!FlashWriteChunk(MappedFlashAddress(length, done), n, image + done)) return 0;
    PostProgress(35 + int(30ull * (done + n) / length));
  }
  return 1;
}

// Reads back every chunk of the image's extent, erased ones too.
int CMpFlow2::MP_VerifySPIFlash(std::uint8_t* buffer, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_VerifySPIFlash", kTraceFlow);
  return ReadChunks(buffer, length, kStsPhaseVerify, 65, 30, true);
}

int CMpFlow2::MP_ReadSPIFlash(std::uint8_t* buffer, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_ReadSPIFlash", kTraceFlow);
  return ReadChunks(buffer, length, kStsPhaseRead, 10, 80, true);
}

int CMpFlow2::MP_WriteSPIFlashTag() {
  PostPhase(kStsPhaseWriteTag);
  return m_hDevice ? DevLib_SpiWriteTag(m_hDevice, m_accessFlags) : 0;
}

int CMpFlow2::MP_EraseNORFlash() {
  TraceScope scope("CMpFlow2::MP_EraseNORFlash", kTraceFlow);
  int result = 0;
  for (int attempt = 0; attempt < kEraseAttempts; ++attempt) {
    if (StopRequested()) {
      result = 0;
      break;
    }
    result = m_hDevice ? DevLib_EraseFlash(m_hDevice, m_accessFlags) : 0;
    if (result) result = WaitEraseDone(std::uint32_t(setting::Get(setting::kEraseTimeOut)));
    if (result) break;
    FlowClock().SleepMs(kEraseRetrySleepMs);
  }
  PostProgress(30);
  return result;
}

int CMpFlow2::MP_CheckNORFlashEmpty(std::uint8_t* buffer, std::uint32_t length) {
  if (!ReadChunks(buffer, length, kStsPhaseCheckEmpty, 30, 20, false)) return 0;
  return AllErased(buffer, length) ? 1 : 0;
}

int CMpFlow2::MP_WriteNORFlash(const std::uint8_t* image, std::uint32_t length) {
  if (length == 0) return 0;
  PostPhase(kStsPhaseDownload);
  for (std::uint32_t done = 0; done < length; done += kChunk) {
    if (StopRequested() || !m_hDevice) return 0;
    const std::uint32_t n = std::min(kChunk, length - done);
    if (!DevLib_WriteFlash(m_hDevice, done, n, image + done, m_accessFlags)) return 0;
    PostProgress(50 + int(20ull * (done + n) / length));
  }
  return 1;
}

int CMpFlow2::MP_VerifyNORFlash(std::uint8_t* buffer, std::uint32_t length) {
  return ReadChunks(buffer, length, kStsPhaseVerify, 70, 20, false);
}

int CMpFlow2::MP_WriteNORFlashTag() {
  PostPhase(kStsPhaseWriteTag);
  return m_hDevice ? DevLib_NorFlashWriteTag(m_hDevice, m_accessFlags) : 0;
}
