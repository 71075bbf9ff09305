#include "device/dev_lib.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "app/trace.h"
#include "device/cam_dev.h"
#include "device/codec_locks.h"
#include "device/device_enumeration.h"
#include "device/ext_unit_direct.h"
#include "device/linux_proxy_services.h"
#include "device/proxy_install.h"
#include "device/reset_and_find.h"
#include "device/user_space_proxy.h"
#include "device/vendor_request_direct.h"
#include "app/file_routines.h"
#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/process_lock.h"
#include "platform/usb_host.h"
#include "platform/usb_paths.h"

namespace {

// The library's process-wide state: the proxy driver over the USB host, and
// the one current device with the hold of its codec lock.
struct Library {
  platform::UsbHost* host = nullptr;
  int libType = 0;
  ProxyDriverChannel channel;
  std::unique_ptr<UserSpaceProxy> proxy;
  std::unique_ptr<LinuxProxyServices> os;
  std::unique_ptr<DeviceAccess> access;
  std::unique_ptr<CVexCam> device;
  std::unique_ptr<platform::ProcessLock> codecHold;
  std::uint32_t handle = 0;
  std::uint8_t lastOtpStatus = 0;
  std::string boundPort;  // a job's codec, opened on this port path whatever its position
  // The bound codec's lock, held for the whole binding (the job), and
  // whether taking it had to wait for another program.
  std::unique_ptr<platform::ProcessLock> boundHold;
  bool boundHoldWaited = false;
};

Library& Lib() {
  static Library lib;
  return lib;
}

constexpr std::uint32_t kFindAgainMs = 15000;
constexpr std::uint32_t kComeBackPollMs = 10;  // a bound job's codec, back from another program's reset
// The data control size in force on a codec whose extension unit does not
// answer: the unit's own default.
constexpr std::uint16_t kUnansweredDataControlSize = 8;
constexpr std::uint16_t kEnglish = 0x0409;

CVexCam* Current() { return Lib().device.get(); }

void DropDevice(Library& lib) {
  lib.device.reset();
  lib.codecHold.reset();
  lib.handle = 0;
}

// Takes the codec lock `name`, waiting while another program has it open;
// null when the wait ran out. `waited` tells whether it had to wait.
std::unique_ptr<platform::ProcessLock> HoldCodec(const std::string& name, bool* waited = nullptr) {
  TraceScope scope("HoldCodec", kTraceFlow, false);
  auto hold = std::make_unique<platform::ProcessLock>(name);
  platform::Clock& clock = DevLib_Clock();
  if (waited) *waited = false;
  if (hold->Lock(0, clock)) return hold;
  if (waited) *waited = true;
  TraceLine(scope, "%s: the codec is open in another program, waiting\n", hold->Name().c_str());
  if (hold->Lock(kCodecLockWaitMs, clock)) return hold;
  TraceLine(scope, "%s: still open in another program after %u ms\n", hold->Name().c_str(), kCodecLockWaitMs);
  return nullptr;
}

// The channel a call goes to: the extension unit with bit 0x20, else the
// preferred one. A codec without a working extension unit takes every call
// on its vendor requests.
CVendorCmdCommon* ByFlags(std::uint32_t flags) {
  CVexCam* d = Current();
  if (!d) return nullptr;
  if (flags & kAccessExtUnit)
    if (CExtUnit* unit = d->ExtUnitChannel()) return unit;
  return d->PreferredChannel();
}

// The extension unit for the EEPROM-16 and OTP calls: with bit 0x20 clear
// only for library type 0 and readable capabilities.
CExtUnit* ExtUnitOnly(std::uint32_t flags) {
  CVexCam* d = Current();
  if (!d) return nullptr;
  if (!(flags & kAccessExtUnit) && (Lib().libType != 0 || !d->Caps())) return nullptr;
  return d->ExtUnitChannel();
}

int Ok(std::int32_t result) { return result == 0 ? 1 : 0; }

// A string descriptor of the current device as UTF-8.
bool ReadString(std::uint8_t index, std::string& text) {
  CVexCam* d = Current();
  if (!d || index == 0) return false;
  std::uint8_t buffer[256] = {};
  std::uint32_t got = 0;
  if (GetStringDescriptor(Lib().channel, d->Record().token, buffer, sizeof buffer, index, kEnglish, &got) !=
      platform::kErrorSuccess)
    return false;
  const std::size_t length = std::min<std::size_t>(buffer[0], got);
  std::u16string wide;
  for (std::size_t i = 2; i + 1 < length; i += 2) wide += char16_t(buffer[i] | buffer[i + 1] << 8);
  text = Utf16ToUtf8(wide);
  return true;
}

const HubWalkEntry* FirstHubEntry(std::vector<HubWalkEntry>& entries, std::uint32_t filter) {
  entries = WalkUsbHubs(*Lib().access, filter);
  return entries.empty() ? nullptr : &entries.front();
}

int Reset(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs, int kind, std::uint16_t value) {
  Library& lib = Lib();
  CVexCam* d = lib.device.get();
  if (!d) return 0;
  ResetRequest request;
  request.kind = kind;
  request.value = value;
  request.limitMs = kFindAgainMs;
  request.cancel = &d->CancelEvent();
  request.settleMs = waitMs;
  request.forceExtensionUnit = (flags & kAccessExtUnit) != 0;
  if (kind == 9 || kind == 10) {
    d->Record().kind = kKindMedia;
    if (flags & kAccessResetAtLocation && d->Caps()) {
      request.useKnownFacts = true;
      request.unitId = d->Caps()->unitId;
      request.vendorChannel = d->Caps()->vendorChannel;
    }
  }
  if (ResetAndFind(*lib.access, d->Record(), request) != platform::kErrorSuccess) {
    DropDevice(lib);
    handle = DevLib_OpenDevice(0);
    return 0;
  }
  d->RefreshChannels();
  if (!d->PreferredChannel()) return 0;
  lib.handle = d->Record().deviceInstance;
  handle = lib.handle;
  return 1;
}

}  // namespace

