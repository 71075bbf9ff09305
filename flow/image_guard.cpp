#include "flow/image_guard.h"

#include "app/status_codes.h"
#include "app/trace.h"
#include "flow/mp_flow.h"
#include "image/ic_type_ini.h"

int StatusForImageFault(ImageFault fault) {
  switch (fault) {
    case ImageFault::kNone: return kStsNone;
    case ImageFault::kMalformed: return kStsParseFwFileFail;
    case ImageFault::kNotForDevice: return kStsFwNotForDevice;
    case ImageFault::kTooLarge: return kStsCodeExceedMaxLength;
    case ImageFault::kNoCode: return kStsGetCodeSizeFail;
  }
  return kStsParseFwFileFail;
}

int GuardImage(const std::vector<std::uint8_t>& image, const ImageTarget& target) {
  TraceScope scope("GuardImage", kTraceFlow);
  const ImageVerdict verdict = CheckImage(image, ICTypeStore(), target);
  if (verdict.Ok()) return 1;
  const int status = StatusForImageFault(verdict.fault);
  TraceFailure(scope, (StatusText(status) + "\n").c_str());
  TraceLine(scope, "The image is refused: %s\n", verdict.reason.c_str());
  CMpFlow::PostFailure(status);
  return 0;
}
