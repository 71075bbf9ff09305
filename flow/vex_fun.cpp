#include "flow/vex_fun.h"

#include <algorithm>

#include "device/dev_lib.h"
#include "flow/flow_host.h"

namespace {
constexpr int kChunkAttempts = 8;
constexpr int kRegisterAttempts = 3;
}  // namespace

bool CVexFun::StopRequested() const {
  FlowHost* host = CurrentFlowHost();
  return host && host->StopRequested();
}

platform::Clock& CVexFun::FlowClock() const { return DevLib_Clock(); }

// A register access that stalled once is tried again: one bad answer on the
// bus is not a codec that cannot be read.
int CVexFun::ReadByte(std::uint16_t address, std::uint8_t& value) {
  for (int attempt = 0; attempt < kRegisterAttempts; ++attempt) {
    if (!m_hDevice || (attempt > 0 && StopRequested())) return 0;
    if (DevLib_ReadMem(m_hDevice, address, 1, &value, m_accessFlags)) return 1;
  }
  return 0;
}

int CVexFun::WriteByte(std::uint16_t address, std::uint8_t value) {
  for (int attempt = 0; attempt < kRegisterAttempts; ++attempt) {
    if (!m_hDevice || (attempt > 0 && StopRequested())) return 0;
    if (DevLib_WriteMem(m_hDevice, address, 1, &value, m_accessFlags)) return 1;
  }
  return 0;
}

int CVexFun::FlashWriteChunk(std::uint32_t address, std::uint32_t length, const std::uint8_t* data) {
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    if (StopRequested() || !m_hDevice) return 0;
    if (DevLib_SpiWrite(m_hDevice, address, length, data, m_accessFlags)) return 1;
  }
  return 0;
}

int CVexFun::FlashReadChunk(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    if (StopRequested() || !m_hDevice) return 0;
    if (DevLib_SpiRead(m_hDevice, address, length, buffer, m_accessFlags)) return 1;
  }
  return 0;
}

int CVexFun::OtpReadChunk(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    if (StopRequested() || !m_hDevice) return 0;
    if (DevLib_OtpRead(m_hDevice, address, length, buffer, m_accessFlags)) return 1;
  }
  return 0;
}

int CVexFun::OtpWriteChunk(std::uint32_t address, std::uint32_t length, const std::uint8_t* data,
                           std::uint16_t corrections) {
  for (int attempt = 0; attempt < kChunkAttempts; ++attempt) {
    if (StopRequested() || !m_hDevice) return 0;
    if (DevLib_OtpWrite(m_hDevice, address, corrections, length, data, m_accessFlags)) return 1;
  }
  return 0;
}

int CVexFun::OtpFailReport(int& count, std::vector<std::uint16_t>& failed) {
  constexpr std::uint32_t kReportSize = 19;
  std::uint8_t report[kReportSize] = {};
  failed.clear();
  count = 0;
  if (!m_hDevice || !DevLib_OtpFailAddr(m_hDevice, kReportSize, report, m_accessFlags)) return 0;
  count = report[0];
  const int listed = std::min<int>(count, (kReportSize - 1) / 2);
  for (int i = 0; i < listed; ++i) failed.push_back(std::uint16_t(report[1 + 2 * i] << 8 | report[2 + 2 * i]));
  return 1;
}
