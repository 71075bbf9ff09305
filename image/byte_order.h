#pragma once
// Little- and big-endian field access over byte spans. Callers check the span
// is long enough; these helpers never read or write beyond what they are given.
#include <cstddef>
#include <cstdint>
#include <span>

namespace bytes {

inline std::uint32_t Read(std::span<const std::uint8_t> p, std::size_t offset, std::size_t width,
                          bool bigEndian) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    const std::uint8_t b = p[offset + (bigEndian ? i : width - 1 - i)];
    value = (value << 8) | b;
  }
  return value;
}

inline void Write(std::span<std::uint8_t> p, std::size_t offset, std::size_t width, bool bigEndian,
                  std::uint32_t value) {
  for (std::size_t i = 0; i < width; ++i) {
    const std::uint8_t b = std::uint8_t(value >> (8 * i));
    p[offset + (bigEndian ? width - 1 - i : i)] = b;
  }
}

inline std::uint16_t Le16(std::span<const std::uint8_t> p, std::size_t offset) {
  return std::uint16_t(Read(p, offset, 2, false));
}

inline void PutLe16(std::span<std::uint8_t> p, std::size_t offset, std::uint32_t value) {
  Write(p, offset, 2, false, value);
}

}  // namespace bytes
