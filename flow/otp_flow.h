#pragma once
// OTP programming. Every download appends its blocks (code, configuration)
// behind the last valid one and records each in a free VD entry; bytes whose bits fail to program are
// repaired through ECC entries (address, correct value). Bits can only be
// set: table entries are never erased, only retired, and everything written
// stays. The members keep the bookkeeping of one block write.
#include <array>
#include <cstdint>
#include <vector>

#include "flow/config_info.h"

class TraceScope;

class CMpFlow_OTP : public CEepromConfigInfo {
 public:
  enum class DownloadKind { kCode, kConfig };  // VD flag 0x55 or 0xAA
  enum class DetailResult { kOk, kFailExtern, kFail };

  // Writes one block and its VD entry after the space checks; reports its
  // failure. 1 on success.
  int OTP_UpdateEx_Cmd2(const std::vector<std::uint8_t>& data);
  // Writes a download of two blocks, code and configuration, so that the
  // codec never starts one part without the other: both blocks are written
  // and verified first, then the old code entries are retired, the new
  // configuration entry written, the old configuration entries retired and
  // the new code entry written last. Reports its failure; 1 on success.
  int OTP_UpdatePair(const std::vector<std::uint8_t>& code, const std::vector<std::uint8_t>& config);
  // Reads OTP in 4096-byte chunks (phase 41735).
  int OTP_ReadEx_Cmd2(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  // Reads back, applies the ECC table and compares; 1 when equal.
  int OTP_Veriry_Cmd2(std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer);

  // The space checks for a download of `blocks` blocks of `bytes` in all, and
  // the operator's questions; 1 to go on. A download that does not fit is
  // refused before anything is written.
  int OTP_CheckSpace(int blocks, std::uint32_t bytes);
  int MP_CheckVDInfo(std::uint32_t length);
  int MP_CheckVDNUM(unsigned& freeEntries);
  int MP_OTPWrite(std::uint32_t length, const std::uint8_t* data);
  int MP_OTPWriteWithRetry(std::uint16_t address, std::uint32_t length, unsigned corrections,
                           const std::uint8_t* data);
  int MP_OTPAnalyzeECC(std::uint16_t chunkAddress, std::uint32_t length, const std::uint8_t* data);
  int MP_OTPReduant();
  DetailResult MP_OTPReduantDetail(std::uint16_t address, std::uint8_t value);
  int MP_OTPWriteBlock(std::uint32_t length);
  int MP_OTPReduantVDFlag(int index, const std::uint8_t* entry);
  int MP_OTPWriteEnale();
  int MP_OTPGetTotalErrorNum(std::uint16_t start, std::uint32_t length);
  int MP_OTPConvertBinaryData(std::uint16_t start, std::uint32_t length, std::uint8_t* data);
  int MP_OTPGetCorrectCodeData(std::uint16_t start, std::uint32_t length, std::uint8_t* buffer);
  int MP_OTPBlockValidAndSet(std::uint16_t entryAddress, int index, const std::uint8_t* ecc);
  int MP_OTPBlockValid(std::uint16_t entryAddress);
  int MP_OTPWriteBlockFail(std::uint16_t failAddress, std::uint32_t length);
  void MP_OTPFailAction(std::uint32_t length);
  int MP_OTPClearECC();
  int MP_OTPClearCurECC(std::uint16_t endAddress, std::uint32_t length);
  int MP_OTPClearPreVDBlock();
  int MP_OTPClearPrePreVDBlock();

  struct FailRecord {
    bool used = false;
    std::uint16_t m_wFailAddr = 0xFFFF;
    std::uint8_t m_byFailValue = 0;
  };

  DownloadKind downloadKind = DownloadKind::kCode;
  unsigned m_uCurErrorNum = 0;
  unsigned m_uExecECCNum = 0;
  unsigned m_uTotalErrorNum = 0;
  unsigned m_uVDFlagNum = 0;
  int m_iSelBlock = -1;
  int m_iPreSelBlock = -1;
  unsigned m_uActualECCNum = 8;
  unsigned m_uVirtualECCNum = 0;
  unsigned m_uSubECCNum = 0;
  std::uint16_t m_wCurAddr = 0xFFFF;
  std::uint16_t blockStart = 0, blockLength = 0;  // of the valid block that ends last
  std::uint16_t m_wStartAddr = 0;  // of the new block: behind that block and what an interrupted write left
  std::uint16_t m_wMinStart = 0;   // when set, the new block starts here: behind its download's first
  std::array<FailRecord, 8> failRecords{};
  std::vector<int> olderEntries;  // ECC entry numbers below the new block
  bool started = false;
  int failureStatus = 0;  // the status of the last failure

 protected:
  std::uint16_t NewStart() const { return m_wStartAddr; }
  std::uint8_t VdFlag() const;
  int Fail(const TraceScope& scope, const char* trace, int status);
  int ReadTables(std::uint8_t* vd, std::uint8_t* ecc);
  int ReadEcc(std::uint8_t* ecc);
  // Retires a table entry through one of its bytes: the byte's complement
  // programmed over it.
  void RetireByte(std::uint16_t address);
  // Retires the entries below `limit` that carry `flag`.
  void RetireEntriesBelow(int limit, std::uint8_t flag);
  // Writes and verifies one block of data (no VD entry); after a failure the
  // failed block is recorded and the failure posted.
  int WriteBlockData(const std::vector<std::uint8_t>& data);
  // Writes a VD entry into the first free one (or the next, when its bytes
  // fail); `index` is where it went.
  int WriteVdEntry(std::uint16_t start, std::uint32_t length, std::uint8_t flag, int& index);
  // The ECC entries of `older` that repair a block recorded with `flag`.
  std::vector<int> EccOfBlocks(const std::vector<int>& older, std::uint8_t flag);
  // Retires these ECC entries (numbers 1..16) through their markers, unless locked.
  void RetireEccEntries(const std::vector<int>& numbers);
  // One table write with 8 corrections; `failed` tells whether a byte failed.
  int WriteTable(std::uint16_t address, const std::uint8_t* bytes, std::uint32_t length, bool& failed);
  void MP_OTPInit();
  void RecordFailure(std::uint16_t address, std::uint8_t value);
  bool Recorded(std::uint16_t address) const;
};
