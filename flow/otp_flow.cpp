#include "flow/otp_flow.h"

#include <algorithm>

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "flow/job_flags.h"
#include "flow/job_phase_marks.h"
#include "flow/otp_layout.h"
#include "platform/prompter.h"

namespace {

constexpr std::uint32_t kChunk = 4096;
constexpr unsigned kMaxCorrections = 8;
constexpr std::uint16_t kOtpLockRegister = 0xFD0C;
constexpr std::uint8_t kOtpLockBit = 0x08;
constexpr std::uint32_t kLowSpace = 5120;
constexpr int kLowEntries = 4;
constexpr int kVdRewrites = 5;
constexpr std::uint16_t kNoAddress = 0xFFFF;

bool Ask(const char* question) {
  return platform::CurrentPrompter().Ask(question, "Warning", platform::PromptKind::YesNo,
                                         platform::PromptAnswer::Yes) == platform::PromptAnswer::Yes;
}

}  // namespace

int CMpFlow_OTP::Fail(const TraceScope& scope, const char* trace, int status) {
  if (trace) TraceLine(scope, "%s", trace);
  failureStatus = status;
  return 0;
}

std::uint8_t CMpFlow_OTP::VdFlag() const {
  return downloadKind == DownloadKind::kCode ? otp::kFlagCode : otp::kFlagConfig;
}

int CMpFlow_OTP::ReadEcc(std::uint8_t* ecc) { return OtpReadChunk(otp::kEccTable, otp::kEccTableSize, ecc); }

int CMpFlow_OTP::ReadTables(std::uint8_t* vd, std::uint8_t* ecc) {
  return OtpReadChunk(otp::kVdTable, otp::kVdTableSize, vd) && ReadEcc(ecc);
}

int CMpFlow_OTP::WriteTable(std::uint16_t address, const std::uint8_t* bytes, std::uint32_t length, bool& failed) {
  int count = 0;
  std::vector<std::uint16_t> addresses;
  failed = false;
  if (!OtpWriteChunk(address, length, bytes, kMaxCorrections) || !OtpFailReport(count, addresses)) return 0;
  failed = count != 0;
  return 1;
}

void CMpFlow_OTP::RetireByte(std::uint16_t address) {
  std::uint8_t current = 0;
  if (!OtpReadChunk(address, 1, &current)) return;
  const std::uint8_t complement = std::uint8_t(~current);
  bool failed = false;
  WriteTable(address, &complement, 1, failed);  // what the report says is not used
}

int CMpFlow_OTP::MP_OTPWriteEnale() {
  TraceScope scope("CMpFlow_OTP::MP_OTPWriteEnale", kTraceOtpDetail);
  std::uint8_t lock = 0xFF;  // without a device the OTP counts as locked
  if (!ReadByte(kOtpLockRegister, lock)) lock = 0xFF;
  const bool locked = lock & kOtpLockBit;
  TraceLine(scope, locked ? "Lock\n" : "Not Lock\n");
  return locked ? 0 : 1;
}

int CMpFlow_OTP::OTP_ReadEx_Cmd2(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer) {
  TraceScope scope("CMpFlow_OTP::OTP_ReadEx_Cmd2", kTraceOtpDetail);
  PostPhase(kStsPhaseRead);
  for (std::uint32_t done = 0; done < length; done += kChunk) {
    if (StopRequested()) return 0;
    const std::uint32_t n = std::min(kChunk, length - done);
    if (!OtpReadChunk(address + done, n, buffer + done)) return 0;
    PostProgress(10 + int(80ull * (done + n) / length));
  }
  return 1;
}

int CMpFlow_OTP::OTP_Veriry_Cmd2(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer) {
  TraceScope scope("CMpFlow_OTP::OTP_Veriry_Cmd2", kTraceOtpDetail);
  std::vector<std::uint8_t> back(length);
  BeginJobPhase("verify");
  if (!OTP_ReadEx_Cmd2(address, length, back.data()) ||
      !MP_OTPGetCorrectCodeData(std::uint16_t(address), length, back.data()))
    return 0;
  return std::equal(back.begin(), back.end(), buffer) ? 1 : 0;
}

