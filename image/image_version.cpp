#include "image/image_version.h"

#include <algorithm>
#include <cstdio>

#include "image/byte_order.h"

namespace {

constexpr std::size_t kLargeImage = 0x10000;
constexpr FwVersion kBlankDeviceVersion = {0xB, 0xB, 0xBB, 0xBBBB, 0xBBBB, 0xBBBB};

// `count` hex digits at text[at]; -1 when any is missing.
long HexField(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  long value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    int digit = (c >= '0' && c <= '9') ? c - '0'
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                         : -1;
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

std::size_t VersionRecordOffset(std::size_t imageLength) {
  return imageLength >= kLargeImage ? 0x100C : 0x11B;
}

std::string FormatVersion(const FwVersion& v) {
  char text[48];
  std::snprintf(text, sizeof text, "%01X.%01X%02X.%04X-%04X.%04X", v[0], v[1], v[2], v[3], v[4], v[5]);
  return text;
}

std::optional<FwVersion> ParseVersionText(std::string_view t) {
  // "c.ccc.cccc-cccc.cccc": 1, 1+2, 4, 4, 4 hex digits.
  if (t.size() != 20 || t[1] != '.' || t[5] != '.' || t[10] != '-' || t[15] != '.') return std::nullopt;
  const long fields[6] = {HexField(t, 0, 1),  HexField(t, 2, 1),  HexField(t, 3, 2),
                          HexField(t, 6, 4), HexField(t, 11, 4), HexField(t, 16, 4)};
  FwVersion v{};
  for (int i = 0; i < 6; ++i) {
    if (fields[i] < 0) return std::nullopt;
    v[std::size_t(i)] = std::uint16_t(fields[i]);
  }
  return v;
}

std::array<std::uint8_t, kVersionRecordSize> EncodeVersionRecord(const FwVersion& v) {
  std::array<std::uint8_t, kVersionRecordSize> r{};
  r[0] = std::uint8_t(((v[0] & 0xF) << 4) | (v[1] & 0xF));
  r[1] = std::uint8_t(v[2]);
  for (int i = 0; i < 3; ++i) bytes::Write(r, std::size_t(2 + 2 * i), 2, true, v[std::size_t(3 + i)]);
  return r;
}

int GetImageVersion(std::span<const std::uint8_t> image, std::string& text, FwVersion& v) {
  text.clear();
  v = {};
  const std::size_t at = VersionRecordOffset(image.size());
  if (image.size() < at + kVersionRecordSize) return 0;
  const auto r = image.subspan(at, kVersionRecordSize);
  v = {std::uint16_t(r[0] >> 4), std::uint16_t(r[0] & 0xF), r[1],
       std::uint16_t(bytes::Read(r, 2, 2, true)), std::uint16_t(bytes::Read(r, 4, 2, true)),
       std::uint16_t(bytes::Read(r, 6, 2, true))};
  text = FormatVersion(v);
  return 1;
}

UpdateVerdict CompareForUpdate(const FwVersion& image, const FwVersion& device) {
  for (std::size_t i = 0; i < image.size(); ++i)
    if (image[i] > device[i]) return UpdateVerdict::kProceed;
  if (image == device) return UpdateVerdict::kSameVersion;
  if (device == kBlankDeviceVersion) return UpdateVerdict::kProceed;
  return UpdateVerdict::kOlderVersion;
}

platform::PromptAnswer ShowUpdateRefusal(UpdateVerdict verdict, platform::Prompter& prompter) {
  using platform::PromptAnswer;
  using platform::PromptKind;
  switch (verdict) {
    case UpdateVerdict::kSameVersion:
      return prompter.Ask("Same FW version!", "Warning!!", PromptKind::Warning, PromptAnswer::Ok);
    case UpdateVerdict::kOlderVersion:
      return prompter.Ask("The updated FW version is older than the current one.", "Warning!!",
                          PromptKind::OkCancel, PromptAnswer::Cancel);
    case UpdateVerdict::kProceed:
      break;
  }
  return PromptAnswer::Ok;
}
