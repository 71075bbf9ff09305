// Capture endpoints are ALSA's PCMs as its name hints list them (those that
// capture), named by their description and identifier.
#include <alsa/asoundlib.h>

#include <cstdlib>

#include "platform/audio_capture.h"

namespace platform {

namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kChannels = 2;
constexpr std::uint32_t kFrameBytes = kChannels * 2;  // 16-bit samples

std::string HintText(void* hint, const char* field) {
  char* value = snd_device_name_get_hint(hint, field);
  if (!value) return {};
  std::string text = value;
  std::free(value);
  return text;
}

class AlsaStream final : public CaptureStream {
 public:
  explicit AlsaStream(snd_pcm_t* pcm) : pcm_(pcm) {}
  ~AlsaStream() override { snd_pcm_close(pcm_); }
  std::uint32_t FrameBytes() const override { return kFrameBytes; }
  std::uint32_t SampleRate() const override { return kRate; }
  bool Start() override {
    if (snd_pcm_prepare(pcm_) < 0) return false;
    const int rc = snd_pcm_start(pcm_);
    return rc == 0 || rc == -EBADFD;  // some plugins start with the first read
  }
  int Read(std::uint8_t* out, std::uint32_t maxFrames, int waitMs) override {
    if (snd_pcm_wait(pcm_, waitMs) < 0) snd_pcm_prepare(pcm_);
    const snd_pcm_sframes_t got = snd_pcm_readi(pcm_, out, maxFrames);
    if (got >= 0) return int(got);
    if (got == -EAGAIN) return 0;
    if (snd_pcm_recover(pcm_, int(got), 1) == 0) return 0;  // an overrun: go on
    return -1;
  }
  void Stop() override { snd_pcm_drop(pcm_); }

 private:
  snd_pcm_t* pcm_;
};

class AlsaCapture final : public AudioCapture {
 public:
  std::vector<CaptureEndpoint> Endpoints() override {
    std::vector<CaptureEndpoint> endpoints;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0) return endpoints;
    for (void** hint = hints; *hint; ++hint) {
      const std::string io = HintText(*hint, "IOID");
      if (!io.empty() && io != "Input") continue;  // playback only
      CaptureEndpoint endpoint{HintText(*hint, "DESC"), HintText(*hint, "NAME")};
      for (char& c : endpoint.friendlyName)
        if (c == '\n') c = ' ';
      if (!endpoint.id.empty()) endpoints.push_back(std::move(endpoint));
    }
    snd_device_name_free_hint(hints);
    return endpoints;
  }

  std::unique_ptr<CaptureStream> Open(const CaptureEndpoint& endpoint, std::uint32_t bufferMs) override {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, endpoint.id.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) return nullptr;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, kChannels, kRate, 1,
                           bufferMs * 1000) < 0) {
      snd_pcm_close(pcm);
      return nullptr;
    }
    return std::make_unique<AlsaStream>(pcm);
  }
};

}  // namespace

std::unique_ptr<AudioCapture> CreateSystemAudioCapture() { return std::make_unique<AlsaCapture>(); }

}  // namespace platform
