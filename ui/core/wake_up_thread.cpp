#include "ui/core/wake_up_thread.h"

#include <cstdint>
#include <new>
#include <system_error>
#include <vector>

#include "app/text_case.h"
#include "platform/audio_capture.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kBufferMs = 20;
constexpr std::uint32_t kPassMs = 50;
constexpr std::size_t kMaxNameLength = 255;
constexpr int kReadWaitMs = 5;

std::string EndpointName(const platform::CaptureEndpoint& endpoint) {
  const std::string& friendly = endpoint.friendlyName.empty() ? std::string("Unknown") : endpoint.friendlyName;
  std::string name = friendly + " (" + endpoint.id + ")";
  if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
  return name;
}

// One pass's capture: fills the buffer with what arrives until shutdown.
void Capture(platform::CaptureStream& stream, std::vector<std::uint8_t>& buffer,
             const std::atomic<bool>& shutdown) {
  const std::uint32_t frameBytes = stream.FrameBytes();
  std::vector<std::uint8_t> packet(buffer.size() + frameBytes);
  std::size_t filled = 0;
  while (!shutdown.load()) {
    const int frames = stream.Read(packet.data(), std::uint32_t(packet.size() / frameBytes), kReadWaitMs);
    if (frames < 0) break;
    const std::size_t fit = std::min<std::size_t>(std::size_t(frames), (buffer.size() - filled) / frameBytes);
    std::copy_n(packet.begin(), fit * frameBytes, buffer.begin() + std::ptrdiff_t(filled));
    filled += fit * frameBytes;
  }
}

}  // namespace

CWakeUpThread::CWakeUpThread(platform::AudioCapture& audio, platform::Clock& clock)
    : audio_(audio), clock_(clock), thread_([this] { CaptureStep(); }) {}

CWakeUpThread::~CWakeUpThread() { Stop(); }

void CWakeUpThread::Stop() {
  stop_ = 1;
  while (!done_.WaitRealMs(1000)) {
  }
  if (thread_.joinable()) thread_.join();
}

std::string CWakeUpThread::EndpointName() const {
  std::lock_guard lock(nameMutex_);
  return endpointName_;
}

void CWakeUpThread::CaptureStep() {
  std::unique_ptr<platform::CaptureStream> stream;
  for (const platform::CaptureEndpoint& endpoint : audio_.Endpoints()) {
    const std::string name = ::EndpointName(endpoint);
    if (!ContainsTextNoCase(name, "USB")) continue;
    {
      std::lock_guard lock(nameMutex_);
      endpointName_ = name;
    }
    stream = audio_.Open(endpoint, kBufferMs);
    break;
  }
  while (stream && !stop_.load()) {
    std::vector<std::uint8_t> buffer;
    try {
      buffer.resize(std::size_t(stream->FrameBytes()) * stream->SampleRate() / 20);
    } catch (const std::bad_alloc&) {
      break;
    }
    std::atomic<bool> shutdown{false};
    std::thread capture;
    try {
      capture = std::thread([&] { Capture(*stream, buffer, shutdown); });
    } catch (const std::system_error&) {
      break;
    }
    const bool started = stream->Start();
    if (started) clock_.SleepMs(kPassMs);
    shutdown = true;
    stream->Stop();
    capture.join();
    if (!started) break;
    ++passes_;
  }
  stream.reset();
  done_.Set();
}
