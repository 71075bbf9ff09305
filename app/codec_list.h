#pragma once
// The connected codecs of the accepted identities, as `tessaload list` shows
// them and as the subcommands choose one: by USB port path or serial number,
// never by a position that shifts when a codec comes or goes.
#include <cstdint>
#include <string>
#include <vector>

struct CodecEntry {
  int position = 0;             // the device library's position, valid until the bus changes
  std::string port;             // USB port path, "1-1.3"
  std::uint32_t portNumber = 0;  // the remembered location the flows find it again by
  std::uint32_t parent = 0;
  std::uint16_t vid = 0, pid = 0, rev = 0;
  bool bootRom = false;  // waiting in its boot ROM, not running its firmware
  std::string chip;      // the IC description's chip name
  int family = -1;
  std::string memory;   // the code memory's name
  std::string version;  // the running version
  std::string manufacturer;
  std::string serial;
};

// Every accepted codec on the bus, in bus order; with `onlyPort`, only the
// one on that port: the others are not opened, so a job never waits for, or
// disturbs, a codec another program is working on. Uses the current flow
// object and leaves it without an open device.
std::vector<CodecEntry> ListCodecs(const std::string& onlyPort = {});

// The name of a memory type: "SPI flash", "NOR flash", "EEPROM 8-bit",
// "EEPROM 16-bit", "MTP", "OTP"; "" for another value.
std::string MemoryTypeName(int memoryType);

// "VID:PID:REV" in lower-case hexadecimal.
std::string IdentityOf(const CodecEntry& codec);

// One line of `tessaload list`: port, VID:PID:REV, mode, chip and family,
// memory, version, manufacturer and serial.
std::string CodecLine(const CodecEntry& codec);

// What the subcommands choose from the list.
struct CodecSelection {
  std::string port;    // empty: any port
  std::string serial;  // empty: any serial
};

enum class SelectionResult { kChosen, kNone, kSeveral };

// With neither port nor serial the only codec present; else the one on that
// port or with that serial. `chosen` is set for kChosen; several codecs with
// no selection (or one serial on several codecs) give kSeveral.
SelectionResult ChooseCodec(const std::vector<CodecEntry>& codecs, const CodecSelection& selection,
                            CodecEntry& chosen);
