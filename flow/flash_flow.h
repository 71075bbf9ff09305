#pragma once
// The flash update: erase, empty check, write in 4096-byte chunks, read back
// and compare, the tag written last, write protection back on, and the reset
// that starts the new code.
#include <cstdint>
#include <vector>

#include "flow/config_info.h"

class CMpFlow_Flash : public CEepromConfigInfo {
 public:
  int FF_UpdateEx_Standard(std::vector<std::uint8_t>& image, int& status);
  int FF_UpdateEx_ForSimulateOTP(std::vector<std::uint8_t>& image, int& status);
  // Updates with the right algorithm and reports a failure; 1 on success.
  int FF_Update(std::vector<std::uint8_t>& image);
  int FF_Erase();
  int FF_Read();
  int NOR_Download();

 protected:
  // ROM reset with access bit 0x01 set around it when asked.
  int RomReset(bool atLocation);
  // Flash writes that invalidate or switch the image: write protection off,
  // the bytes written, protection on; results ignored by the callers.
  void WriteUnprotected(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  int SignatureIsGood();
  int RebootDecision(int& status);
};
