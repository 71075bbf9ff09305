#pragma once
// Little-endian fields in byte buffers: records, URBs, descriptors.
#include <cstdint>

inline void PutLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
  PutLe16(p, std::uint16_t(v));
  PutLe16(p + 2, std::uint16_t(v >> 16));
}
inline void PutLe64(std::uint8_t* p, std::uint64_t v) {
  PutLe32(p, std::uint32_t(v));
  PutLe32(p + 4, std::uint32_t(v >> 32));
}
inline std::uint16_t GetLe16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t GetLe32(const std::uint8_t* p) { return GetLe16(p) | (std::uint32_t(GetLe16(p + 2)) << 16); }
inline std::uint64_t GetLe64(const std::uint8_t* p) { return GetLe32(p) | (std::uint64_t(GetLe32(p + 4)) << 32); }
