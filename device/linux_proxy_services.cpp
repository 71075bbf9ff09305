#include "device/linux_proxy_services.h"

bool LinuxProxyServices::IsWow64Process2(std::uint16_t& processMachine, std::uint16_t& nativeMachine) {
  processMachine = kMachineUnknown;  // a native process
#if defined(__x86_64__)
  nativeMachine = kMachineAmd64;
#elif defined(__aarch64__)
  nativeMachine = kMachineArm64;
#elif defined(__i386__)
  nativeMachine = kMachineI386;
#else
  nativeMachine = kMachineUnknown;
  return false;
#endif
  return true;
}
