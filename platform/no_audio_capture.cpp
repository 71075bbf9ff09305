// Builds without ALSA: no capture endpoints, so the keep-awake thread ends
// its capture step at once.
#include "platform/audio_capture.h"

namespace platform {

namespace {
class NoAudioCapture final : public AudioCapture {
 public:
  std::vector<CaptureEndpoint> Endpoints() override { return {}; }
  std::unique_ptr<CaptureStream> Open(const CaptureEndpoint&, std::uint32_t) override { return nullptr; }
};
}  // namespace

std::unique_ptr<AudioCapture> CreateSystemAudioCapture() { return std::make_unique<NoAudioCapture>(); }

}  // namespace platform
