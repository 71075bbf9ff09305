#include "app/window_mode.h"

#include <cstdio>

namespace {
WindowModeEntry installed = nullptr;
}  // namespace

void SetWindowModeEntry(WindowModeEntry entry) { installed = entry; }

int RunWindowMode(const WindowModeContext& context) {
  if (installed) return installed(context);
  std::printf("This build carries no operator window; use the command line (-f).\n");
  return 0;
}
