// tessaload: the firmware programming tool. No arguments (or "/forcerestart")
// opens the operator window; "-f ..." runs one factory action.
#include <string>
#include <vector>

#include "app/quillox_app.h"
#include "app/window_mode.h"
#if TESSALOAD_WITH_WINDOW
#include "ui/window_entry.h"
#endif

int main(int argc, char** argv) {
#if TESSALOAD_WITH_WINDOW
  SetWindowModeEntry(&RunOperatorWindow);
#endif
  std::vector<std::string> args(argv, argv + argc);
  CQuilloxApp app;
  app.InitInstance(args);
  return app.ExitInstance();
}
