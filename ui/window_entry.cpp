#include "ui/window_entry.h"

#include <QApplication>
#include <cstdio>

#include "platform/audio_capture.h"
#include "platform/process.h"
#include "platform/system_restart.h"
#include "ui/main_window.h"
#include "ui/qt_prompter.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    if (const char* value = platform::Environment(name); value && *value) return true;
  return false;
}

}  // namespace

int RunOperatorWindow(const WindowModeContext& context) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "The operator window needs a display (DISPLAY or WAYLAND_DISPLAY, or QT_QPA_PLATFORM=offscreen); "
                 "factory scripts use the command line (-f).\n");
    return 1;
  }
  static int argc = 1;
  static char name[] = "tessaload";
  static char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QtPrompter prompter;
  platform::SetCurrentPrompter(&prompter);
  platform::ServiceRestart restart;
  const auto audio = platform::CreateSystemAudioCapture();
  {
    CTessaload_AllInOne_VxproxyDlg window(WindowServices{context, &restart, audio.get(), {}});
    window.exec();
  }
  platform::SetCurrentPrompter(nullptr);
  return 0;
}