// --- start and stop ------------------------------------------------------------

int DevLib_Init(int libType) { return DevLib_InitWithHost(libType, nullptr); }

int DevLib_InitWithHost(int libType, platform::UsbHost* host) {
  Library& lib = Lib();
  lib.libType = libType;
  lib.host = host;
  if (!host) return 0;
  lib.proxy = std::make_unique<UserSpaceProxy>(*host, lib.channel.memory);
  lib.os = std::make_unique<LinuxProxyServices>(*lib.proxy, host->HostClock());
  lib.access = std::make_unique<DeviceAccess>(DeviceAccess{*host, *lib.proxy, lib.channel});
  return InstallProxyDriver(lib.channel, *lib.os) ? 1 : 0;
}

int DevLib_Uninit() {
  Library& lib = Lib();
  DropDevice(lib);
  if (lib.os) RemoveProxyDriver(lib.channel, *lib.os);
  lib.access.reset();
  lib.os.reset();
  lib.proxy.reset();
  lib.host = nullptr;
  lib.boundPort.clear();
  lib.boundHold.reset();
  return 1;
}

int DevLib_GetLibType() { return Lib().libType; }

platform::Clock& DevLib_Clock() { return Lib().host ? Lib().host->HostClock() : platform::SystemClock(); }

void DevLib_TransferTotals(std::uint64_t& transfers, std::uint64_t& bytes) {
  transfers = Lib().channel.transfers;
  bytes = Lib().channel.bytes;
}

// --- devices ---------------------------------------------------------------------

int DevLib_GetDeviceCount() {
  if (!Lib().access) return 0;
  std::vector<DeviceListEntry> list;
  if (EnumerateDevices(*Lib().access, list) != platform::kErrorSuccess) return 0;
  return int(list.size() & 0xFF);
}

namespace {

// The position a device is opened at: the one asked for, or, for a job bound
// to a port, wherever the list shows that port now; -1 when it shows none.
int PositionToOpen(const Library& lib, const std::vector<DeviceListEntry>& list, int position) {
  if (lib.boundPort.empty()) return std::size_t(position) < list.size() ? position : -1;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (platform::PortPathOfLocation(list[i].location) == lib.boundPort) return int(i);
  return -1;
}

}  // namespace

void DevLib_BindToPort(const std::string& portPath) {
  Library& lib = Lib();
  if (portPath == lib.boundPort) return;
  lib.boundHold.reset();
  lib.boundPort = portPath;
  lib.boundHoldWaited = false;
  // The codec is the job's from here to its end: listings, opens and resets
  // of other programs wait for it, and none slips in between this job's opens.
  if (!portPath.empty()) lib.boundHold = HoldCodec(CodecLockNameOfPort(kCodecLockName, portPath), &lib.boundHoldWaited);
}

const std::string& DevLib_BoundPort() { return Lib().boundPort; }

