#pragma once
// Records of a configuration area. Every record starts with its total length
// and a type code, in one of three header forms:
//   plain     byte 0 length (1..255), byte 1 type (all 8 bits)
//   long      byte 0 low 8 bits of a 10-bit length, byte 1 bits 6-7 the high
//             length bits and bits 0-5 the type; written for the codec command
//             lists, identical to the plain form below 256 bytes
//   extended  FF E7, then the real length LE16; small-cache-code records only
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Family codes the records depend on.
namespace family {
inline constexpr std::uint8_t k2210 = 17;
inline constexpr std::uint8_t k2230 = 21;
inline constexpr std::uint8_t k2222 = 23;
inline constexpr std::uint8_t k2232 = 24;
inline constexpr std::uint8_t k2240 = 25;
inline constexpr std::uint8_t k2270 = 26;
// Families that carry the bank-copy leading record.
inline bool HasBankCopy(std::uint8_t f) { return f == k2240 || f == k2270; }
// Families with the UAC records, the self loop-back test and small cache code.
inline bool HasUacRecords(std::uint8_t f) { return f == k2230 || f == k2232; }
}  // namespace family

// Type codes the stream itself treats specially.
namespace rectype {
inline constexpr std::uint8_t kStringManu = 1;
inline constexpr std::uint8_t kStringProd = 2;
inline constexpr std::uint8_t kStringSN = 3;
inline constexpr std::uint8_t kVidPid = 4;
inline constexpr std::uint8_t kStringUBistName = 6;
inline constexpr std::uint8_t kStringIAD = 7;
inline constexpr std::uint8_t kEepInfo = 8;
inline constexpr std::uint8_t kCodeInfo = 0x0F;
inline constexpr std::uint8_t kBankCopy = 0x14;
inline constexpr std::uint8_t kForceUpdate = 0x15;
inline constexpr std::uint8_t kCommandListFirst = 27;
inline constexpr std::uint8_t kCommandListLast = 33;
inline constexpr std::uint8_t kSmallCacheCode = 0x27;
inline constexpr std::uint8_t kHwApVersion = 0x2F;
}  // namespace rectype

// The decoded header of the record at some position of an area.
struct RecordHeader {
  enum class Status {
    kOk,
    kTruncated,  // the header or the record runs past the bytes available
    kCorrupt,    // shorter than its own header, or a form the reader rejects
  };
  Status status = Status::kTruncated;
  std::uint8_t type = 0;
  std::uint16_t length = 0;  // total length, header included
  bool extended = false;
};

// Decodes the header of the record at the start of `bytes` (the rest of the
// area) and checks that the whole record lies within it. A long-form codec
// command list of 256 bytes or more (family 17) is corrupt: its length cannot
// be told from the plain form.
RecordHeader DecodeRecordHeader(std::span<const std::uint8_t> bytes, std::uint8_t family);

class CDescriptor {
 public:
  explicit CDescriptor(std::uint8_t type = 0) : m_byType(type) {}
  virtual ~CDescriptor() = default;

  // Decodes one record (header included; `record` is exactly the record's
  // bytes). Returns 0 when the record holds more than the class can keep, which
  // makes the area corrupt rather than silently shortened.
  virtual int Parse(std::span<const std::uint8_t> record);
  // Appends the encoded record to `out`; 0 when it has nothing to write.
  virtual int Serialize(std::vector<std::uint8_t>& out) const;

  std::uint8_t Type() const { return m_byType; }
  std::uint16_t Length() const { return m_wLength; }
  std::uint16_t PayloadLength() const { return m_wPayloadLength; }

 protected:
  // Appends a plain header for a record of `length` bytes.
  void PutPlainHeader(std::vector<std::uint8_t>& out, std::size_t length) const;

  std::uint8_t m_byType;
  std::uint16_t m_wLength = 0;
  std::uint16_t m_wExtLength = 0;
  std::uint16_t m_wPayloadLength = 0;
};

// A record of a type the family has no class for: carried over byte for byte.
class CDescDummy final : public CDescriptor {
 public:
  using CDescriptor::CDescriptor;
  int Parse(std::span<const std::uint8_t> record) override;
  int Serialize(std::vector<std::uint8_t>& out) const override;
  std::span<const std::uint8_t> Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// The 6-byte configuration header at the start of an area.
struct CDescGlobal {
  static constexpr std::uint8_t kSignature = 0xA5;
  static constexpr std::size_t kSize = 6;

  std::uint8_t storageKind = 0;
  std::uint8_t signature = 0;
  std::uint8_t partCode = 0;
  std::uint8_t family = 0;
  std::uint16_t totalLength = 0;
  std::uint8_t recordCount = 0;

  bool Valid() const { return signature == kSignature; }
  // Fewer than 6 bytes decode as a header without signature.
  static CDescGlobal Decode(std::span<const std::uint8_t> bytes);
  void Encode(std::span<std::uint8_t> out) const;
};

// The memory type a storage kind selects, or -1 for a kind that leaves the
// memory type unchanged.
int MemoryTypeForStorageKind(std::uint8_t storageKind);
