#pragma once
// Records whose length follows their content: strings, code records and the
// codec command lists.
#include <string>
#include <string_view>

#include "image/descriptor.h"

// String record: payload byte 0 the inner descriptor length L = n + 2, byte 1
// the inner descriptor type, then n string bytes; record length L + 2. A
// record read from an area is written back byte for byte (bytes past its
// string included) until its text is set.
class CDescString : public CDescriptor {
 public:
  static constexpr std::size_t kMaxKept = 53;   // bytes a record object holds
  static constexpr std::size_t kMaxWrite = 48;  // bytes the tool writes
  static constexpr std::uint8_t kStringDescriptorType = 3;

  using CDescriptor::CDescriptor;
  // 0 when the inner length runs past the record or the string is longer than
  // the object keeps.
  int Parse(std::span<const std::uint8_t> record) override;
  int Serialize(std::vector<std::uint8_t>& out) const override;

  const std::string& Text() const { return text_; }
  // False (and nothing changed) for a text longer than the tool writes.
  bool SetText(std::string_view text);

 private:
  std::string text_;
  std::uint8_t innerType_ = kStringDescriptorType;
  // The record as read, written back unchanged until SetText replaces it.
  std::vector<std::uint8_t> read_;
};

class CDescStringManu final : public CDescString { public: CDescStringManu() : CDescString(rectype::kStringManu) {} };
class CDescStringProd final : public CDescString { public: CDescStringProd() : CDescString(rectype::kStringProd) {} };
class CDescStringSN final : public CDescString { public: CDescStringSN() : CDescString(rectype::kStringSN) {} };
class CDescStringUBistName final : public CDescString { public: CDescStringUBistName() : CDescString(rectype::kStringUBistName) {} };
class CDescStringIAD final : public CDescString { public: CDescStringIAD() : CDescString(rectype::kStringIAD) {} };

// A record that points at code bytes: the stream fills the code when it reads
// the record and places it when it writes the area.
class CDescCodeRecord : public CDescriptor {
 public:
  using CDescriptor::CDescriptor;
  std::uint16_t CodeOffset() const { return codeOffset_; }
  std::uint16_t CodeLength() const { return codeLength_; }
  virtual std::size_t MaxCode() const = 0;
  std::span<const std::uint8_t> Code() const { return code_; }
  // False for more code than the record holds.
  bool SetCode(std::span<const std::uint8_t> code);

 protected:
  std::uint16_t codeOffset_ = 0;
  std::uint16_t codeLength_ = 0;
  std::vector<std::uint8_t> code_;
};

// Code offset (from the start of the area) and length; the code lies outside
// the record, after the last record of the area.
class CDescCodeInfo final : public CDescCodeRecord {
 public:
  static constexpr std::size_t kOffsetField = 2;  // position of the offset in the record
  CDescCodeInfo() : CDescCodeRecord(rectype::kCodeInfo) {}
  std::size_t MaxCode() const override { return 0xFFFF; }
  int Parse(std::span<const std::uint8_t> record) override;
  // 0 without code. The offset field is written as 0; the stream patches it.
  int Serialize(std::vector<std::uint8_t>& out) const override;
};

// Extended-form record with its code inline: FF E7, length LE16, code offset
// LE16, code length LE16, code.
class CDescSmallCachecode final : public CDescCodeRecord {
 public:
  static constexpr std::size_t kHeaderBytes = 8;
  static constexpr std::size_t kOffsetField = 4;
  static constexpr std::size_t kMaxCode = 8192;
  CDescSmallCachecode() : CDescCodeRecord(rectype::kSmallCacheCode) {}
  std::size_t MaxCode() const override { return kMaxCode; }
  // 0 for a record too short for its fields or with more than 8192 code bytes.
  int Parse(std::span<const std::uint8_t> record) override;
  // 0 without code. The offset field is written as 0; the stream patches it.
  int Serialize(std::vector<std::uint8_t>& out) const override;
};

// Codec command lists (family 17): n command bytes and a BE16 trailer.
class CDescCodecCommandList : public CDescriptor {
 public:
  static constexpr std::uint16_t kDefaultTrailer = 100;
  using CDescriptor::CDescriptor;
  int Parse(std::span<const std::uint8_t> record) override;
  // 0 for a list of 256 bytes or more, which the reader could not read back.
  int Serialize(std::vector<std::uint8_t>& out) const override;
  std::span<const std::uint8_t> Commands() const { return commands_; }
  std::uint16_t Trailer() const { return trailer_; }

 private:
  std::vector<std::uint8_t> commands_;
  std::uint16_t trailer_ = kDefaultTrailer;
};

class CDescI2SCodecCommonSetting final : public CDescCodecCommandList { public: CDescI2SCodecCommonSetting() : CDescCodecCommandList(27) {} };
class CDescI2SCodecStartInSetting final : public CDescCodecCommandList { public: CDescI2SCodecStartInSetting() : CDescCodecCommandList(28) {} };
class CDescI2SCodecCloseInSetting final : public CDescCodecCommandList { public: CDescI2SCodecCloseInSetting() : CDescCodecCommandList(29) {} };
class CDescI2SCodecStartOutSetting final : public CDescCodecCommandList { public: CDescI2SCodecStartOutSetting() : CDescCodecCommandList(30) {} };
class CDescI2SCodecCloseOutSetting final : public CDescCodecCommandList { public: CDescI2SCodecCloseOutSetting() : CDescCodecCommandList(31) {} };
class CDescI2SCodecCloseAllSetting final : public CDescCodecCommandList { public: CDescI2SCodecCloseAllSetting() : CDescCodecCommandList(32) {} };
class CDescI2SCodecSuspendSetting final : public CDescCodecCommandList { public: CDescI2SCodecSuspendSetting() : CDescCodecCommandList(33) {} };
