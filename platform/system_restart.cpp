#include "platform/system_restart.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace platform {

bool ServiceRestart::Request(std::string& error) {
  char command[] = "systemctl";
  char verb[] = "reboot";
  char* argv[] = {command, verb, nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, command, nullptr, nullptr, argv, environ) != 0) {
    error = "systemctl could not be started";
    return false;
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "systemctl reboot was refused";
    return false;
  }
  return true;
}

}  // namespace platform
