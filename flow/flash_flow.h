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

  static std::uint32_t TagOffset();
  // Whether the update writes the image's tag: not for the boot-ROM family,
  // nor for images that start with their configuration area.
  bool WritesTag(std::uint32_t imageLength) const;
  // The image as the update leaves it in flash: the boot-ROM family keeps
  // 0xFF 0xFF at the tag.
  void AsTheUpdateLeavesIt(std::vector<std::uint8_t>& image) const;
  // Offsets of the header-sized runs that make an image startable: its start
  // (code or a configuration area there) and the configuration header.
  static std::vector<std::uint32_t> StartBytes(std::uint32_t imageLength);
  // Writes `length` bytes of the image at `offset`, reads them back and
  // compares; 0 with `status` set on failure.
  int WriteAndCheck(const std::vector<std::uint8_t>& image, std::uint32_t offset, std::uint32_t length,
                    int writeFailure, int& status);
  // Writes the image at its bank, what makes it startable last (the tag when
  // `withTag`), each part read back and compared.
  int ProgramImage(const std::vector<std::uint8_t>& image, bool withTag, int& status);
};
