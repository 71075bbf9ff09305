// tessaload: the firmware programming tool. No arguments (or "/forcerestart")
// opens the operator window; "-f ..." runs one factory action; "gang" and
// "station" supervise one job process per codec.
#include <string>
#include <vector>

#include "app/gang/gang_command.h"
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
  if (args.size() > 1 && args[1] == "gang") return RunGangCommand(args);
  if (args.size() > 1 && args[1] == "station") return RunStationCommand(args);
  CQuilloxApp app;
  app.InitInstance(args);
  return app.ExitInstance();
}