int CMpFlow_OTP::OTP_CheckSpace(int blocks, std::uint32_t bytes) {
  TraceScope scope("CMpFlow_OTP::OTP_CheckSpace", kTraceOtpDetail);
  otp::Usage usage;
  if (!MP_ReadOtpUsage(usage)) {
    PostFailure(kStsReadOtpFail);
    return 0;
  }
  // Refused before anything is written: the codec goes back to its code.
  auto refuse = [&](int status) {
    PostPhase(kStsPhaseResetToNewCode);
    MP_DoReset(kResetRom, 0);
    PostFailure(status);
    return 0;
  };
  if (usage.freeEntries < blocks) {
    TraceLine(scope, "%d free VD entries for %d blocks\n", usage.freeEntries, blocks);
    platform::CurrentPrompter().Ask("No Available VD Block!", "Error", platform::PromptKind::Error,
                                    platform::PromptAnswer::Ok);
    return refuse(kStsNotEnoughVdBlock);
  }
  if (bytes > usage.free) {
    TraceLine(scope, "Exceed Code Length\n");
    return refuse(kStsCodeExceedMaxLength);
  }
  // A factory script cannot answer: the questions take their Yes there.
  bool goOn = usage.free > kLowSpace || Ask("OTP Code Size Less than 5K,\nContinue to Update!");
  goOn = goOn && (usage.freeEntries > kLowEntries || Ask("OTP VD Block Less than 4,\nContinue to Update!"));
  return goOn ? 1 : refuse(kStsWriteOtpFail);
}

int CMpFlow_OTP::WriteBlockData(const std::vector<std::uint8_t>& data) {
  TraceScope scope("CMpFlow_OTP::WriteBlockData", kTraceOtpDetail);
  const std::uint32_t n = std::uint32_t(data.size());
  readBack.assign(n, 0);
  auto failWrite = [&](int status) {
    if (status) failureStatus = status;
    MP_OTPFailAction(n);
    PostFailure(failureStatus ? failureStatus : kStsWriteOtpFail);
    return 0;
  };
  if (!MP_OTPWrite(n, data.data())) return failWrite(0);
  const std::uint16_t start = NewStart();
  BeginJobPhase("verify");
  if (!OTP_ReadEx_Cmd2(start, n, readBack.data()) || !MP_OTPGetCorrectCodeData(start, n, readBack.data()))
    return failWrite(kStsReadOtpFail);
  if (readBack != data) {
    TraceLine(scope, "Compare OTP Code Fail\n");
    return failWrite(kStsCompareDataFail);
  }
  return 1;
}

