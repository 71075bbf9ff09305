#pragma once
// Which code memory a codec carries, and what each memory's flow can do on
// the channels the codec answers. An action that cannot work is refused here,
// before the codec is touched, with its reason in the trace.
#include "flow/dev_flow.h"

// Memory types of the flows.
inline constexpr int kMemorySpi = 0;
inline constexpr int kMemoryNor = 1;
inline constexpr int kMemoryEeprom8 = 2;
inline constexpr int kMemoryEeprom16 = 3;
inline constexpr int kMemoryOtp = 6;

// The code memory of the open codec, as it tells by reading only: OTP when
// its mode byte has the OTP bit, an EEPROM when one answers a one-byte read,
// flash otherwise (a codec that answers no extension unit cannot show an
// EEPROM with 16-bit addresses).
int ProbeCodeMemory(CDevFlow& flow);

// For the actions that take no image (erase, dump): makes the current flow
// the front end of the memory the open codec carries, handing it the device.
// 1 when there is a flow for it.
int FitFlowToCodecMemory();

// 1 when the open codec answers the channel the memory's calls need (the
// extension unit for EEPROM-16 and OTP); otherwise reports 41500 with the
// reason and returns 0.
int CanReachMemory(const CDevFlow& flow, int memoryType);

// Refuses an action the memory cannot do: 41500 "Not Support!" with the
// reason in the trace. Returns 0.
int RefuseAction(const char* reason);
