#pragma once
// The lowest layers of a flow object: the device handle with the access
// flags, and guarded device access. Every guarded operation first checks the
// operator's stop request and fails at once without a device handle.
#include <cstdint>
#include <vector>

namespace platform {
class Clock;
}

// Access flag bits.
inline constexpr std::uint32_t kAccessViaExtUnit = 0x20;    // use the extension-unit channel
inline constexpr std::uint32_t kAccessFindAtLocation = 0x01;  // a reset finds the device at its location

class CVexLibExternalUse {
 public:
  std::uint32_t m_hDevice = 0;
  std::uint32_t m_accessFlags = 0;
};

class CStatusInfo {};

class CVexFun : public CVexLibExternalUse, public CStatusInfo {
 public:
  virtual ~CVexFun() = default;

  // True when the operator asked the job to stop.
  bool StopRequested() const;
  platform::Clock& FlowClock() const;

  // One byte of data memory; 0 without a handle or on failure.
  int ReadByte(std::uint16_t address, std::uint8_t& value);
  int WriteByte(std::uint16_t address, std::uint8_t value);
  // Up to 8 attempts, the stop request checked before each.
  int FlashWriteChunk(std::uint32_t address, std::uint32_t length, const std::uint8_t* data);
  int FlashReadChunk(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  // OTP access, each tried up to 8 times (programming the same bytes again
  // sets no other bit). `corrections`: failed bytes the chip may correct.
  int OtpReadChunk(std::uint32_t address, std::uint32_t length, std::uint8_t* buffer);
  int OtpWriteChunk(std::uint32_t address, std::uint32_t length, const std::uint8_t* data, std::uint16_t corrections);
  // The program-fail report of the last OTP write: the number of failed
  // bytes and up to 9 of their addresses.
  int OtpFailReport(int& count, std::vector<std::uint16_t>& failed);
};
