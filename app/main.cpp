// tessaload: the firmware programming tool. No arguments (or "/forcerestart")
// opens the operator window; "-f ..." runs one factory action.
#include <string>
#include <vector>

#include "app/quillox_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  CQuilloxApp app;
  app.InitInstance(args);
  return app.ExitInstance();
}
