#include "device/proxy_memory.h"

namespace {
// Region numbers 1 to 0x7FFE: addresses stay below 0x7FFF0000, so a wide
// URB's sign-extended buffer pointer always has a zero high half.
constexpr std::uint32_t kLastRegion = 0x7FFE;
}  // namespace

std::uint32_t ProxyMemory::Map(std::uint8_t* data, std::size_t size) {
  if (size > kRegionSize) return 0;
  std::lock_guard lock(mutex_);
  for (std::uint32_t tried = 0; tried < kLastRegion; ++tried) {
    const std::uint32_t region = next_;
    next_ = next_ == kLastRegion ? 1 : next_ + 1;
    if (regions_.try_emplace(region, Region{data, size}).second) return region * kRegionSize;
  }
  return 0;
}

void ProxyMemory::Unmap(std::uint32_t address) {
  std::lock_guard lock(mutex_);
  regions_.erase(address / kRegionSize);
}

std::uint8_t* ProxyMemory::Resolve(std::uint32_t address, std::size_t size) {
  std::lock_guard lock(mutex_);
  auto it = regions_.find(address / kRegionSize);
  if (it == regions_.end()) return nullptr;
  const std::size_t offset = address % kRegionSize;
  if (offset > it->second.size || size > it->second.size - offset) return nullptr;
  return it->second.data + offset;
}
