#include "device/dev_lib.h"

// This build has no USB access yet: the library starts, and holds no device.
int DevLib_Init(int) { return 1; }
int DevLib_Uninit() { return 1; }
int DevLib_CloseDevice(std::uint32_t) { return 1; }
