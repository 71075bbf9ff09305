#include "app/debug_capture.h"

#include <cstdio>

#include "platform/process.h"

bool DebugCapture::Start(const std::string& path) {
  Stop();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  reader_ = std::make_unique<platform::DebugOutputReader>();
  std::printf("Tracing PID: %d\n", static_cast<int>(platform::CurrentProcessId()));
  std::fflush(stdout);
  thread_ = std::thread(&DebugCapture::Run, this, file);
  return true;
}

void DebugCapture::Run(std::FILE* file) {
  std::string text;
  while (reader_->Read(text)) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
  }
  std::fclose(file);
}

void DebugCapture::Stop() {
  if (!thread_.joinable()) return;
  reader_->Wake();
  thread_.join();
  reader_.reset();
}
