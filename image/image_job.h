#pragma once
// The image side of a programming job: the image buffers and what locating
// the configuration area found in them. The flow object's job record holds one
// and hands it to the image operations (image_load.h, image_parse.h).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/image_version.h"

struct CImageJob {
  // The image file named for the job; replaced by its full path once loaded.
  std::string fileName;
  // The working image, and the identical second copy the flows compare
  // against or patch.
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> imageCopy;
  // The built-in image last loaded (empty when there is none).
  std::vector<std::uint8_t> builtInImage;

  // Results of locating the configuration area.
  std::uint8_t ImageFamily = 0xFF;
  std::uint32_t ConfigAtStart = 0;
  std::uint32_t ConfigWindowStart = 0;
  std::uint32_t ConfigWindowLength = 0;
  std::uint16_t ConfigLength = 0;
  std::uint32_t SignedImageMarker = 0;
  std::uint32_t BankSwitchFlag = 0;
  std::uint32_t SignatureCheckFlag = 0;
  FwVersion ImageVersion{};
  // The configuration pointer as an offset into `image`: the area's header,
  // or for an area at offset 0 the end of its small cache code. None after a
  // failed parse.
  std::optional<std::size_t> configOffset;
  // Total length of the area the passes last read, for the window of an area
  // at offset 0.
  std::uint16_t configWorkingLength = 0;

  // Texts of the configuration area.
  std::string manufacturer;
  std::string serialNumber;
  std::string iadText;
  std::string vidPidText;  // "VID_%04X&PID_%04X": the identity the image expects
  std::string revText;     // "%04x"
  std::string imageIdentity;
};
