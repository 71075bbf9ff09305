#pragma once
// Small lookups on a snapshot of the USB host's device tree.
#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/usb_host.h"

inline const platform::UsbNode* FindNode(const std::vector<platform::UsbNode>& nodes, std::uint32_t instance) {
  for (const auto& n : nodes)
    if (n.instance == instance) return &n;
  return nullptr;
}

inline bool ContainsNoCase(std::string_view text, std::string_view part) {
  auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  });
  return it != text.end() || part.empty();
}

// The position of "MI_" in an instance path, or npos.
inline std::size_t FunctionMarker(std::string_view instancePath) {
  for (std::size_t i = 0; i + 3 <= instancePath.size(); ++i)
    if (ContainsNoCase(instancePath.substr(i, 3), "MI_")) return i;
  return std::string_view::npos;
}
