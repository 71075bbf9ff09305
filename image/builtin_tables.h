#pragma once
// The built-in product tables: the IC-type descriptions the program carries
// and the names of its built-in images. The bytes themselves are resources
// (platform/resources.h): descriptions of type "ICINI", images of type
// "BINARY", under the identifiers below.
#include <span>
#include <string_view>

struct NamedId {
  std::string_view name;
  int id;
};

inline constexpr char kDescriptionResourceType[] = "ICINI";
inline constexpr char kImageResourceType[] = "BINARY";

// The built-in descriptions, in list order.
std::span<const NamedId> BuiltInDescriptions();
// Rows of the built-in image table, in table order: the chip default images
// FFU_<chip>, then the device images FFU_<VID>_<PID>.
std::span<const NamedId> BuiltInImageTable();
// Bus names of the descriptions' "Bus Type" and their bus type codes.
std::span<const NamedId> BusTable();
