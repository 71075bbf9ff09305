#include "platform/resources.h"

#include <strings.h>

namespace platform {

std::span<const std::uint8_t> FindResource(std::string_view type, int id) {
  for (const ResourceEntry* e = kResourceTable; e->type; ++e) {
    std::string_view t(e->type);
    if (e->id == id && t.size() == type.size() &&
        strncasecmp(t.data(), type.data(), t.size()) == 0)
      return {e->data, e->size};
  }
  return {};
}

}  // namespace platform
