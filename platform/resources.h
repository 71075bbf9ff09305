#pragma once
// Compiled-in resources of the program file, by type ("ICINI", "BINARY") and
// id. The table is generated at build time from resources/.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace platform {

struct ResourceEntry {
  const char* type;
  int id;
  const unsigned char* data;
  std::size_t size;
};

// Ends with an entry whose type is null.
extern const ResourceEntry kResourceTable[];

// The bytes of resource (type, id); empty when the program has no such
// resource. Types compare without regard to case.
std::span<const std::uint8_t> FindResource(std::string_view type, int id);

}  // namespace platform