std::uint32_t DevLib_OpenDevice(int position) {
  Library& lib = Lib();
  if (lib.device) return lib.handle;
  lib.handle = 0;
  if (!lib.access || position < 0) return 0;
  std::vector<DeviceListEntry> list;
  std::unique_ptr<platform::ProcessLock> hold;
  // The list the codec is found in, its open and its description share one
  // listing of the bus; a wait for the codec to come back lists anew.
  std::optional<platform::ListingScope> listing;
  int at = -1;
  if (!lib.boundPort.empty()) {
    // The codec of the port is this program's from here until it is closed,
    // resets and all. Another program may have had it open and left it
    // re-enumerating: it is given the time of a reset to come back.
    if (!lib.boundHold) return 0;
    const bool waited = lib.boundHoldWaited;
    lib.boundHoldWaited = false;  // later opens follow this job's own resets
    const std::uint64_t start = DevLib_Clock().NowMs();
    for (;;) {
      listing.emplace(lib.access->host);
      if (EnumerateDevices(*lib.access, list) == platform::kErrorSuccess &&
          (at = PositionToOpen(lib, list, position)) >= 0)
        break;
      listing.reset();
      if (!waited || DevLib_Clock().NowMs() - start >= kFindAgainMs) return 0;
      DevLib_Clock().SleepMs(kComeBackPollMs);
    }
  } else {
    if (EnumerateDevices(*lib.access, list) != platform::kErrorSuccess) return 0;
    if ((at = PositionToOpen(lib, list, position)) < 0) return 0;
    // The codec is this program's from here until it is closed, resets and all.
    // Another program may have had it open and reset it meanwhile: the list is
    // taken again, and the position must still hold the same codec.
    hold = HoldCodec(CodecLockName(kCodecLockName, list[std::size_t(at)].location));
    if (!hold) return 0;
    listing.emplace(lib.access->host);
    if (EnumerateDevices(*lib.access, list) != platform::kErrorSuccess ||
        (at = PositionToOpen(lib, list, position)) < 0 ||
        CodecLockName(kCodecLockName, list[std::size_t(at)].location) != hold->Name())
      return 0;
  }
  const DeviceListEntry& entry = list[std::size_t(at)];
  DeviceRecord temporary;
  if (OpenDeviceRecord(*lib.access, temporary, entry.deviceInstance) != platform::kErrorSuccess) return 0;
  temporary.name = entry.name;
  {
    ProxyControlPipe pipe(lib.channel, temporary.token);
    const std::uint8_t zero = 0;
    VendorMemoryWrite(pipe, 0xC3BA, 1, &zero);
  }
  std::unique_ptr<CCamDev> object = CreateDeviceObject(*lib.access, temporary);
  CloseDeviceRecord(*lib.access, temporary);
  auto* vex = dynamic_cast<CVexCam*>(object.get());
  if (!vex || !vex->Caps() || !vex->Caps()->vendorSignature) return 0;
  object.release();
  lib.device.reset(vex);
  lib.codecHold = std::move(hold);
  lib.handle = entry.deviceInstance;
  return lib.handle;
}

int DevLib_CloseDevice(std::uint32_t) {
  DropDevice(Lib());
  return 1;
}

std::uint32_t DevLib_GetDeviceInstance() { return Current() ? Current()->Record().deviceInstance : 0; }

int DevLib_GetPortAndParent(std::uint32_t handle, std::uint32_t& port, std::uint32_t& parent) {
  if (!Lib().access) return 0;
  return GetPortAndParent(*Lib().access, handle, port, parent) ? 1 : 0;
}

int DevLib_GetIdentity(std::uint32_t handle, std::uint16_t& vid, std::uint16_t& pid, std::uint16_t& rev) {
  std::string ignored;
  return DevLib_GetIdentityAndManufacturer(handle, vid, pid, rev, ignored);
}

int DevLib_GetIdentityAndManufacturer(std::uint32_t handle, std::uint16_t& vid, std::uint16_t& pid,
                                      std::uint16_t& rev, std::string& manufacturer) {
  Library& lib = Lib();
  if (lib.libType == 0) {
    CVexCam* d = Current();
    if (!d || !d->Caps()) return 0;
    const auto& dd = d->Caps()->deviceDescriptor;
    vid = std::uint16_t(dd[8] | dd[9] << 8);
    pid = std::uint16_t(dd[10] | dd[11] << 8);
    rev = std::uint16_t(dd[12] | dd[13] << 8);
    manufacturer.clear();
    ReadString(dd[14], manufacturer);
    return 1;
  }
  if (!lib.access) return 0;
  // The device's own entry: a neighbour on the same hub never lends it its identity.
  HubWalkEntry e;
  if (!HubEntryOfDevice(*lib.access, handle, e)) return 0;
  vid = e.vendorId;
  pid = e.productId;
  rev = e.bcdDevice;
  manufacturer = e.manufacturer;
  return 1;
}

