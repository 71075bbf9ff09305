#pragma once
// A file mapped into memory and shared with every other process that maps it:
// a store into the bytes is the file's content at once, for readers in other
// processes and after this process ends, however it ends.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

class MappedFile {
 public:
  // Maps the whole of an existing file of exactly `size` bytes (not 0) for
  // reading and writing. Null, with `error` naming the problem, otherwise.
  static std::unique_ptr<MappedFile> Open(const std::string& path, std::size_t size, std::string& error);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::span<std::uint8_t> Bytes() { return {data_, size_}; }

 private:
  MappedFile(std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace platform
