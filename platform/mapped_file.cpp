#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

std::unique_ptr<MappedFile> MappedFile::Open(const std::string& path, std::size_t size, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  struct stat info {};
  void* data = MAP_FAILED;
  if (size == 0 || fstat(fd, &info) != 0 || std::size_t(info.st_size) != size) {
    error = path + ": not " + std::to_string(size) + " bytes long";
  } else {
    data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) error = path + ": " + std::strerror(errno);
  }
  close(fd);  // the mapping keeps the file
  if (data == MAP_FAILED) return nullptr;
  return std::unique_ptr<MappedFile>(new MappedFile(static_cast<std::uint8_t*>(data), size));
}

MappedFile::~MappedFile() { munmap(data_, size_); }

}  // namespace platform
