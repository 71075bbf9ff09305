#include "image/image_parse.h"

#include <algorithm>

#include "app/program_state.h"
#include "image/config_passes.h"
#include "image/desc_stream.h"

namespace {

constexpr std::size_t kWindowAlign = 0x1000;
constexpr std::uint32_t kWindowSlack = 0x30;

std::size_t ConfigAddressFor(const CICTypeIni& ic) {
  if (ic.IcName() == "VMC2230" && CodeReadSize == 0x4000) return 0;
  return std::size_t(std::max(ic.GetConfigAddress(), 0));
}

// The flags of the leading records; set, never cleared, by a parse.
void TakeFlags(CImageJob& job, const LeadingRecords& leading) {
  if (leading.bankCopy == 0x5A) job.SignedImageMarker = 1;
  if (leading.forceUpdate & 0x10) job.BankSwitchFlag = 1;
  job.SignatureCheckFlag = (leading.forceUpdate >> 6) & 1;
}

void RunPasses(CImageJob& job, const CICTypeIni& ic) {
  ReadImageTexts(job, ic, job.image);
  CheckConfigArea(job, ic, job.image);
}

}  // namespace

int ParseImage(CImageJob& job, const CICTypeIni& ic) {
  const std::span<const std::uint8_t> image = job.image;
  const std::size_t n = image.size();
  const std::size_t a = ConfigAddressFor(ic);
  job.ImageFamily = 0xFF;
  job.configOffset.reset();

  CDescStream stream;
  if (n > a) {
    const CDescGlobal header =
        stream.OpenArea(image.subspan(a, std::min(n - a, CDescStream::kMaxArea)));
    TakeFlags(job, stream.Leading());
    if (header.Valid()) {
      job.ConfigAtStart = a == 0 ? 1 : 0;
      job.ImageFamily = header.family;
      RunPasses(job, ic);
      ApplyStorageKind(header.storageKind);
      if (a != 0) {
        job.ConfigWindowStart = std::uint32_t(a & ~(kWindowAlign - 1));
        job.ConfigWindowLength = kWindowAlign;
        job.configOffset = a;
        return 1;
      }
      std::size_t end = 0;
      if (!FindSmallCacheCodeEnd(ic, image, end)) {
        job.ImageFamily = 0xFF;  // a failed parse never matches a chip
        return 0;
      }
      const std::uint32_t start = std::uint32_t(end & ~std::size_t(15));
      const std::uint32_t stop = std::uint32_t(job.configWorkingLength & ~15u) + kWindowSlack;
      job.ConfigWindowStart = start;
      job.ConfigWindowLength = stop > start ? stop - start : 0;
      job.configOffset = end;
      return 1;
    }
  }

  const CDescGlobal header = stream.OpenArea(image.first(std::min(n, CDescStream::kMaxArea)));
  if (!header.Valid()) return 0;
  TakeFlags(job, stream.Leading());
  job.ImageFamily = header.family;
  RunPasses(job, ic);
  ApplyStorageKind(header.storageKind);
  job.ConfigAtStart = 1;
  job.configOffset = 0;
  return 1;
}

bool IsImageForDevice(const CImageJob& job, const CICTypeIni& ic) {
  return job.ImageFamily == ic.ChipInfo();
}