int DevLib_GetManufacturerOfFirst(std::string& manufacturer) {
  Library& lib = Lib();
  if (lib.libType != 0) {
    if (!lib.access) return 0;
    std::vector<HubWalkEntry> entries;
    const HubWalkEntry* e = FirstHubEntry(entries, 0);
    if (!e) return 0;
    manufacturer = e->manufacturer;
    return 1;
  }
  if (lib.device) return 1;  // nothing is read while a device is current
  if (!DevLib_OpenDevice(0)) return 0;
  std::uint16_t vid, pid, rev;
  const int ok = DevLib_GetIdentityAndManufacturer(lib.handle, vid, pid, rev, manufacturer);
  DevLib_CloseDevice(0);
  return ok;
}

int DevLib_GetPortPath(std::uint32_t, std::string& portPath) {
  CVexCam* d = Current();
  portPath = d ? platform::PortPathOfLocation(d->Record().location) : std::string();
  return portPath.empty() ? 0 : 1;
}

int DevLib_GetSerialText(std::uint32_t handle, std::string& serial) {
  Library& lib = Lib();
  if (lib.libType == 0) {
    CVexCam* d = Current();
    if (!d || !d->Caps()) return 0;
    serial.clear();
    return ReadString(d->Caps()->deviceDescriptor[16], serial) ? 1 : 0;
  }
  if (!lib.access) return 0;
  HubWalkEntry e;
  if (!HubEntryOfDevice(*lib.access, handle, e)) return 0;
  serial = e.serialNumber;
  return 1;
}

int DevLib_GetDeviceName(std::string& name) {
  name = Current() ? Current()->Record().name : std::string();
  return 1;
}

// --- resets -----------------------------------------------------------------------

int DevLib_ResetUpdate(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs, std::uint16_t value) {
  return Reset(handle, flags, waitMs, 7, value);
}

int DevLib_ResetRom(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs) {
  return Reset(handle, flags, waitMs, 9, 0);
}

int DevLib_ResetRomForced(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs) {
  return Reset(handle, flags, waitMs, 10, 0);
}

// --- commands ------------------------------------------------------------------------

int DevLib_GetDevStatus(std::uint32_t, std::uint8_t* buffer104, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->GetDevStatus(0, buffer104, 104)) : 0;
}

int DevLib_GetDevStatusRange(std::uint32_t, std::uint32_t start, std::uint32_t length, std::uint8_t* buffer,
                             std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->GetDevStatus(start, buffer, length)) : 0;
}

int DevLib_ResetToRom(std::uint32_t) {
  CVendorCmdCommon* c = ByFlags(0);
  return c ? Ok(c->ResetToRom()) : 0;
}

int DevLib_ReadMem(std::uint32_t, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                   std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->ReadMem(address, length, buffer, nullptr, nullptr)) : 0;
}

int DevLib_WriteMem(std::uint32_t, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                    std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->WriteMem(address, length, buffer, nullptr, nullptr)) : 0;
}

int DevLib_EraseFlash(std::uint32_t, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->EraseFlash()) : 0;
}

int DevLib_WriteFlash(std::uint32_t, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                      std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->WriteFlash(address, length, buffer, nullptr, nullptr)) : 0;
}

int DevLib_NorFlashWriteTag(std::uint32_t, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->NorFlash_WriteTag()) : 0;
}

int DevLib_SpiRead(std::uint32_t, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                   std::uint32_t flags, ProgressCallback cb, void* user) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->SPI_SF_Read(address, length, buffer, 0, cb, user)) : 0;
}

int DevLib_SpiWrite(std::uint32_t, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                    std::uint32_t flags, ProgressCallback cb, void* user) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->SPI_SF_Write(address, length, buffer, cb, user)) : 0;
}

int DevLib_SpiReadSr(std::uint32_t, std::uint8_t& status, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->SPI_SF_ReadSr(status)) : 0;
}

int DevLib_SpiWriteSr(std::uint32_t, std::uint8_t status, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->SPI_SF_WriteSr(status)) : 0;
}

int DevLib_SpiEraseChip(std::uint32_t, std::uint32_t flags, std::uint32_t timeLimitMs) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->SPI_SF_EraseChip(timeLimitMs)) : 0;
}

