#pragma once
// Connected local stream sockets (a socket pair): one end can be handed to
// the kernel by its descriptor number, the other is read and written here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class LocalSocket {
 public:
  LocalSocket() = default;
  ~LocalSocket() { Close(); }
  LocalSocket(LocalSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  LocalSocket& operator=(LocalSocket&& other) noexcept;
  LocalSocket(const LocalSocket&) = delete;
  LocalSocket& operator=(const LocalSocket&) = delete;

  // A connected pair; false with `error` when the system refuses.
  static bool Pair(LocalSocket& a, LocalSocket& b, std::string& error);

  bool Open() const { return fd_ >= 0; }
  // The descriptor number in this process (what the kernel's attach file asks for).
  int Descriptor() const { return fd_; }
  // Appends what has arrived, without waiting. False when the peer has
  // closed its end or the socket failed.
  bool ReadAvailable(std::vector<std::uint8_t>& out);
  // Writes everything, waiting while the peer's buffer is full. False when
  // the peer is gone.
  bool WriteAll(const std::uint8_t* bytes, std::size_t size);
  void Close();

 private:
  int fd_ = -1;
};

// Waits up to `timeoutMs` until one of the sockets has something to read (or
// its peer closed). Returns at once when none of them is open: waiting for
// nothing goes through a Clock.
void WaitReadable(const std::vector<const LocalSocket*>& sockets, std::uint32_t timeoutMs);

// Writes `text` to a kernel attribute file in one write; false with `error`
// (the system's message) when the kernel refuses it.
bool WriteAttributeFile(const std::string& path, const std::string& text, std::string& error);

}  // namespace platform
