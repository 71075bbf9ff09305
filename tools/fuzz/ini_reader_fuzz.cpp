// libFuzzer target: the INI reader over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "image/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CIniFile ini;
  ini.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
  for (int s = 0; s < ini.SectionCount(); ++s) {
    for (const std::string& key : ini.SectionKeys(s)) ini.GetInt(s, key, 0);
  }
  ini.GetString("Vendor Info M1", "ConfigAddress", "");
  return 0;
}
