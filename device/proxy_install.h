#pragma once
// Installing and starting the proxy driver when the device library starts,
// and stopping and removing it when the last user is gone. Both are ordered
// across processes by the install lock.
#include "device/proxy_driver_channel.h"
#include "device/proxy_os_services.h"

// Finds the architecture and the WOW64 flag and fixes the record layout
// (wide under WOW64).
void DetectProxyArchitecture(ProxyDriverChannel& channel, ProxyOsServices& os);

// Opens the control device, installing, replacing or starting the driver as
// needed. True when the control device is open.
bool InstallProxyDriver(ProxyDriverChannel& channel, ProxyOsServices& os);

// Closes the control device; stops and deletes the driver when no other
// process uses it. Always true.
bool RemoveProxyDriver(ProxyDriverChannel& channel, ProxyOsServices& os);

// The version rule: `a` counts as at least as new as `b` only when both
// version blocks can be read and each of a's four numbers is at least b's.
bool AtLeastAsNew(ProxyOsServices& os, const std::string& a, const std::string& b);
