#include "device/vendor_probe.h"

#include <algorithm>

bool HasVendorSignature(std::span<const std::uint8_t> status) {
  return status.size() >= kSignatureOffset + 8 &&
         std::equal(kVendorSignature, kVendorSignature + 8, status.begin() + kSignatureOffset);
}
