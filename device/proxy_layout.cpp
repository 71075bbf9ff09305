#include "device/proxy_layout.h"

#include <algorithm>

#include "device/le_bytes.h"

namespace {

// Offsets of the request record.
struct RecordOffsets {
  std::size_t handle, tokenLow, tokenHigh, urb, timeout, size, pointerWidth;
};
constexpr RecordOffsets kNarrowRecord{4, 8, 12, 16, 20, 24, 4};
constexpr RecordOffsets kWideRecord{8, 16, 20, 24, 32, 40, 8};

// Offsets of the URB: the header, the common transfer fields and the tail of
// the control request (class/vendor or descriptor form).
struct UrbOffsets {
  std::size_t length, function, status, transferFlags, bufferLength, buffer, tail, size, pointerWidth;
};
constexpr UrbOffsets kNarrowUrb{0, 2, 4, 20, 24, 28, 72, 0x50, 4};
constexpr UrbOffsets kWideUrb{0, 2, 4, 32, 36, 40, 128, 0x88, 8};

const RecordOffsets& Record(ProxyLayout l) { return l == ProxyLayout::kWide ? kWideRecord : kNarrowRecord; }
const UrbOffsets& Urb(ProxyLayout l) { return l == ProxyLayout::kWide ? kWideUrb : kNarrowUrb; }

// A 32-bit pointer in a field of the layout's width: zero-extended.
void PutPointer(std::uint8_t* p, std::size_t width, std::uint32_t address) {
  PutLe32(p, address);
  if (width == 8) PutLe32(p + 4, 0);
}
bool GetPointer(const std::uint8_t* p, std::size_t width, std::uint32_t& address) {
  address = GetLe32(p);
  return width == 4 || GetLe32(p + 4) == 0;
}

}  // namespace

std::size_t RequestRecordSize(ProxyLayout layout) { return Record(layout).size; }
std::size_t UrbSize(ProxyLayout layout) { return Urb(layout).size; }

bool LayoutOfRecordSize(std::size_t size, ProxyLayout& layout) {
  if (size == kNarrowRecord.size) layout = ProxyLayout::kNarrow;
  else if (size == kWideRecord.size) layout = ProxyLayout::kWide;
  else return false;
  return true;
}

std::vector<std::uint8_t> EncodeRequestRecord(ProxyLayout layout, const ProxyRequestRecord& r) {
  const RecordOffsets& o = Record(layout);
  std::vector<std::uint8_t> bytes(o.size, 0);
  PutPointer(&bytes[o.handle], o.pointerWidth, r.deviceFileHandle);
  PutLe32(&bytes[o.tokenLow], r.tokenLow);
  PutLe32(&bytes[o.tokenHigh], r.tokenHigh);
  PutPointer(&bytes[o.urb], o.pointerWidth, r.urbAddress);
  PutLe32(&bytes[o.timeout], r.timeoutMs);
  return bytes;
}

bool DecodeRequestRecord(ProxyLayout layout, const std::uint8_t* bytes, std::size_t size, ProxyRequestRecord& r) {
  const RecordOffsets& o = Record(layout);
  if (size != o.size) return false;
  r.tokenLow = GetLe32(bytes + o.tokenLow);
  r.tokenHigh = GetLe32(bytes + o.tokenHigh);
  r.timeoutMs = GetLe32(bytes + o.timeout);
  return GetPointer(bytes + o.handle, o.pointerWidth, r.deviceFileHandle) &&
         GetPointer(bytes + o.urb, o.pointerWidth, r.urbAddress);
}

void EncodeUrb(ProxyLayout layout, const ProxyUrb& u, std::uint8_t* bytes) {
  const UrbOffsets& o = Urb(layout);
  std::fill(bytes, bytes + o.size, 0);
  PutLe16(bytes + o.length, std::uint16_t(o.size));
  PutLe16(bytes + o.function, u.function);
  PutLe32(bytes + o.status, u.status);
  PutLe32(bytes + o.transferFlags, u.transferFlags);
  PutLe32(bytes + o.bufferLength, u.transferBufferLength);
  PutLe32(bytes + o.buffer, u.transferBuffer);
  if (o.pointerWidth == 8) PutLe32(bytes + o.buffer + 4, (u.transferBuffer & 0x80000000u) ? 0xFFFFFFFFu : 0);
  std::uint8_t* tail = bytes + o.tail;
  if (u.function == kUrbFunctionGetDescriptorFromDevice) {
    // Reserved1 (2 bytes), Index, DescriptorType, LanguageId.
    tail[2] = u.descriptorIndex;
    tail[3] = u.descriptorType;
    PutLe16(tail + 4, u.languageId);
  } else {
    // RequestTypeReservedBits, Request, Value, Index.
    tail[0] = u.requestTypeReservedBits;
    tail[1] = u.request;
    PutLe16(tail + 2, u.value);
    PutLe16(tail + 4, u.index);
  }
}

bool DecodeUrb(ProxyLayout layout, const std::uint8_t* bytes, ProxyUrb& u) {
  const UrbOffsets& o = Urb(layout);
  if (GetLe16(bytes + o.length) != o.size) return false;
  u = ProxyUrb{};
  u.function = GetLe16(bytes + o.function);
  u.status = GetLe32(bytes + o.status);
  u.transferFlags = GetLe32(bytes + o.transferFlags);
  u.transferBufferLength = GetLe32(bytes + o.bufferLength);
  u.transferBuffer = GetLe32(bytes + o.buffer);
  if (o.pointerWidth == 8 &&
      GetLe32(bytes + o.buffer + 4) != ((u.transferBuffer & 0x80000000u) ? 0xFFFFFFFFu : 0))
    return false;
  const std::uint8_t* tail = bytes + o.tail;
  if (u.function == kUrbFunctionGetDescriptorFromDevice) {
    u.descriptorIndex = tail[2];
    u.descriptorType = tail[3];
    u.languageId = GetLe16(tail + 4);
  } else {
    u.requestTypeReservedBits = tail[0];
    u.request = tail[1];
    u.value = GetLe16(tail + 2);
    u.index = GetLe16(tail + 4);
  }
  return true;
}

void WriteUrbResult(ProxyLayout layout, std::uint8_t* bytes, std::uint32_t status, std::uint32_t transferred) {
  const UrbOffsets& o = Urb(layout);
  PutLe32(bytes + o.status, status);
  PutLe32(bytes + o.bufferLength, transferred);
}
