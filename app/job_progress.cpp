#include "app/job_progress.h"

#include <algorithm>
#include <cctype>

#include "app/job_json.h"
#include "app/status_codes.h"
#include "flow/job_phase_marks.h"

namespace {

constexpr int kBarWidth = 30;

void Out(std::FILE* file, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
}

}  // namespace

std::string CodecName(const std::string& port, const std::string& serial) {
  return serial.empty() ? port : port + " " + serial;
}

JobProgress::JobProgress(Mode mode, std::string port, std::string serial)
    : mode_(mode), port_(std::move(port)), serial_(std::move(serial)) {
  SetNotifySink(this);
}

JobProgress::~JobProgress() {
  SetNotifySink(nullptr);
  Finish();
}

std::string JobProgress::PhaseName(int status) {
  if (const char* name = JobPhaseNameOf(status)) return name;
  std::string text = StatusText(status);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  while (!text.empty() && (text.back() == '!' || text.back() == '.')) text.pop_back();
  return text;
}

int JobProgress::Post(std::uint32_t message, std::intptr_t wparam, std::intptr_t) {
  std::lock_guard lock(mutex_);
  if (message == kMsgPhase && wparam != 0) {
    const int status = int(wparam);
    phase_ = PhaseName(status);
    percent_ = -1;
    if (mode_ == Mode::kJson) Out(stdout, JsonPhaseLine(port_, serial_, phase_, status, StatusText(status)));
    if (mode_ == Mode::kTerminal) {
      if (lineOpen_) Out(stderr, "\n");
      lineOpen_ = true;
      Draw();
    }
  } else if (message == kMsgProgress) {
    const int percent = std::clamp(int(wparam), 0, 100);
    if (percent == percent_) return 0;
    percent_ = percent;
    if (mode_ == Mode::kJson) Out(stdout, JsonProgressLine(port_, serial_, percent));
    if (mode_ == Mode::kTerminal) {
      lineOpen_ = true;
      Draw();
    }
  }
  // As without a window: nothing was queued, so the flows go on exactly as on the factory form.
  return 0;
}

void JobProgress::Draw() {
  std::string line = "\r" + CodecName(port_, serial_) + ": " + (phase_.empty() ? std::string("working") : phase_);
  if (percent_ >= 0) {
    const int filled = percent_ * kBarWidth / 100;
    line += " [" + std::string(std::size_t(filled), '#') + std::string(std::size_t(kBarWidth - filled), '.') + "] " +
            std::to_string(percent_) + "%";
  }
  Out(stderr, line + "\033[K");
}

void JobProgress::Finish() {
  std::lock_guard lock(mutex_);
  if (lineOpen_) Out(stderr, "\n");
  lineOpen_ = false;
}
