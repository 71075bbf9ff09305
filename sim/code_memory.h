#pragma once
// The codec's code memory and its physical rules:
//   flash (SPI or NOR)  erases to 0xFF; programming only clears bits; the
//                       status register's block-protect bits make the whole
//                       array ignore programs and erases (the simulated parts
//                       protect all or nothing);
//   EEPROM (8/16-bit)   bytes are replaced; addresses wrap at the end of the
//                       part, as an I2C EEPROM's address counter does;
//   OTP                 reads 0x00 unprogrammed; programming only sets bits;
//                       stuck bits never set; a byte in which a bit that was
//                       asked for did not set is a program failure.
// Stuck bits (a fault) never change in any memory: flash bits stay set, EEPROM
// bits keep their value, OTP bits stay clear.
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace sim {

enum class MemoryKind { kSpiFlash, kNorFlash, kEeprom8, kEeprom16, kOtp };

const char* MemoryKindName(MemoryKind kind);  // "spi", "nor", "eeprom8", "eeprom16", "otp"
bool ParseMemoryKind(const std::string& text, MemoryKind& kind);
std::uint32_t MemorySize(MemoryKind kind);
std::uint8_t ErasedByte(MemoryKind kind);
inline bool IsFlash(MemoryKind kind) { return kind == MemoryKind::kSpiFlash || kind == MemoryKind::kNorFlash; }
inline bool IsEeprom(MemoryKind kind) { return kind == MemoryKind::kEeprom8 || kind == MemoryKind::kEeprom16; }

// Flash status register bits.
inline constexpr std::uint8_t kSrBusy = 0x01;
inline constexpr std::uint8_t kSrWriteEnable = 0x02;
inline constexpr std::uint8_t kSrBlockProtect = 0x1C;
inline constexpr std::uint8_t kSrWriteDisable = 0x80;  // SRWD: WP# low locks the register

class CodeMemory {
 public:
  explicit CodeMemory(MemoryKind kind = MemoryKind::kSpiFlash);
  CodeMemory(const CodeMemory&) = delete;  // the content may live elsewhere
  CodeMemory& operator=(const CodeMemory&) = delete;
  CodeMemory(CodeMemory&&) = default;
  CodeMemory& operator=(CodeMemory&&) = default;

  MemoryKind Kind() const { return kind_; }
  std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }
  // A copy of the content.
  std::vector<std::uint8_t> Bytes() const { return {bytes_.begin(), bytes_.end()}; }
  // Replaces the content (putting a firmware in); the rest of the part is erased.
  void Load(const std::vector<std::uint8_t>& content);
  // From now on the content lives in `storage` (of Size() bytes; a file
  // mapped into memory, say, so that every change is written through) and is
  // what `storage` holds.
  void UseStorage(std::span<std::uint8_t> storage);

  // Addresses past the end wrap for EEPROMs and read as erased otherwise.
  std::uint8_t Read(std::uint32_t address) const;

  // Flash.
  bool Protected() const { return (status_ & kSrBlockProtect) != 0; }
  std::uint8_t Status() const { return status_; }
  // The status register write as the part takes it: refused while SRWD is set
  // and the WP# pin is low. True when it was taken.
  bool WriteStatus(std::uint8_t value, bool wpPinHigh);
  void SetStatus(std::uint8_t value) { status_ = value; }
  void Program(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);
  void Erase(std::uint32_t address, std::uint32_t length);

  // EEPROM: ignored while its write-protect pin is asserted.
  void Store(std::uint32_t address, const std::uint8_t* data, std::uint32_t length);

  // OTP. Appends the addresses that failed to `failed`; gives up (programs
  // nothing more) once `failed` holds more than `corrections` addresses.
  void ProgramOtp(std::uint32_t address, const std::uint8_t* data, std::uint32_t length,
                  std::vector<std::uint32_t>& failed, std::size_t corrections = SIZE_MAX);
  // Bits (mask) at an address that never change.
  std::map<std::uint32_t, std::uint8_t>& StuckBits() { return stuck_; }
  const std::map<std::uint32_t, std::uint8_t>& StuckBits() const { return stuck_; }

 private:
  std::uint8_t StuckMask(std::uint32_t address) const;

  MemoryKind kind_;
  std::vector<std::uint8_t> own_;     // the content until UseStorage
  std::span<std::uint8_t> bytes_;
  std::uint8_t status_ = 0;
  std::map<std::uint32_t, std::uint8_t> stuck_;
};

}  // namespace sim
