#include "image/desc_variable.h"

#include "image/byte_order.h"

int CDescString::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  text_.clear();
  read_.assign(record.begin(), record.end());
  if (record.size() < 4) return 1;  // no inner descriptor: an empty string
  const std::size_t inner = record[2];
  innerType_ = record[3];
  if (inner < 2) return 1;
  if (inner + 2 > record.size()) return 0;
  const std::size_t n = inner - 2;
  if (n > kMaxKept) return 0;
  text_.assign(reinterpret_cast<const char*>(record.data() + 4), n);
  return 1;
}

int CDescString::Serialize(std::vector<std::uint8_t>& out) const {
  if (!read_.empty()) {
    out.insert(out.end(), read_.begin(), read_.end());
    return 1;
  }
  PutPlainHeader(out, text_.size() + 4);
  out.push_back(std::uint8_t(text_.size() + 2));
  out.push_back(innerType_);
  out.insert(out.end(), text_.begin(), text_.end());
  return 1;
}

bool CDescString::SetText(std::string_view text) {
  if (text.size() > kMaxWrite) return false;
  text_ = text;
  read_.clear();
  innerType_ = kStringDescriptorType;
  m_wLength = std::uint16_t(text_.size() + 4);
  m_wPayloadLength = std::uint16_t(text_.size() + 2);
  return true;
}

bool CDescCodeRecord::SetCode(std::span<const std::uint8_t> code) {
  if (code.size() > MaxCode()) return false;
  code_.assign(code.begin(), code.end());
  codeLength_ = std::uint16_t(code.size());
  return true;
}

int CDescCodeInfo::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  if (record.size() < 6) return 0;
  codeOffset_ = bytes::Le16(record, 2);
  codeLength_ = bytes::Le16(record, 4);
  return 1;
}

int CDescCodeInfo::Serialize(std::vector<std::uint8_t>& out) const {
  if (code_.empty()) return 0;
  PutPlainHeader(out, 6);
  out.insert(out.end(), {0, 0, std::uint8_t(code_.size()), std::uint8_t(code_.size() >> 8)});
  return 1;
}

int CDescSmallCachecode::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  if (record.size() < kHeaderBytes) return 0;
  codeOffset_ = bytes::Le16(record, 4);
  codeLength_ = bytes::Le16(record, 6);
  m_wExtLength = std::uint16_t(codeLength_ + kHeaderBytes);
  return codeLength_ <= kMaxCode ? 1 : 0;
}

int CDescSmallCachecode::Serialize(std::vector<std::uint8_t>& out) const {
  if (code_.empty()) return 0;
  const std::size_t length = code_.size() + kHeaderBytes;
  out.insert(out.end(), {0xFF, 0xE7, std::uint8_t(length), std::uint8_t(length >> 8), 0, 0,
                         std::uint8_t(code_.size()), std::uint8_t(code_.size() >> 8)});
  out.insert(out.end(), code_.begin(), code_.end());
  return 1;
}

int CDescCodecCommandList::Parse(std::span<const std::uint8_t> record) {
  CDescriptor::Parse(record);
  commands_.clear();
  trailer_ = kDefaultTrailer;
  if (record.size() >= 4) {
    commands_.assign(record.begin() + 2, record.end() - 2);
    trailer_ = std::uint16_t(bytes::Read(record, record.size() - 2, 2, true));
  }
  return 1;
}

int CDescCodecCommandList::Serialize(std::vector<std::uint8_t>& out) const {
  const std::size_t length = commands_.size() + 4;
  if (length >= 256) return 0;
  PutPlainHeader(out, length);
  out.insert(out.end(), commands_.begin(), commands_.end());
  out.insert(out.end(), {std::uint8_t(trailer_ >> 8), std::uint8_t(trailer_)});
  return 1;
}
