#include "device/linux_proxy_services.h"

#include <sys/utsname.h>

#include <cstring>

bool LinuxProxyServices::IsWow64Process2(std::uint16_t& processMachine, std::uint16_t& nativeMachine) {
  utsname names{};
  if (uname(&names) != 0) return false;
  processMachine = kMachineUnknown;  // a native process
  if (std::strcmp(names.machine, "x86_64") == 0) nativeMachine = kMachineAmd64;
  else if (std::strcmp(names.machine, "aarch64") == 0) nativeMachine = kMachineArm64;
  else if (names.machine[0] == 'i' && std::strcmp(names.machine + 2, "86") == 0) nativeMachine = kMachineI386;
  else return false;
  return true;
}
