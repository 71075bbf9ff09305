#pragma once
// The caller's memory as the proxy driver sees it. Records and URBs carry
// 32-bit addresses; a buffer is given an address for the time of one request
// and the driver resolves an address and a length back to the buffer,
// refusing anything outside what was given. (A 64-bit process cannot put its
// pointers into the narrow layout's 32-bit fields; addresses also keep the
// driver from touching memory it was not handed.)
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>

class ProxyMemory {
 public:
  // Regions start at multiples of this and are at most this long.
  static constexpr std::uint32_t kRegionSize = 0x10000;

  // The address of the buffer, 0 when it is longer than a region or every
  // region is in use.
  std::uint32_t Map(std::uint8_t* data, std::size_t size);
  void Unmap(std::uint32_t address);
  // The bytes at [address, address + size) when they lie inside one mapped
  // buffer; null otherwise.
  std::uint8_t* Resolve(std::uint32_t address, std::size_t size);

 private:
  struct Region {
    std::uint8_t* data;
    std::size_t size;
  };
  std::mutex mutex_;
  std::map<std::uint32_t, Region> regions_;  // by region number
  std::uint32_t next_ = 1;
};

// Maps a buffer for the lifetime of the object.
class ProxyMapping {
 public:
  ProxyMapping(ProxyMemory& memory, std::uint8_t* data, std::size_t size)
      : memory_(memory), address_(memory.Map(data, size)) {}
  ~ProxyMapping() {
    if (address_) memory_.Unmap(address_);
  }
  ProxyMapping(const ProxyMapping&) = delete;
  ProxyMapping& operator=(const ProxyMapping&) = delete;
  std::uint32_t Address() const { return address_; }

 private:
  ProxyMemory& memory_;
  std::uint32_t address_;
};