int DevLib_SpiEraseBlock(std::uint32_t, std::uint32_t address, bool wait) {
  CVendorCmdCommon* c = ByFlags(0);
  return c ? Ok(c->SPI_SF_EraseBlock(address, 0x10000, wait)) : 0;
}

int DevLib_SpiWriteTag(std::uint32_t, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->SPI_SF_WriteTag()) : 0;
}

int DevLib_Eep8Erase(std::uint32_t, std::uint32_t count, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->I2C_EEP8_Erase(count)) : 0;
}

int DevLib_Eep8Read(std::uint32_t, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                    std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->I2C_EEP8_Read(address, length, buffer, nullptr, nullptr)) : 0;
}

int DevLib_Eep8Write(std::uint32_t, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                     std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->I2C_EEP8_Write(address, length, buffer, nullptr, nullptr)) : 0;
}

int DevLib_Eep8WriteTag(std::uint32_t, std::uint32_t flags) {
  CVendorCmdCommon* c = ByFlags(flags);
  return c ? Ok(c->I2C_EEP8_WriteTag()) : 0;
}

int DevLib_Eep16Fill(std::uint32_t, std::uint32_t address, std::uint32_t length, std::uint32_t flags) {
  CExtUnit* c = ExtUnitOnly(flags);
  if (!c) return 0;
  std::vector<std::uint8_t> ones(length, 0xFF);
  return Ok(c->I2C_EEP16_Write(address, length, ones.data(), nullptr, nullptr));
}

int DevLib_Eep16Read(std::uint32_t, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                     std::uint32_t flags, ProgressCallback cb, void* user) {
  CExtUnit* c = ExtUnitOnly(flags);
  return c ? Ok(c->I2C_EEP16_Read(address, length, buffer, cb, user)) : 0;
}

int DevLib_Eep16WriteTag(std::uint32_t, std::uint32_t flags) {
  CExtUnit* c = ExtUnitOnly(flags);
  return c ? Ok(c->I2C_EEP16_WriteTag()) : 0;
}

int DevLib_Eep16Write(std::uint32_t, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                      std::uint32_t flags, ProgressCallback cb, void* user) {
  CExtUnit* c = ExtUnitOnly(flags);
  return c ? Ok(c->I2C_EEP16_Write(address, length, buffer, cb, user)) : 0;
}

int DevLib_OtpRead(std::uint32_t, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                   std::uint32_t flags) {
  CExtUnit* c = ExtUnitOnly(flags);
  return c ? Ok(c->OTPRead(address, length, buffer)) : 0;
}

int DevLib_OtpFailAddr(std::uint32_t, std::uint32_t resultLength, std::uint8_t* buffer, std::uint32_t flags) {
  CExtUnit* c = ExtUnitOnly(flags);
  return c ? Ok(c->OTPPrgmFailAddr(resultLength, buffer)) : 0;
}

int DevLib_OtpWrite(std::uint32_t, std::uint32_t address, std::uint16_t parameter, std::uint32_t length,
                    const std::uint8_t* data, std::uint32_t flags) {
  CExtUnit* c = ExtUnitOnly(flags);
  if (!c) return 0;
  const int ok = Ok(c->OTPWrite(address, length, parameter, data));
  Lib().lastOtpStatus = Lib().libType == 0 ? c->LastStatus() : 0;
  return ok;
}

std::uint8_t DevLib_GetLastOtpStatus() { return Lib().lastOtpStatus; }

int DevLib_VendorModeSet(std::uint32_t, std::uint32_t value) {
  CVendorCmdCommon* c = ByFlags(0);
  return c ? Ok(c->VendorModeSet(value)) : 0;
}

int DevLib_VendorQuery(std::uint32_t, std::uint32_t value, std::uint8_t* buffer, std::uint32_t& count) {
  CVendorCmdCommon* c = ByFlags(0);
  return c ? Ok(c->VendorQuery(value, buffer, count)) : 0;
}

int DevLib_ChangeDataControlSize(std::uint32_t, std::uint16_t& size) {
  CVexCam* d = Current();
  if (!d) return 0;
  CExtUnit* c = d->ExtUnitChannel();
  if (c) return c->ChangeDataControlSize(size);
  size = kUnansweredDataControlSize;
  return 0;
}

int DevLib_HasExtensionUnit(std::uint32_t) {
  CVexCam* d = Current();
  return d && d->ExtUnitChannel() ? 1 : 0;
}

void DevLib_CancelWait() {
  if (Lib().libType == 0 && Current()) Current()->CancelWait();
}
