#include "image/config_passes.h"

#include <algorithm>
#include <cstdio>

#include "app/program_state.h"
#include "image/desc_fixed.h"
#include "image/desc_variable.h"
#include "platform/prompter.h"

namespace {

constexpr char kVmc2230[] = "VMC2230";
constexpr std::size_t kSmallImage = 0x4000;
constexpr std::size_t kCheckedAreaOffset = 0xF000;

bool AllErased(std::span<const std::uint8_t> image) {
  return std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::span<const std::uint8_t> AreaAt(std::span<const std::uint8_t> image, std::size_t offset) {
  if (offset >= image.size()) return {};
  return image.subspan(offset, std::min(image.size() - offset, CDescStream::kMaxArea));
}

void ReportCorrupt() { platform::CurrentPrompter().Show(kConfigCorruptedText); }

std::string Format(const char* format, unsigned a, unsigned b) {
  char text[32];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

void TakeTexts(CImageJob& job, std::span<const std::uint8_t> image, const CDescriptor& record) {
  if (const auto* s = dynamic_cast<const CDescString*>(&record)) {
    if (record.Type() == rectype::kStringManu) job.manufacturer = s->Text();
    if (record.Type() == rectype::kStringSN) job.serialNumber = s->Text();
    if (record.Type() == rectype::kStringIAD) job.iadText = s->Text();
    return;
  }
  const auto* vp = dynamic_cast<const CDescVIDPID*>(&record);
  if (!vp) return;
  job.vidPidText = Format("VID_%04X&PID_%04X", *vp->Field("wVID"), *vp->Field("wPID"));
  char rev[8];
  std::snprintf(rev, sizeof rev, "%04x", *vp->Field("wRevID"));
  job.revText = rev;
  if (image.size() > 4128) {
    char id[16];
    std::snprintf(id, sizeof id, "0x%02X%02X%02X%02X%02X", image[0x1003], image[0x1005], image[0x1004],
                  image[0x1007], image[0x1006]);
    job.imageIdentity = id;
  }
}

}  // namespace

void ApplyStorageKind(std::uint8_t storageKind) {
  if (const int type = MemoryTypeForStorageKind(storageKind); type >= 0) MemoryType = type;
}

bool OpenImageArea(CDescStream& stream, std::span<const std::uint8_t> image, std::size_t offset,
                   std::size_t& found) {
  found = offset;
  if (offset < image.size() && stream.OpenArea(AreaAt(image, offset)).Valid()) return true;
  found = 0;
  return stream.OpenArea(AreaAt(image, 0)).Valid();
}

int ReadImageTexts(CImageJob& job, const CICTypeIni& ic, std::span<const std::uint8_t> image) {
  if (AllErased(image)) return 0;
  const std::size_t n = image.size();
  std::size_t a = std::size_t(std::max(ic.GetConfigAddress(), 0));
  if (ic.IcName() == kVmc2230 && (n == kSmallImage || MemoryType == 6 || (MemoryType == 0 && n < kSmallImage)))
    a = 0;
  if (n < a) return 0;
  CDescStream stream;
  std::size_t found = 0;
  if (!OpenImageArea(stream, image, a, found)) return 0;
  ApplyStorageKind(stream.Header().storageKind);
  job.ConfigLength = stream.Header().totalLength;
  job.configWorkingLength = stream.Header().totalLength;
  const bool ok = stream.Walk([&](const CDescStream::RecordSeen& seen) { TakeTexts(job, image, seen.record); });
  if (!ok) {
    ReportCorrupt();
    return 0;
  }
  return 1;
}

int CheckConfigArea(CImageJob& job, const CICTypeIni& ic, std::span<const std::uint8_t> image) {
  if (AllErased(image)) return 0;
  const std::size_t n = image.size();
  std::size_t d = kCheckedAreaOffset;
  if (ic.IcName() == kVmc2230 && (MemoryType == 6 || n == kSmallImage)) d = 0;
  if (n < d) return 0;
  CDescStream stream;
  if (!stream.OpenArea(AreaAt(image, d)).Valid()) return 0;
  ApplyStorageKind(stream.Header().storageKind);
  job.configWorkingLength = stream.Header().totalLength;
  if (!stream.Walk(nullptr)) {
    ReportCorrupt();
    return 0;
  }
  return 1;
}

int FindSmallCacheCodeEnd(const CICTypeIni& ic, std::span<const std::uint8_t> image, std::size_t& end) {
  end = 0;
  if (AllErased(image)) return 0;
  std::size_t a = std::size_t(std::max(ic.GetConfigAddress(), 0));
  if (ic.IcName() == kVmc2230 && CodeReadSize == kSmallImage) a = 0;
  if (image.size() < a) return 0;
  CDescStream stream;
  std::size_t found = 0;
  if (!OpenImageArea(stream, image, a, found)) return 0;
  return stream.Walk([&](const CDescStream::RecordSeen& seen) {
    if (seen.record.Type() == rectype::kSmallCacheCode) end = found + seen.end;
  }) ? 1 : 0;
}
