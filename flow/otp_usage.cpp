// The OTP table readers of the flow object.
#include <algorithm>

#include "flow/mp_flow2.h"

int CMpFlow_Customize::MP_ReadOtpUsage(otp::Usage& usage) {
  std::uint8_t vd[otp::kVdTableSize], ecc[otp::kEccTableSize];
  if (!OtpReadChunk(otp::kVdTable, otp::kVdTableSize, vd) || !OtpReadChunk(otp::kEccTable, otp::kEccTableSize, ecc))
    return 0;
  usage = otp::ComputeUsage(vd, ecc);
  std::uint32_t end = 0;
  if (!MP_OTPProgrammedEnd(usage.used, ecc, end)) return 0;
  usage.used = end;
  usage.free = otp::kCodeEnd - end;
  return 1;
}

int CMpFlow_Customize::MP_OTPProgrammedEnd(std::uint32_t from, const std::uint8_t* ecc, std::uint32_t& end) {
  constexpr std::uint32_t kWindow = 256;
  auto pending = [&](std::uint32_t address) {
    for (int k = 1; k <= otp::kEccEntries; ++k) {
      const otp::EccEntry e = otp::EccAt(ecc, k);
      if (e.Active() && e.value == 0 && e.address == address) return true;
    }
    return false;
  };
  end = from;
  for (std::uint32_t at = from; at < otp::kCodeEnd; at += kWindow) {
    std::uint8_t bytes[kWindow];
    const std::uint32_t n = std::min(kWindow, otp::kCodeEnd - at);
    if (!OtpReadChunk(at, n, bytes)) return 0;
    std::uint32_t last = n;
    for (std::uint32_t i = n; i-- > 0;) {
      if (bytes[i] != 0 && !pending(at + i)) {
        last = i;
        break;
      }
    }
    if (last == n) break;  // a blank window: nothing was written behind it
    end = at + last + 1;
  }
  return 1;
}
