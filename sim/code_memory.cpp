#include "sim/code_memory.h"

#include <algorithm>

namespace sim {

namespace {

struct KindRow {
  MemoryKind kind;
  const char* name;
  std::uint32_t size;
};

constexpr KindRow kKinds[] = {
    {MemoryKind::kSpiFlash, "spi", 0x80000},   {MemoryKind::kNorFlash, "nor", 0x10000},
    {MemoryKind::kEeprom8, "eeprom8", 0x800},  {MemoryKind::kEeprom16, "eeprom16", 0x10000},
    {MemoryKind::kOtp, "otp", 0x4000},
};

const KindRow& RowOf(MemoryKind kind) {
  for (const KindRow& row : kKinds) {
    if (row.kind == kind) return row;
  }
  return kKinds[0];
}

}  // namespace

const char* MemoryKindName(MemoryKind kind) { return RowOf(kind).name; }
std::uint32_t MemorySize(MemoryKind kind) { return RowOf(kind).size; }
std::uint8_t ErasedByte(MemoryKind kind) { return kind == MemoryKind::kOtp ? 0x00 : 0xFF; }

bool ParseMemoryKind(const std::string& text, MemoryKind& kind) {
  for (const KindRow& row : kKinds) {
    if (text == row.name) {
      kind = row.kind;
      return true;
    }
  }
  return false;
}

CodeMemory::CodeMemory(MemoryKind kind) : kind_(kind), own_(MemorySize(kind), ErasedByte(kind)), bytes_(own_) {}

void CodeMemory::UseStorage(std::span<std::uint8_t> storage) {
  if (storage.size() != bytes_.size()) return;
  bytes_ = storage;
  own_ = {};
}

void CodeMemory::Load(const std::vector<std::uint8_t>& content) {
  std::fill(bytes_.begin(), bytes_.end(), ErasedByte(kind_));
  std::copy_n(content.begin(), std::min(content.size(), bytes_.size()), bytes_.begin());
}

std::uint8_t CodeMemory::Read(std::uint32_t address) const {
  if (IsEeprom(kind_)) return bytes_[address % bytes_.size()];
  return address < bytes_.size() ? bytes_[address] : ErasedByte(kind_);
}

bool CodeMemory::WriteStatus(std::uint8_t value, bool wpPinHigh) {
  if ((status_ & kSrWriteDisable) && !wpPinHigh) return false;
  status_ = value & (kSrBlockProtect | kSrWriteDisable);
  return true;
}

void CodeMemory::Program(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
  if (Protected()) return;
  for (std::uint32_t i = 0; i < length && address + i < bytes_.size(); ++i)
    bytes_[address + i] &= data[i] | StuckMask(address + i);
}

std::uint8_t CodeMemory::StuckMask(std::uint32_t address) const {
  auto stuck = stuck_.find(address);
  return stuck == stuck_.end() ? 0 : stuck->second;
}

void CodeMemory::Erase(std::uint32_t address, std::uint32_t length) {
  if (Protected() || address >= bytes_.size()) return;
  const std::uint32_t end = std::min<std::uint32_t>(address + length, Size());
  std::fill(bytes_.begin() + address, bytes_.begin() + end, 0xFF);
}

void CodeMemory::Store(std::uint32_t address, const std::uint8_t* data, std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i) {
    std::uint8_t& cell = bytes_[(address + i) % bytes_.size()];
    const std::uint8_t keep = StuckMask(std::uint32_t((address + i) % bytes_.size()));
    cell = std::uint8_t((data[i] & ~keep) | (cell & keep));
  }
}

void CodeMemory::ProgramOtp(std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
                            std::vector<std::uint32_t>& failed, std::size_t corrections) {
  for (std::uint32_t i = 0; i < length && failed.size() <= corrections; ++i) {
    const std::uint32_t at = address + i;
    if (at >= bytes_.size()) {
      failed.push_back(at);
      continue;
    }
    bytes_[at] |= data[i] & ~StuckMask(at);
    if ((data[i] & ~bytes_[at]) != 0) failed.push_back(at);
  }
}

}  // namespace sim
