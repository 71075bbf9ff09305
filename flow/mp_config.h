#pragma once
// The job record: the device handle's identity, the job's images and buffers
// and its settings. A flow object starts from the program-wide record and
// hands it back when it is destroyed, so the last device's identity and the
// settings survive between jobs.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "flow/device_identity.h"
#include "image/image_job.h"
#include "image/mixins.h"

class CMpConfig : public CDumpStr {
 public:
  // The download image (programmed by Download and the command-line writes;
  // the serial number is written into it) with what locating its
  // configuration area found; the file name is the job's first text.
  CImageJob download;
  // The update image (programmed by UpdateCode).
  std::vector<std::uint8_t> updateImage;
  // Filled by reads and verifies; allocated per operation.
  std::vector<std::uint8_t> readBack;
  // Set by image loading: the image is a configuration area alone.
  bool configOnly = false;

  // Texts of the connected device.
  std::string manufacturer = "N/A";
  std::string serialText;
  std::string vidPidText;       // "VID_%04X&PID_%04X"
  std::string connectionText;   // "USB Audio Connected" / "No USB Audio"
  std::string identityText = "N/A";
  std::string secondIdentity;   // "0x%02X-%02X%02X-%02X%02X"
  std::string modeText;
  std::string devicePathText;
  std::string hardwareIdentity;  // "VID_%04X&PID_%04X&REV_%04X"
  std::string joinedIdentity;    // "%s&%s" of the device path and the hardware identity
  std::uint32_t parentInstance = 0;
  VersionFields deviceVersion{};

  std::uint16_t vid = 0, pid = 0, rev = 0;
  std::uint8_t chipInfo = 0;   // the image's IC family byte
  std::uint32_t runMode = 0;   // 1: the device does not run its firmware from code cache
  std::uint32_t newChip = 0;   // masked chip identifier 0x0010
  std::uint32_t bootRomFamily = 0;

  std::string dumpFileName;    // where a read writes its data
  std::uint8_t resetTarget = 6;
};

// The program-wide record the flow objects start from.
CMpConfig& ProgramJobRecord();
