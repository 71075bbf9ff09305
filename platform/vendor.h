#pragma once
// Product constants of the codec maker.
//
// The vendor's USB vendor identifier: the idVendor of its codecs in their
// running and update modes, and the extension code of its audio extension
// unit. The default 0x3C5A is a placeholder for this project's sample data
// and simulated codecs; a product build sets the real one with
// -DTESSALOAD_VENDOR_ID=0xNNNN.
#include <cstdint>

#ifndef TESSALOAD_VENDOR_ID
#define TESSALOAD_VENDOR_ID 0x3C5A
#endif

namespace platform {
inline constexpr std::uint16_t kVendorId = TESSALOAD_VENDOR_ID;
}  // namespace platform
