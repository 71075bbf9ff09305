#pragma once
// Audio capture endpoints and short capture streams on them: the keep-awake
// thread holds a USB audio input open with these so that the codec stays out
// of its low-power state. The system's implementation is ALSA.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct CaptureEndpoint {
  std::string friendlyName;  // the description; empty when it has none
  std::string id;            // the identifier the stream is opened with
};

// One opened capture stream, in the endpoint's own format.
class CaptureStream {
 public:
  virtual ~CaptureStream() = default;
  virtual std::uint32_t FrameBytes() const = 0;
  virtual std::uint32_t SampleRate() const = 0;
  virtual bool Start() = 0;
  // Reads up to `maxFrames` frames that are there, waiting at most `waitMs`
  // for the first: the frame count, 0 when none came, -1 on failure.
  virtual int Read(std::uint8_t* out, std::uint32_t maxFrames, int waitMs) = 0;
  virtual void Stop() = 0;
};

class AudioCapture {
 public:
  virtual ~AudioCapture() = default;
  // The capture endpoints in the order the system lists them.
  virtual std::vector<CaptureEndpoint> Endpoints() = 0;
  // Opens a stream with a buffer of about `bufferMs`; null when the endpoint
  // cannot be set up.
  virtual std::unique_ptr<CaptureStream> Open(const CaptureEndpoint& endpoint, std::uint32_t bufferMs) = 0;
};

// The system's capture endpoints (ALSA's capture PCMs by their name hints);
// a build without ALSA lists none.
std::unique_ptr<AudioCapture> CreateSystemAudioCapture();

}  // namespace platform
