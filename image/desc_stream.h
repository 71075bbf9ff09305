#pragma once
// The record stream of a configuration area: one object reads an area
// (OpenArea, NextRecord, SkipRecord, Walk) or writes a new one (BeginRewrite,
// AppendRecord, FinishRewrite).
//
// Reading checks every length against the area before a byte is read. A
// record the stream must not carry over shortened (a string longer than a
// record object keeps, more than 8192 bytes of small cache code, code outside
// the area, a long-form record of 256 bytes or more, a record shorter than its
// header) makes the area corrupt.
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "image/descriptor.h"

// The four leading records after the header, as the reader found them.
struct LeadingRecords {
  bool hasHwAp = false;
  bool hasEep = false;
  bool hasBankCopy = false;
  bool hasForceUpdate = false;
  std::uint16_t hwVersion = 0;
  std::uint16_t apVersion = 0;
  std::uint8_t eep = 0;
  std::uint8_t bankCopy = 0;
  std::uint8_t forceUpdate = 0;
};

// Chip identifier written in the leading record of a family (0 when unknown).
std::uint16_t HwVersionForFamily(std::uint8_t family);

class CDescStream {
 public:
  static constexpr std::size_t kMaxArea = 0x200000;
  static constexpr std::uint16_t kDefaultApVersion = 0x1060;
  static constexpr std::size_t kRewriteSlack = 128;

  // --- reading ---

  // Copies up to 2 MiB of the area, reads the header and the leading records.
  // The caller checks the header's signature.
  CDescGlobal OpenArea(std::span<const std::uint8_t> bytes);
  // The next record, or null at the end, at a record that does not fit, or at
  // a corrupt one (Rejected() then tells).
  std::unique_ptr<CDescriptor> NextRecord();
  // Steps over the next record without decoding it.
  bool SkipRecord();

  struct RecordSeen {
    const CDescriptor& record;
    std::size_t offset;  // of the record in the area
    std::size_t end;
  };
  // Walks the records after the leading ones, calling `visit` for each
  // decoded record. False when the area is corrupt; `corruptAt` then holds the
  // offset of the record that could be neither read nor skipped.
  bool Walk(const std::function<void(const RecordSeen&)>& visit, std::size_t* corruptAt = nullptr);

  const CDescGlobal& Header() const { return header_; }
  const LeadingRecords& Leading() const { return leading_; }
  int RemainingCount() const { return remaining_; }
  std::size_t Cursor() const { return cursor_; }
  std::size_t AreaLength() const { return area_.size(); }
  bool Rejected() const { return rejected_; }

  // --- writing ---

  // Starts an area with the source header's storage kind, part code and
  // family, and the leading records of the source.
  void BeginRewrite(const CDescGlobal& source, const LeadingRecords& leading);
  // 0 when the record has nothing to write or the area would overflow.
  int AppendRecord(const CDescriptor& record);
  // Bytes FinishRewrite copies out: the records plus code placed after them.
  std::size_t RewriteSize() const { return area_.size() + trailingCode_.size(); }
  // Completes the area and copies it to `out`; 0 (nothing written) when the
  // area plus 128 bytes exceeds out.size().
  int FinishRewrite(std::span<std::uint8_t> out);

 private:
  bool TakeLeading(std::uint8_t type, std::size_t length, std::span<const std::uint8_t>& record);
  int Reject();

  std::vector<std::uint8_t> area_;
  std::size_t cursor_ = 0;
  CDescGlobal header_;
  LeadingRecords leading_;
  int remaining_ = 0;
  bool rejected_ = false;
  std::vector<std::uint8_t> trailingCode_;  // of the code-information record
  std::size_t codeOffsetField_ = 0;
  bool wroteCodeInfo_ = false;
};
