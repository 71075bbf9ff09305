#include "device/device_enumeration.h"
#include "device/device_tree.h"
#include "platform/clock.h"
#include "platform/error_codes.h"

using namespace platform;

namespace {

// A just-opened device is asked for its descriptor at once, and again this
// often while it reports "not ready".
constexpr std::uint32_t kAnswerPollMs = 10;
// A device that keeps reporting "not ready" after opening is given this long
// before the open fails, so that a factory line never hangs on one codec.
constexpr std::uint32_t kAnswerLimitMs = 15000;

std::uint32_t SpeedClassOf(const std::string& path) {
  for (const char* p : {"ROOT_HUB30", "TIUSBD_HUB", "ROOT_HUB_FL30", "VIA_ROOT_HUB", "ASMEDIAUSBD_HUB"})
    if (ContainsNoCase(path, p)) return 3;
  for (const char* p : {"ROOT_HUB20", "IWSEPAL\\VRHUB"})
    if (ContainsNoCase(path, p)) return 2;
  return 1;
}

bool IsRootHub(const std::string& path) {
  for (const char* p :
       {"ROOT_HUB", "VMUSB\\HUB", "TIUSBD_HUB", "ROOT_HUB_FL30", "VIA_ROOT_HUB", "ASMEDIAUSBD_HUB", "IWSEPAL\\VRHUB"})
    if (ContainsNoCase(path, p)) return true;
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::toupper(static_cast<unsigned char>(c)));
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Releases what a failed open had already taken.
std::uint32_t FailOpen(DeviceAccess& access, DeviceRecord& record, std::uint32_t error) {
  CloseDeviceRecord(access, record);
  record.tag = 0;
  return error;
}

}  // namespace

std::uint32_t OpenDeviceRecord(DeviceAccess& access, DeviceRecord& record, std::uint32_t deviceInstance) {
  CloseDeviceRecord(access, record);
  record = DeviceRecord{};
  record.tag = kDeviceRecordTag;
  record.chainLength = 1;

  // The node, its parents and the open come from one listing of the bus.
  const ListingScope listing(access.host);
  const std::vector<UsbNode> nodes = access.host.Nodes();
  const UsbNode* node = FindNode(nodes, deviceInstance);
  if (!node) return FailOpen(access, record, kErrorDeviceNotConnected);
  record.deviceInstance = deviceInstance;
  if (node->setupClass.rfind("US", 0) == 0) record.kind = kKindUsb;
  record.name = !node->friendlyName.empty() ? node->friendlyName : node->description;
  record.location = node->locationPath;

  std::uint32_t walkFrom = deviceInstance;
  if (std::size_t mi = FunctionMarker(node->instancePath); mi != std::string::npos) {
    const std::string& path = node->instancePath;
    const int high = mi + 4 < path.size() ? HexDigit(path[mi + 3]) : -1;
    const int low = mi + 4 < path.size() ? HexDigit(path[mi + 4]) : -1;
    if (high >= 0 && low >= 0) record.interfaceNumber = std::uint32_t(high * 16 + low);
    if (node->parent == 0 || !FindNode(nodes, node->parent)) return FailOpen(access, record, kErrorDeviceNotConnected);
    walkFrom = node->parent;
  }

  const bool offersInterface = record.kind == kKindMedia ? node->audioInterface : node->usbDeviceInterface;
  if (!offersInterface) return FailOpen(access, record, kErrorFileNotFound);
  std::uint32_t error = kErrorSuccess;
  record.interfaceHandle = access.files.OpenDeviceFile(deviceInstance, error);
  if (record.interfaceHandle == DeviceFiles::kInvalidHandle) return FailOpen(access, record, error);

  error = ProxyOpenDevice(access.channel, record.interfaceHandle, record.token);
  if (error != kErrorSuccess) return FailOpen(access, record, error);

  // Parent walk up to the root hub; its path gives the speed class.
  for (const UsbNode* at = FindNode(nodes, walkFrom);;) {
    if (record.chainLength > kMaxParentChain) return FailOpen(access, record, kErrorNoRootHub);
    const UsbNode* parent = at ? FindNode(nodes, at->parent) : nullptr;
    if (!parent) return FailOpen(access, record, kErrorNoRootHub);
    record.parentChain[record.chainLength - 1] = parent->instance;
    ++record.chainLength;
    record.hubSpeedClass = SpeedClassOf(parent->instancePath);
    if (IsRootHub(parent->instancePath)) break;
    at = parent;
  }

  // Wait until the device answers.
  Clock& clock = access.host.HostClock();
  std::uint8_t descriptor[18];
  for (std::uint32_t waited = 0;; waited += kAnswerPollMs) {
    error = GetDeviceDescriptor(access.channel, record.token, descriptor);
    if (error != kErrorNotReady) break;
    if (waited >= kAnswerLimitMs) return FailOpen(access, record, kErrorNotReady);
    clock.SleepMs(kAnswerPollMs);
  }
  return kErrorSuccess;
}

std::uint32_t OpenDeviceByPosition(DeviceAccess& access, DeviceRecord& record, std::uint32_t position, int pass) {
  std::vector<DeviceListEntry> list;
  std::uint32_t error = EnumerateDevices(access, list, pass);
  if (error != kErrorSuccess) return error;
  if (position >= list.size()) return kErrorPositionPastEnd;
  error = OpenDeviceRecord(access, record, list[position].deviceInstance);
  if (error == kErrorSuccess) record.name = list[position].name;
  return error;
}

void CloseDeviceRecord(DeviceAccess& access, DeviceRecord& record) {
  record.caps.reset();
  if (record.interfaceHandle != DeviceFiles::kInvalidHandle) access.files.CloseDeviceFile(record.interfaceHandle);
  if (record.token != 0) ProxyCloseDevice(access.channel, record.token);
  record.token = 0;
  record.interfaceHandle = DeviceFiles::kInvalidHandle;
  record.deviceInstance = 0;
  record.chainLength = 0;
}
