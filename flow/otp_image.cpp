#include "flow/otp_image.h"

#include <algorithm>
#include <span>

#include "flow/otp_layout.h"
#include "image/desc_stream.h"
#include "image/descriptor.h"

namespace otp {

namespace {

constexpr std::uint8_t kPartCodeCode = 3;
constexpr std::uint8_t kPartCodeConfig = 1;
constexpr std::uint8_t kCodeRecordCount = 3;

struct Layout {
  bool valid = false;
  std::uint8_t family = 0;
  std::size_t total = 0;        // the header's total length T
  std::size_t codeLength = 0;   // L, 0 without a code record
  std::size_t codeOffset = 0;
  int records = 0;              // c: records behind the leading ones
  std::uint8_t count = 0;       // the header's record count
};

Layout Examine(const std::vector<std::uint8_t>& image) {
  Layout layout;
  const std::size_t n = std::min(image.size(), CDescStream::kMaxArea);
  if (n < kPartPrefix) return layout;
  CDescStream stream;
  const CDescGlobal header = stream.OpenArea(std::span(image.data(), n));
  if (!header.Valid()) return layout;
  layout.family = header.family;
  layout.total = header.totalLength;
  layout.records = stream.RemainingCount();
  layout.count = header.recordCount;
  const bool walked = stream.Walk([&](const CDescStream::RecordSeen& seen) {
    if (seen.record.Type() == rectype::kSmallCacheCode && !layout.codeLength) {
      layout.codeLength = seen.end - seen.offset;
      layout.codeOffset = seen.offset;
    }
  });
  layout.valid = walked;
  return layout;
}

void PutHeader(std::vector<std::uint8_t>& part, std::uint8_t family, std::uint8_t partCode, std::size_t length,
               std::uint8_t count) {
  part[2] = std::uint8_t(family << 3 | partCode);
  part[3] = std::uint8_t(length);
  part[4] = std::uint8_t(length >> 8);
  part[5] = count;
}

void PutVd(std::vector<std::uint8_t>& image, int index, std::size_t start, std::size_t length, std::uint8_t flag) {
  const std::size_t at = VdAddress(index);
  image[at] = std::uint8_t(start >> 8);
  image[at + 1] = std::uint8_t(start);
  image[at + 2] = std::uint8_t(length >> 8);
  image[at + 3] = std::uint8_t(length);
  image[at + 4] = flag;
}

}  // namespace

Split SplitImage(const std::vector<std::uint8_t>& image, PartKind kind, std::vector<std::uint8_t>& part) {
  const Layout l = Examine(image);
  if (!l.valid) return Split::kFailed;
  const std::size_t L = l.codeLength;
  if (kind == PartKind::kCode) {
    if (!L) return Split::kAbsent;
    // Cutting anywhere else would write other records into the OTP as code.
    if (l.codeOffset != kPartPrefix || kPartPrefix + L > image.size() || kPartPrefix + L > 0xFFFF)
      return Split::kFailed;
    part.assign(image.begin(), image.begin() + std::ptrdiff_t(kPartPrefix + L));
    PutHeader(part, l.family, kPartCodeCode, kPartPrefix + L, kCodeRecordCount);
    return Split::kMade;
  }
  const int others = l.records - (L ? 1 : 0);
  if (others <= 0) return Split::kAbsent;
  if (l.total > image.size() || l.total < kPartPrefix) return Split::kFailed;
  if (!L) {
    part.assign(image.begin(), image.begin() + std::ptrdiff_t(l.total));
    return Split::kMade;
  }
  if (l.codeOffset != kPartPrefix || l.total < kPartPrefix + L) return Split::kFailed;
  part.assign(l.total - L, 0xFF);
  std::copy_n(image.begin(), kPartPrefix, part.begin());
  std::copy(image.begin() + std::ptrdiff_t(kPartPrefix + L), image.begin() + std::ptrdiff_t(l.total),
            part.begin() + kPartPrefix);
  PutHeader(part, l.family, kPartCodeConfig, l.total - L, std::uint8_t(l.count - 1));  // all but the code record
  return Split::kMade;
}

Footprint DownloadFootprint(const std::vector<std::uint8_t>& image) {
  Footprint footprint;
  for (const PartKind kind : {PartKind::kCode, PartKind::kConfig}) {
    std::vector<std::uint8_t> part;
    const Split split = SplitImage(image, kind, part);
    if (split == Split::kFailed) return {};
    if (split == Split::kAbsent) continue;
    footprint.bytes += std::uint32_t(part.size());
    ++footprint.entries;
  }
  return footprint;
}

bool ConvertToOtpLayout(std::vector<std::uint8_t>& image) {
  std::vector<std::uint8_t> code, config;
  if (image.size() < kSize || SplitImage(image, PartKind::kCode, code) != Split::kMade) return false;
  const Split configSplit = SplitImage(image, PartKind::kConfig, config);
  if (configSplit == Split::kFailed || code.size() + config.size() > kCodeEnd) return false;
  std::vector<std::uint8_t> out(image.size(), 0xFF);
  std::fill(out.begin() + kCodeEnd, out.begin() + kSize, 0x00);
  std::copy(code.begin(), code.end(), out.begin());
  PutVd(out, kVdEntries - 1, 0, code.size(), kFlagCode);
  if (configSplit == Split::kMade) {
    std::copy(config.begin(), config.end(), out.begin() + std::ptrdiff_t(code.size()));
    PutVd(out, kVdEntries - 2, code.size(), config.size(), kFlagConfig);
  }
  image = std::move(out);
  return true;
}

}  // namespace otp
