// The OTP table readers of the flow object.
#include "flow/mp_flow2.h"

int CMpFlow_Customize::MP_ReadOtpUsage(otp::Usage& usage) {
  std::uint8_t vd[otp::kVdTableSize], ecc[otp::kEccTableSize];
  if (!OtpReadChunk(otp::kVdTable, otp::kVdTableSize, vd) || !OtpReadChunk(otp::kEccTable, otp::kEccTableSize, ecc))
    return 0;
  usage = otp::ComputeUsage(vd, ecc);
  return 1;
}
