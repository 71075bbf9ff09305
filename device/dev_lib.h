#pragma once
// The device library: the one current codec and every operation the flows
// send to it.
#include <cstdint>

// Starts the library; 1 on success.
int DevLib_Init(int libType);
void DevLib_Uninit();
// Closes a device handle given out by the library; 1 on success.
int DevLib_CloseDevice(std::uint32_t handle);
