#pragma once
// The program-wide values every layer reads. Start-up writes them before any
// other thread exists; afterwards the thread that runs the current job does.
#include <atomic>
#include <cstdint>

// Last status id reported by any flow; 0 means no error. Written from any
// thread through NotifyUI; the last writer wins.
extern std::atomic<int> LastStatusCode;
// 1 while a command-line action runs, 0 in window mode.
extern int SilentMode;
// Setting "Ini Type": 1 reads the IC type descriptions from files beside the
// program, anything else uses the built-in ones.
extern int IniType;
// Memory type of the chip in use: 0 SPI flash, 1 NOR flash, 2 EEPROM with
// 8-bit addressing, 3 EEPROM with 16-bit addressing, 4 MTP, 6 OTP.
extern int MemoryType;
// Bus type of the IC description: 0 USB, 1 PCIE, 2 MIPI.
extern int BusType;
// Byte count of code-memory reads; an image's length once one is loaded.
extern std::uint32_t CodeReadSize;

inline constexpr std::uint32_t kDefaultCodeReadSize = 0x40000;
