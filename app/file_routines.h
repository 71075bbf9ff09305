#pragma once
// File and path routines. Names are UTF-8; a backslash in a name is taken as
// the path separator, so names written for the tool's Windows scripts work.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The program folder, with and without the trailing separator.
std::string ProgramFolderPath();
std::string ProgramFolderPathWithSeparator();

// Backslashes become '/'; a relative name is taken from the program folder.
std::string FullPath(const std::string& name);

// Replaces the file by the whole buffer (written beside it, then moved into
// place, so a failed write leaves no part file); false when the name or the
// buffer is empty or the file cannot be written.
bool WriteWholeFile(const std::string& name, std::span<const std::uint8_t> data);
// Each byte as two upper-case hex digits and a blank, CR LF after every 16.
bool WriteHexText(const std::string& name, std::span<const std::uint8_t> data);
// The hex text itself.
std::string HexText(std::span<const std::uint8_t> data);
// Size of an existing file, 0 when it cannot be opened.
std::uint64_t FileSize(const std::string& name);
// Exactly `count` bytes from the start of the file; false when it is shorter
// or cannot be opened.
bool ReadFileBytes(const std::string& name, std::size_t count, std::vector<std::uint8_t>& out);
// True for an existing file that is not a folder (relative names count from
// the current directory).
bool FileExists(const std::string& name);
// Creates every missing folder level; shows "Create Directory (%s) : Failed !"
// for the level that cannot be created and returns false.
bool CreateFolderPath(const std::string& name);

// UTF-16 (USB string descriptors) to and from the program's UTF-8 text. Each
// result lives in its own storage.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
