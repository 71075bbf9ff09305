#include "app/file_routines.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/paths.h"
#include "platform/prompter.h"

std::string ProgramFolderPath() { return platform::ProgramFolder(); }
std::string ProgramFolderPathWithSeparator() { return platform::ProgramFolderWithSeparator(); }

std::string FullPath(const std::string& name) {
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = platform::kPathSeparator;
  if (!path.empty() && path.front() == platform::kPathSeparator) return path;
  return platform::ProgramFolderWithSeparator() + path;
}

namespace {

// Writes `bytes` to a new file beside `name` and moves it into place: the file
// is then either the whole new content or untouched, never a part of it.
bool ReplaceFile(const std::string& name, std::string_view bytes) {
  std::error_code ec;
  if (std::filesystem::exists(name, ec) && !std::filesystem::is_regular_file(name, ec)) return false;
  const std::string temporary = name + ".part";
  bool ok = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(bytes.data(), std::streamsize(bytes.size()));
      out.close();
      ok = !out.fail();
    }
  }
  if (ok) {
    std::filesystem::rename(temporary, name, ec);
    ok = !ec;
  }
  if (!ok) std::filesystem::remove(temporary, ec);
  return ok;
}

}  // namespace

bool WriteWholeFile(const std::string& name, std::span<const std::uint8_t> data) {
  if (name.empty() || data.empty()) return false;
  return ReplaceFile(name, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
}

std::string HexText(std::span<const std::uint8_t> data) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 3 + data.size() / 8);
  for (size_t i = 0; i < data.size(); ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 15];
    text += ' ';
    if (i % 16 == 15) text += "\r\n";
  }
  return text;
}

bool WriteHexText(const std::string& name, std::span<const std::uint8_t> data) {
  return !name.empty() && ReplaceFile(name, HexText(data));
}

std::uint64_t FileSize(const std::string& name) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return 0;
  const auto size = std::filesystem::file_size(name, ec);
  return ec ? 0 : std::uint64_t(size);
}

bool ReadFileBytes(const std::string& name, std::size_t count, std::vector<std::uint8_t>& out) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  out.assign(count, 0);
  in.read(reinterpret_cast<char*>(out.data()), std::streamsize(count));
  if (std::size_t(in.gcount()) != count) {
    out.clear();
    return false;
  }
  return true;
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(name, ec) && !std::filesystem::is_directory(name, ec);
}

bool CreateFolderPath(const std::string& name) {
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty() || path.front() != '/') path = platform::CurrentDirectory() + "/" + path;
  size_t pos = 1;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    const std::string level = path.substr(0, next);
    std::error_code ec;
    if (next > pos && !std::filesystem::exists(level, ec) && !std::filesystem::create_directory(level, ec)) {
      char text[600];
      std::snprintf(text, sizeof text, "Create Directory (%s) : Failed !", level.c_str());
      platform::CurrentPrompter().Show(text);
      return false;
    }
    pos = next + 1;
  }
  return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = 0xFFFD;  // a lone surrogate
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    std::uint32_t c = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      if (i + len > text.size()) {
        len = text.size() - i;
      } else {
        c = b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
          const unsigned char t = static_cast<unsigned char>(text[i + k]);
          if ((t & 0xC0) != 0x80) {
            c = 0xFFFD;
            len = k;
            break;
          }
          c = (c << 6) | (t & 0x3F);
        }
      }
    }
    i += len;
    if (c >= 0x10000 && c < 0x110000) {
      c -= 0x10000;
      out += char16_t(0xD800 + (c >> 10));
      out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      out += char16_t(c > 0xFFFF ? 0xFFFD : c);
    }
  }
  return out;
}
