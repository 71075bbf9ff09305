#include "platform/local_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

LocalSocket& LocalSocket::operator=(LocalSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool LocalSocket::Pair(LocalSocket& a, LocalSocket& b, std::string& error) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    error = std::string("socketpair: ") + std::strerror(errno);
    return false;
  }
  a.Close();
  b.Close();
  a.fd_ = fds[0];
  b.fd_ = fds[1];
  return true;
}

bool LocalSocket::ReadAvailable(std::vector<std::uint8_t>& out) {
  if (fd_ < 0) return false;
  std::uint8_t buffer[16384];
  for (;;) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      out.insert(out.end(), buffer, buffer + n);
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

bool LocalSocket::WriteAll(const std::uint8_t* bytes, std::size_t size) {
  while (fd_ >= 0 && size > 0) {
    const ssize_t n = send(fd_, bytes, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    size -= std::size_t(n);
  }
  return fd_ >= 0;
}

void LocalSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void WaitReadable(const std::vector<const LocalSocket*>& sockets, std::uint32_t timeoutMs) {
  std::vector<pollfd> fds;
  for (const LocalSocket* s : sockets) {
    if (s->Open()) fds.push_back({s->Descriptor(), POLLIN, 0});
  }
  if (fds.empty()) return;
  while (poll(fds.data(), fds.size(), int(timeoutMs)) < 0 && errno == EINTR) {
  }
}

bool WriteAttributeFile(const std::string& path, const std::string& text, std::string& error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const ssize_t n = write(fd, text.data(), text.size());
  const int writeErrno = errno;
  close(fd);
  if (n != ssize_t(text.size())) {
    error = path + ": " + (n < 0 ? std::strerror(writeErrno) : "short write");
    return false;
  }
  return true;
}

}  // namespace platform
