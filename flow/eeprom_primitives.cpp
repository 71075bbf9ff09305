// EEPROM primitives of the flow object: the write-protect pin, chunked
// writes and reads for both addressings, the tag, the fill and the erase.
#include <algorithm>

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/job_phase_marks.h"
#include "flow/mp_flow2.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kEepromChunk = 8;
constexpr int kChunkAttempts = 8;
constexpr int kRegisterOpAttempts = 3;
constexpr std::uint32_t kRegisterOpRetrySleepMs = 128;  // a failed fill or erase is tried again after this pause
constexpr std::uint32_t kEeprom8EraseBytes = 64;

// The EEPROM's write-protect pin: two register pairs of the codec.
struct EepromPin {
  std::uint16_t direction, output;
  std::uint8_t bit;
};
constexpr EepromPin kEepromPins[] = {{0xFEA0, 0xFEA6, 0x20}, {0xFEA1, 0xFEA7, 0x02}};

}  // namespace

int CMpFlow2::SwitchEepromPin(bool release) {
  std::uint8_t values[4] = {};
  for (int i = 0; i < 2; ++i)
    if (!ReadByte(kEepromPins[i].direction, values[2 * i]) || !ReadByte(kEepromPins[i].output, values[2 * i + 1]))
      return 0;
  for (int i = 0; i < 2; ++i) {
    const EepromPin& pin = kEepromPins[i];
    const std::uint8_t d = values[2 * i], o = values[2 * i + 1];
    // Driven low to write; released (input, output latch high) to protect.
    const std::uint8_t direction = release ? std::uint8_t(d & ~pin.bit) : std::uint8_t(d | pin.bit);
    const std::uint8_t output = release ? std::uint8_t(o | 0x01) : std::uint8_t(o & ~pin.bit);
    if (!WriteByte(pin.direction, direction) || !WriteByte(pin.output, output)) return 0;
  }
  return 1;
}

int CMpFlow2::MP_EepromWPOff() {
  TraceScope scope("CMpFlow2::MP_EepromWPOff", kTraceFlow);
  return SwitchEepromPin(false);
}

int CMpFlow2::MP_EepromWPOn() {
  TraceScope scope("CMpFlow2::MP_EepromWPOn", kTraceFlow);
  return SwitchEepromPin(true);
}

int CMpFlow2::EepromChunks(int width, const std::uint8_t* in, std::uint8_t* out, std::uint32_t length, int phase,
                           int base, int span) {
  if (length == 0) return 0;
  if (phase) PostPhase(phase);
  for (std::uint32_t done = 0; done < length; done += kEepromChunk) {
    if (StopRequested()) return 0;
    const std::uint32_t n = std::min(kEepromChunk, length - done);
    int ok = 0;
    for (int attempt = 0; attempt < kChunkAttempts && !ok; ++attempt) {
      if (StopRequested() || !m_hDevice) return 0;
      if (width == 16)
        ok = in ? DevLib_Eep16Write(m_hDevice, done, n, in + done, m_accessFlags)
                : DevLib_Eep16Read(m_hDevice, done, n, out + done, m_accessFlags);
      else
        ok = in ? DevLib_Eep8Write(m_hDevice, done, n, in + done, m_accessFlags)
                : DevLib_Eep8Read(m_hDevice, done, n, out + done, m_accessFlags);
    }
    if (!ok) return 0;
    PostProgress(base + int(std::uint64_t(span) * (done + n) / length));
  }
  return 1;
}

int CMpFlow2::MP_WriteEeprom16(const std::uint8_t* image, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_WriteEeprom16", kTraceFlow);
  return EepromChunks(16, image, nullptr, length, kStsPhaseDownload, 50, 20);
}

int CMpFlow2::MP_ReadEeprom16(std::uint8_t* buffer, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_ReadEeprom16", kTraceFlow);
  return EepromChunks(16, nullptr, buffer, length, kStsPhaseRead, 10, 80);
}

int CMpFlow2::MP_VerifyEeprom16(std::uint8_t* buffer, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_VerifyEeprom16", kTraceFlow);
  return EepromChunks(16, nullptr, buffer, length, kStsPhaseVerify, 70, 20);
}

int CMpFlow2::MP_WriteEeprom16Tag() {
  PostPhase(kStsPhaseWriteTag);
  return m_hDevice ? DevLib_Eep16WriteTag(m_hDevice, m_accessFlags) : 0;
}

int CMpFlow2::MP_WriteEeprom8(const std::uint8_t* image, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_WriteEeprom8", kTraceFlow);
  return EepromChunks(8, image, nullptr, length, kStsPhaseDownload, 50, 20);
}

int CMpFlow2::MP_ReadEeprom8(std::uint8_t* buffer, std::uint32_t length) {
  TraceScope scope("CMpFlow2::MP_ReadEeprom8", kTraceFlow);
  return EepromChunks(8, nullptr, buffer, length, kStsPhaseRead, 10, 80);
}

int CMpFlow2::MP_CheckEeprom8Empty() {
  TraceScope scope("CMpFlow2::MP_CheckEeprom8Empty", kTraceFlow);
  std::uint8_t head[kEeprom8EraseBytes];
  if (!EepromChunks(8, nullptr, head, kEeprom8EraseBytes, kStsPhaseCheckEmpty, 30, 20)) return 0;
  return std::all_of(std::begin(head), std::end(head), [](std::uint8_t b) { return b == 0xFF; }) ? 1 : 0;
}

int CMpFlow2::MP_WriteEeprom8Tag() {
  PostPhase(kStsPhaseWriteTag);
  return m_hDevice ? DevLib_Eep8WriteTag(m_hDevice, m_accessFlags) : 0;
}

int CMpFlow2::EepromRegisterOp(bool fill16) {
  BeginJobPhase("erase");
  int result = 0;
  for (int attempt = 0; attempt < kRegisterOpAttempts; ++attempt) {
    if (StopRequested()) {
      result = 0;
      break;
    }
    result = !m_hDevice ? 0
             : fill16   ? DevLib_Eep16Fill(m_hDevice, 0, CodeReadSize, m_accessFlags)
                        : DevLib_Eep8Erase(m_hDevice, kEeprom8EraseBytes, m_accessFlags);
    if (result) break;
    FlowClock().SleepMs(kRegisterOpRetrySleepMs);
  }
  PostProgress(30);
  return result;
}

int CMpFlow2::MP_FillEeprom16() {
  TraceScope scope("CMpFlow2::MP_FillEeprom16", kTraceFlow);
  return EepromRegisterOp(true);
}

int CMpFlow2::MP_EraseEeprom8() {
  TraceScope scope("CMpFlow2::MP_EraseEeprom8", kTraceFlow);
  return EepromRegisterOp(false);
}
