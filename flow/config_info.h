#pragma once
// The layers between device selection and the memory-type front ends:
// CMpFlow_Eeprom (the EEPROM update, built with the EEPROM front ends) and
// CEepromConfigInfo (image checks and the serial number written into an
// image before a download).
#include <cstdint>
#include <string>

#include "flow/eeprom_flow.h"

class CEepromConfigInfo : public CMpFlow_Eeprom {
 public:
  // Locates the configuration area of the download image (or of the update
  // image) and keeps what it found; 1 when found.
  int LocateConfig(const std::vector<std::uint8_t>* image, int ignored) override;

  // The command-line image check: load the file into the download image,
  // locate its configuration area, match its family to the chip. `loadOptional`
  // lets the check go on with an image already held (0x10000 bytes or more).
  // With `exactFamily` the families must be equal; otherwise 8 and 9 count
  // as one.
  int CheckImageFile(const std::string& fileName, bool loadOptional, bool exactFamily);
  // Loads the file into the download image; posts 41530 on failure.
  int LoadDownloadFile(const std::string& fileName);

  // With "SaveSN" set, writes the serial number (serialText) into the
  // configuration area of the download image: into the manufacturer record,
  // or with "SN Address" into the serial-number record (after 0x07 with
  // "SN Function"). 1, or 0 with status 41713 and the image unchanged.
  int PreActionForAllInOne(int& status);

 protected:
  // The start of every download: the device's identity read, the serial
  // number written into the image; posts the failure. 1 to go on.
  int BeginDownload();
  // Writes the buffer to a file, creating its folder first.
  static int SaveFile(const std::string& fileName, const std::vector<std::uint8_t>& data, bool asText);
  // After a download in window mode with "SaveSN": the window's serial-number
  // counter counts down 2, 1 while the codec restarts.
  void SerialCountdown();
  // Window mode: the device's identity and state shown again after a download.
  void RefreshAfterDownload();
  // EraseCodeEx: job bit 0x01 from the argument.
  static void SetResetAfterJob(int resetAfter);
};
