#pragma once
// An OTP image is cut into the blocks the OTP takes: the code part (the
// header and leading records, then the small-cache-code record) and the
// configuration part (the header and leading records, then every other
// record). Each part starts with the image's first 15 bytes, whose header is
// rewritten for the part. And a 16 KB image for the simulated-OTP flash
// update is laid out as the OTP holds it.
#include <cstdint>
#include <vector>

#include "flow/otp_layout.h"

namespace otp {

inline constexpr std::size_t kPartPrefix = 15;  // header and leading records

enum class PartKind { kCode, kConfig };

enum class Split {
  kFailed = 0,  // the image cannot be cut
  kMade = 1,
  kAbsent = 2,  // the image has no such part
};

// Cuts the part out of the image (at most 2 MiB of it are examined). The code
// record must lie right behind the first 15 bytes.
Split SplitImage(const std::vector<std::uint8_t>& image, PartKind kind, std::vector<std::uint8_t>& part);

// What a download of the image takes of the OTP: its parts' bytes and one
// VD entry each; nothing for an image that cannot be cut.
Footprint DownloadFootprint(const std::vector<std::uint8_t>& image);

// Lays out the image as the OTP holds it, in a buffer of the image's length:
// the code block from 0 with VD entry 15, the configuration block behind it
// with VD entry 14, the tables' area cleared. False without a code record.
bool ConvertToOtpLayout(std::vector<std::uint8_t>& image);

}  // namespace otp
