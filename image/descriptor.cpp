#include "image/descriptor.h"

#include "image/byte_order.h"

RecordHeader DecodeRecordHeader(std::span<const std::uint8_t> bytes, std::uint8_t family) {
  RecordHeader h;
  if (bytes.size() < 2) return h;
  const unsigned length10 = bytes[0] | ((bytes[1] >> 6) << 8);
  const std::uint8_t type6 = bytes[1] & 0x3F;
  std::size_t headerSize = 2;
  if (length10 == 1023 && type6 == rectype::kSmallCacheCode) {
    if (bytes.size() < 4) return h;
    h.extended = true;
    h.type = type6;
    h.length = bytes::Le16(bytes, 2);
    headerSize = 4;
  } else {
    h.type = bytes[1];
    h.length = bytes[0];
    if (family == family::k2210 && (bytes[1] & 0xC0) != 0 && type6 >= rectype::kCommandListFirst &&
        type6 <= rectype::kCommandListLast) {
      h.status = RecordHeader::Status::kCorrupt;
      return h;
    }
  }
  if (h.length < headerSize) {
    // A record shorter than its own header cannot be stepped over.
    h.status = RecordHeader::Status::kCorrupt;
    return h;
  }
  h.status = h.length <= bytes.size() ? RecordHeader::Status::kOk : RecordHeader::Status::kTruncated;
  return h;
}

int CDescriptor::Parse(std::span<const std::uint8_t> record) {
  const RecordHeader h = DecodeRecordHeader(record, 0);
  m_byType = h.type;
  m_wLength = std::uint16_t(record.size());
  m_wExtLength = h.extended ? m_wLength : 0;
  m_wPayloadLength = std::uint16_t(record.size() - (h.extended ? 4 : 2));
  return 1;
}

int CDescriptor::Serialize(std::vector<std::uint8_t>&) const { return 0; }

void CDescriptor::PutPlainHeader(std::vector<std::uint8_t>& out, std::size_t length) const {
  out.push_back(std::uint8_t(length));
  out.push_back(m_byType);
}

int CDescDummy::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  bytes_.assign(record.begin(), record.end());
  return 1;
}

int CDescDummy::Serialize(std::vector<std::uint8_t>& out) const {
  if (bytes_.empty()) return 0;
  out.insert(out.end(), bytes_.begin(), bytes_.end());
  return 1;
}

CDescGlobal CDescGlobal::Decode(std::span<const std::uint8_t> bytes) {
  CDescGlobal g;
  if (bytes.size() < kSize) return g;
  g.storageKind = bytes[0];
  g.signature = bytes[1];
  g.partCode = bytes[2] & 0x07;
  g.family = bytes[2] >> 3;
  g.totalLength = bytes::Le16(bytes, 3);
  g.recordCount = bytes[5];
  return g;
}

void CDescGlobal::Encode(std::span<std::uint8_t> out) const {
  out[0] = storageKind;
  out[1] = signature;
  out[2] = std::uint8_t((family << 3) | (partCode & 0x07));
  bytes::PutLe16(out, 3, totalLength);
  out[5] = recordCount;
}

int MemoryTypeForStorageKind(std::uint8_t storageKind) {
  switch (storageKind) {
    case 0x11: return 2;
    case 0x12: return 3;
    case 0x30:
    case 0x55:
    case 0x61: return 0;
    case 0x40: return 4;
    case 0x60: return 6;
    default: return -1;
  }
}
