#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace platform {

std::string ProgramPath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  if (path.empty()) return ".";
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ProgramFolderWithSeparator() {
  std::string folder = ProgramFolder();
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

std::string CurrentDirectory() {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) return ".";
  return buf;
}

namespace {

// A folder every user can create lock files in: sticky and writable by all,
// like /tmp itself. False when it is not (or cannot be made) one.
bool SharedFolder(const std::string& folder) {
  if (mkdir(folder.c_str(), 01777) == 0) chmod(folder.c_str(), 01777);  // past the umask
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if ((st.st_mode & 01777) != 01777 && chmod(folder.c_str(), 01777) != 0) return false;
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string LockFolder() {
  // One folder for the whole machine, whoever runs the program, so that the
  // locks order the processes of every user (the per-user runtime folder
  // would not, and may not even be usable after su).
  // TESSALOAD_LOCK_DIR names another folder, for programs that must not
  // order themselves with the rest of the machine (each test run has its own).
  static const std::string folder = [] {
    if (const char* own = std::getenv("TESSALOAD_LOCK_DIR"); own && *own && SharedFolder(own)) return std::string(own);
    for (const char* candidate : {"/run/lock/tessaload", "/tmp/tessaload-locks"})
      if (SharedFolder(candidate)) return std::string(candidate);
    return std::string("/tmp");
  }();
  return folder;
}

}  // namespace platform
