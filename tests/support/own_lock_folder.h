#pragma once
// Each test program orders its processes with locks of its own: tests that
// run side by side never wait on each other's locks, and the programs a test
// starts share its folder (TESSALOAD_LOCK_DIR).
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <utility>

class OwnLockFolder {
 public:
  OwnLockFolder() {
    if (getenv("TESSALOAD_LOCK_DIR")) return;
    std::string pattern = "/tmp/tessaload-test-locks-XXXXXX";
    if (!mkdtemp(pattern.data())) return;
    folder_ = std::move(pattern);
    setenv("TESSALOAD_LOCK_DIR", folder_.c_str(), 1);
  }
  ~OwnLockFolder() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  OwnLockFolder(const OwnLockFolder&) = delete;
  OwnLockFolder& operator=(const OwnLockFolder&) = delete;

 private:
  std::string folder_;
};
