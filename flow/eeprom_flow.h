#pragma once
// The EEPROM update: write protection off, the image written with its tag
// byte (the header signature at address 1) held at 0xFF, read back and
// compared, the tag written last, protection on, and the reset that starts
// the new code. An update interrupted anywhere leaves an EEPROM the boot ROM
// does not start.
#include <cstdint>
#include <vector>

#include "flow/dev_flow.h"

class CMpFlow_Eeprom : public CDevFlow {
 public:
  // The 16-bit update of one image; 0 with `status` on failure.
  int EE16_UpdateEx_Cmd2(std::vector<std::uint8_t>& image, int& status);
  // The 8-bit sequence: erase, empty check, write, read back, compare, tag.
  int EE8_UpdateEx_Cmd2(std::vector<std::uint8_t>& image, int& status);
  // Runs the update of the width and reports a failure; 1 on success.
  int EE_Update(int width, std::vector<std::uint8_t>& image);
  // Reads CodeReadSize bytes into the update image; the reset that follows
  // runs whatever the job flags say. Reports its failures.
  int EE_Read(int width);
  // Erases (16-bit: fills CodeReadSize bytes with 0xFF; 8-bit: the first 64
  // bytes). Reports its failures.
  int EE_Erase(int width);

 protected:
  int ResetToNewCode(int& status);

 private:
  int UpdateSteps(int width, std::vector<std::uint8_t>& image, int& status);
};
