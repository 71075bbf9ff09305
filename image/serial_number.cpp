#include "image/serial_number.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "image/desc_stream.h"
#include "image/desc_variable.h"

namespace {

constexpr std::uint8_t kRebuiltMarker = 0x55;
constexpr std::uint8_t kTag[] = {0x55, 0xAA};

template <class... Args>
std::string Say(const char* format, Args... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

// The text the string record receives.
bool ComposeText(const SerialNumberRequest& request, std::string& text, std::string& error) {
  if (request.serial.empty()) {
    error = "there is no serial number to write";
    return false;
  }
  for (const char c : request.serial) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) {
      error = Say("the serial number holds the byte 0x%02X, which is not printable ASCII", byte);
      return false;
    }
  }
  text = request.serialRecord && request.functionPrefix ? std::string(1, kSerialFunctionPrefix) : std::string();
  text += request.serial;
  if (text.size() > kMaxSerialCharacters) {
    error = Say("the serial number needs %zu characters, the record holds at most %zu", text.size(),
                kMaxSerialCharacters);
    return false;
  }
  return true;
}

bool CheckPlacement(std::size_t n, const ConfigPlacement& p, std::size_t& room, std::string& error) {
  if (p.configSize == 0) {
    error = "the IC description gives no ConfigSize";
    return false;
  }
  if (p.areaStart >= n) {
    error = Say("the configuration area at 0x%zX lies beyond the image of %zu bytes", p.areaStart, n);
    return false;
  }
  room = std::min(p.configSize, n - p.areaStart);
  if (!p.tagged) return true;
  const bool inImage = p.tagAddress != 0 && p.tagAddress + sizeof kTag <= n;
  const bool clearOfArea = p.tagAddress + sizeof kTag <= p.areaStart || p.tagAddress >= p.areaStart + room;
  if (!inImage || !clearOfArea) {
    error = Say("the tag address 0x%zX is not a place in the image outside the configuration area", p.tagAddress);
    return false;
  }
  return true;
}

// Every record after the leading ones. The area must hold exactly the records
// its header counts, ending at its total length: a rebuild writes what it read,
// so anything it could not read would be lost.
bool ReadRecords(CDescStream& reader, std::vector<std::unique_ptr<CDescriptor>>& records, std::string& error) {
  int remaining = reader.RemainingCount();
  while (std::unique_ptr<CDescriptor> record = reader.NextRecord()) {
    records.push_back(std::move(record));
    --remaining;
  }
  const std::size_t end = reader.Cursor();
  const CDescGlobal& header = reader.Header();
  if (reader.Rejected()) {
    error = Say("the configuration record at area offset 0x%zX is corrupt", end);
    return false;
  }
  if (end != header.totalLength) {
    error = Say("the records end at area offset 0x%zX, the header's total length is 0x%X", end,
                unsigned(header.totalLength));
    return false;
  }
  if (remaining != 0) {
    error = Say("the configuration header counts %u records, the area holds %d", unsigned(header.recordCount),
                int(header.recordCount) - remaining);
    return false;
  }
  return true;
}

CDescString* FindString(const std::vector<std::unique_ptr<CDescriptor>>& records, std::uint8_t type) {
  for (const auto& record : records)
    if (record->Type() == type)
      if (auto* text = dynamic_cast<CDescString*>(record.get())) return text;
  return nullptr;
}

}  // namespace

SerialNumberResult WriteSerialNumber(std::span<const std::uint8_t> image, const ConfigPlacement& placement,
                                     const SerialNumberRequest& request) {
  SerialNumberResult result;
  std::string text;
  std::size_t room = 0;
  if (!ComposeText(request, text, result.error) ||
      !CheckPlacement(image.size(), placement, room, result.error))
    return result;

  CDescStream reader;
  if (!reader.OpenArea(image.subspan(placement.areaStart)).Valid()) {
    result.error = Say("there is no configuration header at 0x%zX", placement.areaStart);
    return result;
  }
  std::vector<std::unique_ptr<CDescriptor>> records;
  if (!ReadRecords(reader, records, result.error)) return result;

  const std::uint8_t type = request.serialRecord ? rectype::kStringSN : rectype::kStringManu;
  CDescString* target = FindString(records, type);
  if (!target && request.serialRecord) {
    auto added = std::make_unique<CDescStringSN>();
    target = added.get();
    records.push_back(std::move(added));
  }
  if (!target) {
    result.error = "the configuration area has no manufacturer record to carry the serial number";
    return result;
  }
  target->SetText(text);

  CDescStream writer;
  writer.BeginRewrite(reader.Header(), reader.Leading());
  for (const auto& record : records) {
    if (!writer.AppendRecord(*record)) {
      result.error = Say("a record of type %u cannot be written again", unsigned(record->Type()));
      return result;
    }
  }
  const std::size_t areaBytes = writer.RewriteSize();
  std::vector<std::uint8_t> area(room, 0xFF);
  if (!writer.FinishRewrite(area)) {
    result.error = Say("the rebuilt configuration area needs %zu bytes and %zu spare, the room is %zu bytes",
                       areaBytes, CDescStream::kRewriteSlack, room);
    return result;
  }
  // The marker is a flash storage kind; an EEPROM or OTP area keeps its own.
  if (placement.tagged && MemoryTypeForStorageKind(area[0]) == 0) area[0] = kRebuiltMarker;

  result.image.assign(image.begin(), image.end());
  std::copy(area.begin(), area.end(), result.image.begin() + std::ptrdiff_t(placement.areaStart));
  if (placement.tagged)
    std::copy(std::begin(kTag), std::end(kTag), result.image.begin() + std::ptrdiff_t(placement.tagAddress));
  result.ok = true;
  result.characters = text.size();
  result.lengthByte = std::uint8_t(text.size() + 2);
  result.configLength = writer.Header().totalLength;
  result.areaBytes = areaBytes;
  return result;
}

std::vector<std::uint8_t> RecutImage(std::span<const std::uint8_t> image, std::size_t size) {
  std::vector<std::uint8_t> cut(size, 0xFF);
  std::copy_n(image.begin(), std::min(size, image.size()), cut.begin());
  return cut;
}
