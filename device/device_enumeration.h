#pragma once
// Finding the connected codecs, opening one for the proxy driver and
// describing it. Results are kErrorSuccess or an error number unless said
// otherwise.
#include <cstdint>
#include <span>
#include <vector>

#include "device/device_record.h"

// Result of opening when no root hub is found within the parent chain, or
// when a list position is past the end.
inline constexpr std::uint32_t kErrorNoRootHub = 2;
inline constexpr std::uint32_t kErrorPositionPastEnd = 2;

// The audio functions of the USB host, each listed under its USB device.
// kErrorNoMoreItems when none is listed.
std::uint32_t EnumerateDevices(DeviceAccess& access, std::vector<DeviceListEntry>& list, int pass = 0);

// Opens the device of the node into `record` (which is closed first), gets
// its token and waits until it answers.
std::uint32_t OpenDeviceRecord(DeviceAccess& access, DeviceRecord& record, std::uint32_t deviceInstance);
// Enumerates and opens the entry at `position`, naming the record after it.
std::uint32_t OpenDeviceByPosition(DeviceAccess& access, DeviceRecord& record, std::uint32_t position,
                                   int pass = 0);
// Releases the token, the interface handle and the capabilities.
void CloseDeviceRecord(DeviceAccess& access, DeviceRecord& record);

// Reads the capabilities; 1 on success, 0 when a descriptor could not be
// read (an existing capability record is then kept). With force 0 an
// existing capability record is kept without reading.
int ReadDeviceCaps(DeviceAccess& access, DeviceRecord& record, int force);
// The channel checks of a record re-opened after a reset: true when the
// vendor signature answered or the extension unit passed its signature
// check.
bool CheckDeviceChannels(DeviceAccess& access, DeviceRecord& record, std::uint32_t& unitId, bool& oneByteRead,
                         bool& vendorSignature);

// The unit id of the vendor's extension unit in a configuration descriptor,
// or -1.
int FindExtensionUnit(std::span<const std::uint8_t> configDescriptor);

// The port a device is plugged into and the hub it hangs on; false when the
// node is not present.
bool GetPortAndParent(DeviceAccess& access, std::uint32_t deviceInstance, std::uint32_t& port,
                      std::uint32_t& parent);

// The USB devices on hub ports, read through the hubs. With a non-zero
// filter only hubs that are that node or its ancestors are walked.
std::vector<HubWalkEntry> WalkUsbHubs(DeviceAccess& access, std::uint32_t filterInstance);
// The walk's entry of the USB device that `instance` (the device or one of its
// functions) belongs to; false when the walk does not reach it.
bool HubEntryOfDevice(DeviceAccess& access, std::uint32_t instance, HubWalkEntry& entry);
