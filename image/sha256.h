#pragma once
// SHA-256 of a byte string, for naming exactly which image a job wrote.
#include <array>
#include <cstdint>
#include <span>
#include <string>

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> bytes);
  // The digest of everything given so far; the object is spent afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Block(const std::uint8_t* block);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingSize_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);