int CMpFlow_OTP::OTP_UpdateEx_Cmd2(const std::vector<std::uint8_t>& data) {
  TraceScope scope("CMpFlow_OTP::OTP_UpdateEx_Cmd2", kTraceOtpDetail);
  failureStatus = 0;
  if (StopRequested()) {
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  const std::uint32_t n = std::uint32_t(data.size());
  if (!OTP_CheckSpace(1, n) || !WriteBlockData(data)) return 0;
  if (!MP_OTPWriteBlock(n)) {
    MP_OTPClearCurECC(kNoAddress, n);
    TraceLine(scope, "MP_OTPWriteBlock Fail\n");
    PostFailure(kStsWriteBlockFail);
    return 0;
  }
  if (m_iSelBlock != m_iPreSelBlock) {
    MP_OTPClearECC();
    std::uint8_t previous[otp::kVdEntrySize] = {};
    if (m_iPreSelBlock >= 0 && OtpReadChunk(otp::VdAddress(m_iPreSelBlock), otp::kVdEntrySize, previous)) {
      const std::uint8_t flag = previous[4];
      if (flag == otp::kFlagCode || flag == otp::kFlagConfig)
        MP_OTPClearPreVDBlock();
      else
        MP_OTPClearPrePreVDBlock();
    }
  }
  return 1;
}

int CMpFlow_OTP::OTP_UpdatePair(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& config) {
  TraceScope scope("CMpFlow_OTP::OTP_UpdatePair", kTraceOtpDetail);
  failureStatus = 0;
  if (StopRequested()) {
    PostFailure(kStsResetDeviceFail);
    return 0;
  }
  if (!OTP_CheckSpace(2, std::uint32_t(code.size() + config.size()))) return 0;
  downloadKind = DownloadKind::kCode;
  if (!WriteBlockData(code)) return 0;
  const std::uint16_t codeStart = NewStart();
  const std::vector<int> codeEcc = EccOfBlocks(olderEntries, otp::kFlagCode);
  downloadKind = DownloadKind::kConfig;
  m_wMinStart = std::uint16_t(codeStart + code.size());
  const int written = WriteBlockData(config);
  m_wMinStart = 0;
  if (!written) return 0;
  const std::uint16_t configStart = NewStart();
  const std::vector<int> configEcc = EccOfBlocks(olderEntries, otp::kFlagConfig);

  // Until here the codec starts its old code with its old configuration. Once
  // the old code entries are retired it waits in its boot ROM, and the new
  // code entry, written last, starts the new code with the new configuration.
  auto failCommit = [&]() {
    TraceLine(scope, "MP_OTPWriteBlock Fail\n");
    PostFailure(kStsWriteBlockFail);
    return 0;
  };
  RetireEntriesBelow(otp::kVdEntries, otp::kFlagCode);
  int configIndex = -1, codeIndex = -1;
  if (!WriteVdEntry(configStart, std::uint32_t(config.size()), otp::kFlagConfig, configIndex)) return failCommit();
  RetireEntriesBelow(configIndex, otp::kFlagConfig);
  if (!WriteVdEntry(codeStart, std::uint32_t(code.size()), otp::kFlagCode, codeIndex)) return failCommit();
  m_iSelBlock = codeIndex;
  // The superseded blocks' repairs are retired with them.
  RetireEccEntries(codeEcc);
  RetireEccEntries(configEcc);
  return 1;
}

int CMpFlow_OTP::WriteVdEntry(std::uint16_t start, std::uint32_t length, std::uint8_t flag, int& index) {
  TraceScope scope("CMpFlow_OTP::WriteVdEntry", kTraceOtpDetail);
  BeginJobPhase("tag");  // the entry is what makes the block start
  std::uint8_t vd[otp::kVdTableSize];
  if (!OtpReadChunk(otp::kVdTable, otp::kVdTableSize, vd)) return Fail(scope, "Read VD Table Fail\n", kStsReadOtpFail);
  index = -1;
  for (int i = 0; i < otp::kVdEntries && index < 0; ++i)
    if (otp::VdAt(vd, i).free) index = i;
  if (index < 0) return Fail(scope, "Not Find Sel Block\n", kStsNotFindVdBlock);
  const std::uint8_t entry[otp::kVdEntrySize] = {std::uint8_t(start >> 8), std::uint8_t(start),
                                                 std::uint8_t(length >> 8), std::uint8_t(length), flag};
  if (!MP_OTPWriteEnale()) return Fail(scope, "OTP Locked\n", kStsOtpLocked);
  bool failed = false;
  if (!WriteTable(otp::VdAddress(index), entry, otp::kVdEntrySize, failed))
    return Fail(scope, "Write VD Fail\n", kStsWriteBlockFail);
  if (!failed) return 1;
  m_iSelBlock = index;
  if (!MP_OTPReduantVDFlag(index, entry)) return 0;
  index = m_iSelBlock;
  return 1;
}

int CMpFlow_OTP::MP_CheckVDNUM(unsigned& freeEntries) {
  std::uint8_t vd[otp::kVdTableSize];
  if (!OtpReadChunk(otp::kVdTable, otp::kVdTableSize, vd)) return 0;
  freeEntries = 0;
  for (int i = 0; i < otp::kVdEntries; ++i) freeEntries += otp::VdAt(vd, i).free ? 1 : 0;
  return 1;
}

int CMpFlow_OTP::MP_CheckVDInfo(std::uint32_t length) {
  TraceScope scope("CMpFlow_OTP::MP_CheckVDInfo", kTraceOtpDetail);
  std::uint8_t vd[otp::kVdTableSize], ecc[otp::kEccTableSize];
  if (!ReadTables(vd, ecc)) return Fail(scope, "Read VD Table Fail\n", kStsReadOtpFail);
  m_iPreSelBlock = otp::ComputeUsage(vd, ecc).newest;
  m_iSelBlock = -1;
  blockStart = blockLength = 0;
  bool below = false;
  for (int i = 0; i < otp::kVdEntries; ++i) {
    const otp::VdEntry e = otp::VdAt(vd, i);
    if (e.free) {
      m_iSelBlock = i;
      break;
    }
    // The new block goes behind every valid block: the two blocks of a
    // download are recorded configuration first.
    if (e.flag != 0 && MP_OTPBlockValidAndSet(otp::VdAddress(i), i, ecc) &&
        (!below || e.End() > std::uint32_t(blockStart) + blockLength)) {
      blockStart = e.start;
      blockLength = e.length;
      below = true;
    }
  }
  if (!below) TraceLine(scope, m_iSelBlock == 0 ? "VD Flag Initial\n" : "VD Flag Second\n");
  if (m_iSelBlock < 0) return Fail(scope, "Not Find Sel Block\n", kStsNotFindVdBlock);
  // A write cut off before its VD entry leaves its bytes behind the last
  // block: they count as used, and the new block starts behind them. The
  // second block of a download goes right behind the first.
  const std::uint32_t floor = std::uint32_t(blockStart) + blockLength;
  std::uint32_t start = m_wMinStart;
  if (!m_wMinStart) {
    if (floor < otp::kCodeEnd && !MP_OTPProgrammedEnd(floor, ecc, start))
      return Fail(scope, "Read OTP Fail\n", kStsReadOtpFail);
    if (start != floor) TraceLine(scope, "OTP wAddr 0x%x abnormal: written up to 0x%x\n", unsigned(floor), unsigned(start));
  }
  if (start + length > otp::kCodeEnd) {
    m_iSelBlock = m_iPreSelBlock;
    return Fail(scope, "Exceed Code Length\n", kStsCodeExceedMaxLength);
  }
  m_wStartAddr = std::uint16_t(start);
  return 1;
}

void CMpFlow_OTP::MP_OTPInit() {
  failRecords.fill({});
  olderEntries.clear();
}

bool CMpFlow_OTP::Recorded(std::uint16_t address) const {
  return std::any_of(failRecords.begin(), failRecords.end(),
                     [&](const FailRecord& r) { return r.used && r.m_wFailAddr == address; });
}

void CMpFlow_OTP::RecordFailure(std::uint16_t address, std::uint8_t value) {
  for (FailRecord& r : failRecords) {
    if (r.used) continue;
    r = {true, address, value};
    return;
  }
}

int CMpFlow_OTP::MP_OTPWrite(std::uint32_t length, const std::uint8_t* data) {
  TraceScope scope("CMpFlow_OTP::MP_OTPWrite", kTraceOtpDetail);
  m_uTotalErrorNum = 0;
  m_wCurAddr = kNoAddress;
  started = false;
  if (length == 0) return Fail(scope, "Empty block\n", kStsWriteOtpFail);
  if (!MP_CheckVDNUM(m_uVDFlagNum)) return Fail(scope, "Read VD Table Fail\n", kStsReadOtpFail);
  if (m_uVDFlagNum == 0) return Fail(scope, "0 == m_uVDFlagNum\n", kStsNotEnoughVdBlock);
  if (!MP_CheckVDInfo(length)) return 0;
  const std::uint16_t start = NewStart();
  started = true;
  TraceLine(scope, "wStartAddr is 0x%x\n", unsigned(start));
  TraceLine(scope, "wTotalLen  is 0x%x\n", 0u);
  TraceLine(scope, "wLen  is 0x%x\n", unsigned(length));
  MP_OTPInit();
  if (!MP_OTPGetTotalErrorNum(start, length)) return Fail(scope, "Read ECC Table Fail\n", kStsReadOtpFail);
  m_uExecECCNum = std::min(kMaxCorrections - std::min(kMaxCorrections, m_uSubECCNum), m_uVirtualECCNum);
  if (m_uExecECCNum == 0) TraceLine(scope, "0 == m_uExecECCNum\n");
  std::vector<std::uint8_t> work(data, data + length);
  if (!MP_OTPConvertBinaryData(start, length, work.data())) return Fail(scope, "Read ECC Table Fail\n", kStsReadOtpFail);
  PostPhase(kStsPhaseDownload);
  for (std::uint32_t done = 0; done < length; done += kChunk) {
    if (StopRequested()) return Fail(scope, "Stopped\n", kStsResetDeviceFail);
    const std::uint32_t n = std::min(kChunk, length - done);
    if (!MP_OTPWriteWithRetry(std::uint16_t(start + done), n, m_uExecECCNum, work.data() + done)) {
      TraceLine(scope, "MP_OTPWriteWithRetry Fail 0x%x\n", unsigned(start + done));
      return 0;
    }
    if (downloadKind == DownloadKind::kCode) PostProgress(10 + int(80ull * (done + n) / length));
  }
  if (!MP_OTPReduant()) {
    TraceLine(scope, "MP_OTPReduant Fail\n");
    return 0;
  }
  return 1;
}

int CMpFlow_OTP::MP_OTPGetTotalErrorNum(std::uint16_t start, std::uint32_t length) {
  TraceScope scope("CMpFlow_OTP::MP_OTPGetTotalErrorNum", kTraceOtpDetail);
  std::uint8_t ecc[otp::kEccTableSize];
  if (!ReadEcc(ecc)) return 0;
  m_uActualECCNum = kMaxCorrections;
  m_uVirtualECCNum = 0;
  m_uSubECCNum = 0;
  for (int k = 1; k <= otp::kEccEntries; ++k) {
    const otp::EccEntry e = otp::EccAt(ecc, k);
    if (e.Active() && (e.value != 0 || e.address < start)) {
      if (e.address < start && m_uActualECCNum != 0) {
        olderEntries.push_back(k);
        --m_uActualECCNum;
      }
    } else if (e.Active()) {  // a pending entry (value 0) at or behind the start
      if (e.address < start + length)
        ++m_uVirtualECCNum;
      else if (e.address < otp::kCodeEnd)
        ++m_uSubECCNum;
    } else if (e.free) {
      ++m_uVirtualECCNum;
    }
  }
  TraceLine(scope, "m_uActualECCNum is %u m_uVirtualECCNum is %u m_uSubECCNum %u\n", m_uActualECCNum,
            m_uVirtualECCNum, m_uSubECCNum);
  return 1;
}

int CMpFlow_OTP::MP_OTPConvertBinaryData(std::uint16_t start, std::uint32_t length, std::uint8_t* data) {
  TraceScope scope("CMpFlow_OTP::MP_OTPConvertBinaryData", kTraceOtpDetail);
  std::uint8_t ecc[otp::kEccTableSize];
  if (!ReadEcc(ecc)) return 0;
  for (int k = 1; k <= otp::kEccEntries; ++k) {
    const otp::EccEntry e = otp::EccAt(ecc, k);
    if (!e.Active() || e.value != 0 || e.address < start || e.address >= start + length) continue;
    std::uint8_t programmed = 0;
    if (!OtpReadChunk(e.address, 1, &programmed)) return 0;
    TraceLine(scope, "ErrAddr 0x%04x\n", unsigned(e.address));
    std::uint8_t& d = data[e.address - start];
    const std::uint8_t original = d;
    // Bits already set in the OTP are left out of the write (MP_ChangeBinaryData).
    for (int bit = 0; bit < 8; ++bit) {
      if (programmed & (1u << bit)) {
        TraceLine(scope, "byTestBit TRUE\n");
        d = std::uint8_t(d & ~(1u << bit));
      }
    }
    TraceLine(scope, "Change Data\n");
    // MP_OTPReduceErrNum: the pending entry receives the value later.
    if (m_uExecECCNum) --m_uExecECCNum;
    ++m_uTotalErrorNum;
    RecordFailure(e.address, original);
  }
  return 1;
}

int CMpFlow_OTP::MP_OTPGetCorrectCodeData(std::uint16_t start, std::uint32_t length, std::uint8_t* buffer) {
  std::uint8_t ecc[otp::kEccTableSize];
  if (!ReadEcc(ecc)) return 0;
  for (int k = 1; k <= otp::kEccEntries; ++k) {
    const otp::EccEntry e = otp::EccAt(ecc, k);
    if (e.Active() && e.address >= start && e.address < start + length) buffer[e.address - start] = e.value;
  }
  return 1;
}

int CMpFlow_OTP::MP_OTPWriteWithRetry(std::uint16_t address, std::uint32_t length, unsigned corrections,
                                      const std::uint8_t* data) {
  TraceScope scope("CMpFlow_OTP::MP_OTPWriteWithRetry", kTraceOtpDetail);
  if (!MP_OTPWriteEnale()) return Fail(scope, "OTP Locked\n", kStsOtpLocked);
  if (!OtpWriteChunk(address, length, data, std::uint16_t(corrections)))
    return Fail(scope, "OTPWrite Fail\n", kStsWriteOtpFail);
  return MP_OTPAnalyzeECC(address, length, data);
}

int CMpFlow_OTP::MP_OTPAnalyzeECC(std::uint16_t chunkAddress, std::uint32_t length, const std::uint8_t* data) {
  TraceScope scope("CMpFlow_OTP::MP_OTPAnalyzeECC", kTraceOtpDetail);
  int count = 0;
  std::vector<std::uint16_t> reported;
  if (!OtpFailReport(count, reported)) return Fail(scope, "Read Fail Report Fail\n", kStsReadOtpFail);
  m_uCurErrorNum = unsigned(count);
  std::vector<std::uint16_t> fresh;
  for (std::uint16_t address : reported) {
    if (Recorded(address)) {
      TraceLine(scope, "Reduant Addr Again\n");
      if (m_uCurErrorNum) --m_uCurErrorNum;
    } else {
      fresh.push_back(address);
    }
  }
  if (m_uCurErrorNum == 0) {
    TraceLine(scope, "No Error Num\n");
    return 1;
  }
  if (m_uCurErrorNum > m_uExecECCNum) {
    if (!reported.empty()) m_wCurAddr = reported.front();
    return Fail(scope, "m_uCurErrorNum > m_uExecECCNum\n", kStsErrorNumExceed8);
  }
  m_uExecECCNum -= m_uCurErrorNum;
  m_uTotalErrorNum += m_uCurErrorNum;
  for (std::uint16_t address : fresh) {
    // Only addresses of this chunk have a data byte to record.
    if (address < chunkAddress || address >= chunkAddress + length) return Fail(scope, "Invalid Addr\n", kStsFailAddress);
    const std::uint8_t value = data[address - chunkAddress];
    TraceLine(scope, "Record ECC m_wFailAddr 0x%04x m_byFailValue 0x%02x\n", unsigned(address), unsigned(value));
    RecordFailure(address, value);
  }
  return 1;
}

int CMpFlow_OTP::MP_OTPReduant() {
  TraceScope scope("CMpFlow_OTP::MP_OTPReduant", kTraceOtpDetail);
  m_uCurErrorNum = m_uTotalErrorNum;  // outstanding
  for (std::size_t i = 0; i < failRecords.size();) {
    if (m_uCurErrorNum == 0) {
      TraceLine(scope, "m_uCurErrorNum become zero\n");
      return 1;
    }
    if (m_uVirtualECCNum < m_uCurErrorNum || m_uVirtualECCNum == 0)
      return Fail(scope, "m_uVirtualECCNum lower m_uCurErrorNum\n", kStsEccNumLowerThanErrorNum);
    const FailRecord& r = failRecords[i];
    if (!r.used) {
      ++i;
      continue;
    }
    switch (MP_OTPReduantDetail(r.m_wFailAddr, r.m_byFailValue)) {
      case DetailResult::kOk:
        --m_uVirtualECCNum;
        --m_uCurErrorNum;
        ++i;
        break;
      case DetailResult::kFailExtern:  // that entry is spent; the next free one takes the record
        --m_uVirtualECCNum;
        break;
      case DetailResult::kFail:
        if (failureStatus == kStsOtpLocked || failureStatus == kStsReadOtpFail) return 0;
        return Fail(scope, "Reduant Fail\n", kStsRedundantFail);
    }
  }
  TraceLine(scope, "FailFlag Exceed 7 Condition2\n");
  return 1;
}

CMpFlow_OTP::DetailResult CMpFlow_OTP::MP_OTPReduantDetail(std::uint16_t address, std::uint8_t value) {
  TraceScope scope("CMpFlow_OTP::MP_OTPReduantDetail", kTraceOtpDetail);
  std::uint8_t ecc[otp::kEccTableSize];
  if (!ReadEcc(ecc)) {
    Fail(scope, nullptr, kStsReadOtpFail);
    return DetailResult::kFail;
  }
  if (!MP_OTPWriteEnale()) {
    Fail(scope, nullptr, kStsOtpLocked);
    return DetailResult::kFail;
  }
  int number = 0;
  bool rewrite = false;
  for (int k = 1; k <= otp::kEccEntries && !number; ++k) {
    const otp::EccEntry e = otp::EccAt(ecc, k);
    if (e.Active() && e.address == address) number = k, rewrite = true;
  }
  for (int k = 1; k <= otp::kEccEntries && !number; ++k)
    if (otp::EccAt(ecc, k).free) number = k;
  if (!number) return DetailResult::kFail;
  const std::uint16_t entry = otp::EccAddress(number);
  bool failed = false;
  int written;
  if (rewrite) {
    TraceLine(scope, "Write ECC Condition 1 %d byValue %d\n", number, value);
    written = WriteTable(std::uint16_t(entry + 2), &value, 1, failed);
  } else {
    TraceLine(scope, "Write ECC Condition 2 %d byValue %d\n", number, value);
    const std::uint8_t bytes[otp::kEccEntrySize] = {std::uint8_t(address >> 8), std::uint8_t(address), value,
                                                     otp::kEccMarker};
    written = WriteTable(entry, bytes, otp::kEccEntrySize, failed);
  }
  if (!written) return DetailResult::kFail;
  if (!failed) return DetailResult::kOk;
  // A bad entry is killed: every bit set, so it neither substitutes nor counts as free.
  TraceLine(scope, "Fail HW Error\n");
  std::uint8_t bytes[otp::kEccEntrySize] = {};
  if (OtpReadChunk(entry, otp::kEccEntrySize, bytes)) {
    for (std::uint8_t& b : bytes) b = std::uint8_t(~b);
    WriteTable(entry, bytes, otp::kEccEntrySize, failed);
  }
  return DetailResult::kFailExtern;
}

int CMpFlow_OTP::MP_OTPWriteBlock(std::uint32_t length) {
  TraceScope scope("CMpFlow_OTP::MP_OTPWriteBlock", kTraceOtpDetail);
  int index = -1;
  if (!WriteVdEntry(NewStart(), length, VdFlag(), index)) return 0;
  m_iSelBlock = index;
  return 1;
}

int CMpFlow_OTP::MP_OTPReduantVDFlag(int index, const std::uint8_t* entry) {
  TraceScope scope("CMpFlow_OTP::MP_OTPReduantVDFlag", kTraceOtpDetail);
  for (int i = index; i < otp::kVdEntries; ++i) {
    std::uint8_t current[otp::kVdEntrySize] = {};
    if (i != index) {
      // The entry moves on only into a free one.
      if (!OtpReadChunk(otp::VdAddress(i), otp::kVdEntrySize, current) || !otp::DecodeVd(current).free) break;
      TraceLine(scope, "MP_OTPReduantVDFlag %d Reduant\n", i);
    }
    for (int attempt = 0; attempt < kVdRewrites; ++attempt) {
      bool failed = false;
      if (!OtpReadChunk(otp::VdAddress(i), otp::kVdEntrySize, current)) break;
      if (std::equal(current, current + otp::kVdEntrySize, entry)) {
        m_iSelBlock = i;
        return 1;
      }
      if (!WriteTable(otp::VdAddress(i), entry, otp::kVdEntrySize, failed)) break;
      if (!failed) {
        m_iSelBlock = i;
        return 1;
      }
    }
  }
  return Fail(scope, "MP_OTPReduantVDFlag Exceed 15\n", kStsWriteBlockFail);
}

int CMpFlow_OTP::MP_OTPWriteBlockFail(std::uint16_t failAddress, std::uint32_t length) {
  TraceScope scope("CMpFlow_OTP::MP_OTPWriteBlockFail", kTraceOtpDetail);
  // The failed block is recorded over its whole length, wherever it failed:
  // the chip may have programmed bytes behind the failed address, and the next
  // block must start behind all of them.
  TraceLine(scope, "Fail address 0x%x\n", unsigned(failAddress));
  int index = -1;
  return WriteVdEntry(NewStart(), length, otp::kFlagFailed, index);
}

void CMpFlow_OTP::MP_OTPFailAction(std::uint32_t length) {
  TraceScope scope("CMpFlow_OTP::MP_OTPFailAction", kTraceOtpDetail);
  TraceLine(scope, "MP_OTPWrite Fail\n");
  if (!started) return;
  const int status = failureStatus;  // the write's own failure is the one reported
  if (!MP_OTPWriteBlockFail(m_wCurAddr, length)) TraceLine(scope, "MP_OTPWriteBlock Fail\n");
  MP_OTPClearCurECC(kNoAddress, length);
  failureStatus = status;
}

int CMpFlow_OTP::MP_OTPClearCurECC(std::uint16_t endAddress, std::uint32_t length) {
  TraceScope scope("CMpFlow_OTP::MP_OTPClearCurECC", kTraceOtpDetail);
  const std::uint32_t start = NewStart();
  const std::uint32_t end = endAddress == kNoAddress ? start + length : endAddress;
  std::uint8_t ecc[otp::kEccTableSize];
  if (!ReadEcc(ecc)) return 1;
  std::vector<int> collected;
  for (int k = 1; k <= otp::kEccEntries && collected.size() < kMaxCorrections; ++k) {
    const otp::EccEntry e = otp::EccAt(ecc, k);
    if (e.Active() && e.address >= start && e.address < end) collected.push_back(k);
  }
  for (int k : collected)
    if (MP_OTPWriteEnale()) RetireByte(std::uint16_t(otp::EccAddress(k) + 3));
  return 1;
}

std::vector<int> CMpFlow_OTP::EccOfBlocks(const std::vector<int>& older, std::uint8_t flag) {
  TraceScope scope("CMpFlow_OTP::EccOfBlocks", kTraceOtpDetail);
  std::vector<int> found;
  std::uint8_t vd[otp::kVdTableSize];
  if (!OtpReadChunk(otp::kVdTable, otp::kVdTableSize, vd)) return found;
  const char* what = flag == otp::kFlagCode ? "Code" : "Config";
  for (int k : older) {
    std::uint8_t bytes[otp::kEccEntrySize] = {};
    if (!OtpReadChunk(otp::EccAddress(k), otp::kEccEntrySize, bytes)) continue;
    const std::uint16_t address = otp::DecodeEcc(bytes).address;
    for (int i = 0; i < otp::kVdEntries; ++i) {
      const otp::VdEntry e = otp::VdAt(vd, i);
      if (e.flag != flag) continue;
      if (address == e.start || (address > e.start && address < e.End())) {
        TraceLine(scope, "ECC Exist VD %s %d\n", what, address == e.start ? 1 : 2);
        found.push_back(k);
        break;
      }
    }
  }
  return found;
}

void CMpFlow_OTP::RetireEccEntries(const std::vector<int>& numbers) {
  for (int k : numbers)
    if (MP_OTPWriteEnale()) RetireByte(std::uint16_t(otp::EccAddress(k) + 3));
}

int CMpFlow_OTP::MP_OTPClearECC() {
  TraceScope scope("CMpFlow_OTP::MP_OTPClearECC", kTraceOtpDetail);
  RetireEccEntries(EccOfBlocks(olderEntries, VdFlag()));
  return 1;
}

int CMpFlow_OTP::MP_OTPClearPreVDBlock() {
  TraceScope scope("CMpFlow_OTP::MP_OTPClearPreVDBlock", kTraceOtpDetail);
  RetireEntriesBelow(m_iSelBlock, VdFlag());
  return 1;
}

int CMpFlow_OTP::MP_OTPClearPrePreVDBlock() {
  TraceScope scope("CMpFlow_OTP::MP_OTPClearPrePreVDBlock", kTraceOtpDetail);
  RetireEntriesBelow(m_iPreSelBlock, VdFlag());
  return 1;
}

void CMpFlow_OTP::RetireEntriesBelow(int limit, std::uint8_t flag) {
  for (int i = 0; i < limit; ++i) {
    std::uint8_t entry[otp::kVdEntrySize];
    if (OtpReadChunk(otp::VdAddress(i), otp::kVdEntrySize, entry) && entry[4] == flag)
      RetireByte(std::uint16_t(otp::VdAddress(i) + 4));
  }
}

int CMpFlow_OTP::MP_OTPBlockValidAndSet(std::uint16_t entryAddress, int index, const std::uint8_t* ecc) {
  TraceScope scope("CMpFlow_OTP::MP_OTPBlockValidAndSet", kTraceOtpDetail);
  const int number = otp::EccRepairingEntry(ecc, entryAddress);
  if (!number) return 1;
  TraceLine(scope, "VD %d repaired by ECC %d: retired\n", index, number);
  RetireByte(std::uint16_t(entryAddress + 4));
  RetireByte(std::uint16_t(otp::EccAddress(number) + 3));
  return 0;
}

int CMpFlow_OTP::MP_OTPBlockValid(std::uint16_t entryAddress) {
  TraceScope scope("CMpFlow_OTP::MP_OTPBlockValid", kTraceOtpDetail);
  std::uint8_t entry[otp::kVdEntrySize], ecc[otp::kEccTableSize];
  if (!OtpReadChunk(entryAddress, otp::kVdEntrySize, entry) || !ReadEcc(ecc)) return 0;
  TraceLine(scope, "0x%x 0x%x 0x%x 0x%x 0x%x\n", entry[0], entry[1], entry[2], entry[3], entry[4]);
  const int number = otp::EccRepairingEntry(ecc, entryAddress);
  if (number) TraceLine(scope, "ECC Data 0x%x  %d %d\n", unsigned(otp::EccAt(ecc, number).address), number, 1);
  return number ? 0 : 1;
}
