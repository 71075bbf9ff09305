// tessaload: the firmware programming tool. No arguments (or "/forcerestart")
// opens the operator window; "-f ..." runs one factory action; "gang" and
// "station" supervise one job process per codec.
//
// The window is built into a program of its own, tessaload-window, from this
// same file; tessaload starts it in window mode. So the command line, and
// every job process of a gang or a station, starts without loading Qt and the
// libraries it brings, which would cost more than the rest of a job's start-up.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/gang/gang_command.h"
#include "app/quillox_app.h"
#include "app/window_mode.h"
#include "platform/paths.h"
#if TESSALOAD_WITH_WINDOW
#include "ui/window_entry.h"
#endif

int main(int argc, char** argv) {
#if TESSALOAD_WITH_WINDOW
  SetWindowModeEntry(&RunOperatorWindow);
#endif
  std::vector<std::string> args(argv, argv + argc);
#ifdef TESSALOAD_WINDOW_PROGRAM
  if (IsWindowModeCommandLine(args)) {
    // The window program beside this one, with the same arguments.
    const std::string window = platform::ProgramFolderWithSeparator() + TESSALOAD_WINDOW_PROGRAM;
    execv(window.c_str(), argv);
    std::fprintf(stderr, "tessaload: the operator window program %s cannot be started: %s\n", window.c_str(),
                 std::strerror(errno));
    return 1;
  }
#endif
  if (args.size() > 1 && args[1] == "gang") return RunGangCommand(args);
  if (args.size() > 1 && args[1] == "station") return RunStationCommand(args);
  CQuilloxApp app;
  app.InitInstance(args);
  return app.ExitInstance();
}
