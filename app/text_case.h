#pragma once
// Comparisons of ASCII text without regard to letter case.
#include <algorithm>
#include <cctype>
#include <string_view>

inline bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

inline bool ContainsTextNoCase(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  return std::search(text.begin(), text.end(), part.begin(), part.end(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         }) != text.end();
}
