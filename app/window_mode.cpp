#include "app/window_mode.h"

#include <cstdio>

// This build carries no operator window: say so plainly and leave.
int RunWindowMode() {
  std::printf("The operator window is not part of this build yet; use the command line (-f).\n");
  return 0;
}
