#pragma once
// The device library: one current codec for the whole process, and every
// operation the flows send to it, each forwarded to the channel that suits it.
//
// The command functions take the flow's device handle first and ignore it (the
// library has only its current device); they return 1 on success, 0 on
// failure, and 0 at once without a current device. `flags` are the flow's
// access flags: bit 0x20 sends the call over the extension unit, otherwise the
// preferred channel (vendor requests when the device answers them) is used.
#include <cstdint>
#include <string>

#include "device/vendor_cmd_common.h"

namespace platform {
class Clock;
class UsbHost;
}

inline constexpr std::uint32_t kAccessExtUnit = 0x20;
inline constexpr std::uint32_t kAccessResetAtLocation = 0x01;

// Starts the library over the given USB host (libusb or the simulated bench);
// `libType` is the setting "Lib Type". 1 on success.
int DevLib_Init(int libType);
int DevLib_InitWithHost(int libType, platform::UsbHost* host);
int DevLib_Uninit();
int DevLib_GetLibType();
// The clock of the library's USB host (simulated time on a bench); the
// machine's clock when no host was given.
platform::Clock& DevLib_Clock();
// Running totals since the library started: control transfers sent to any
// device and the bytes they moved.
void DevLib_TransferTotals(std::uint64_t& transfers, std::uint64_t& bytes);

int DevLib_GetDeviceCount();
std::uint32_t DevLib_OpenDevice(int position);
// A job chosen by its port: while bound, every open (and the open after a
// failed reset) takes the codec on that port path at whatever position the
// list shows it then, or fails when the port holds none; the position asked
// for is not used. Empty: opens go by position (the factory form's "-d N").
void DevLib_BindToPort(const std::string& portPath);
const std::string& DevLib_BoundPort();
// Binds for the life of the object and then restores the binding before it.
class DevLibPortBinding {
 public:
  explicit DevLibPortBinding(const std::string& portPath) : before_(DevLib_BoundPort()) { DevLib_BindToPort(portPath); }
  ~DevLibPortBinding() { DevLib_BindToPort(before_); }
  DevLibPortBinding(const DevLibPortBinding&) = delete;
  DevLibPortBinding& operator=(const DevLibPortBinding&) = delete;

 private:
  std::string before_;
};
int DevLib_CloseDevice(std::uint32_t handle = 0);
std::uint32_t DevLib_GetDeviceInstance();
int DevLib_GetPortAndParent(std::uint32_t handle, std::uint32_t& port, std::uint32_t& parent);
int DevLib_GetIdentity(std::uint32_t handle, std::uint16_t& vid, std::uint16_t& pid, std::uint16_t& rev);
int DevLib_GetIdentityAndManufacturer(std::uint32_t handle, std::uint16_t& vid, std::uint16_t& pid,
                                      std::uint16_t& rev, std::string& manufacturer);
int DevLib_GetManufacturerOfFirst(std::string& manufacturer);
// The USB port path of the current device ("1-1.3"), as `tessaload list` shows it.
int DevLib_GetPortPath(std::uint32_t handle, std::string& portPath);
int DevLib_GetSerialText(std::uint32_t handle, std::string& serial);
int DevLib_GetDeviceName(std::string& name);

// Resets with re-find: the found device's handle goes to `handle`.
int DevLib_ResetUpdate(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs, std::uint16_t value);
int DevLib_ResetRom(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs);
int DevLib_ResetRomForced(std::uint32_t& handle, std::uint32_t flags, std::uint32_t waitMs);

int DevLib_GetDevStatus(std::uint32_t handle, std::uint8_t* buffer104, std::uint32_t flags);
int DevLib_GetDevStatusRange(std::uint32_t handle, std::uint32_t start, std::uint32_t length, std::uint8_t* buffer,
                             std::uint32_t flags);
int DevLib_ResetToRom(std::uint32_t handle);
int DevLib_ReadMem(std::uint32_t handle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                   std::uint32_t flags);
int DevLib_WriteMem(std::uint32_t handle, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                    std::uint32_t flags);
int DevLib_EraseFlash(std::uint32_t handle, std::uint32_t flags);
int DevLib_WriteFlash(std::uint32_t handle, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                      std::uint32_t flags);
int DevLib_NorFlashWriteTag(std::uint32_t handle, std::uint32_t flags);
int DevLib_SpiRead(std::uint32_t handle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                   std::uint32_t flags, ProgressCallback cb = nullptr, void* user = nullptr);
int DevLib_SpiWrite(std::uint32_t handle, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                    std::uint32_t flags, ProgressCallback cb = nullptr, void* user = nullptr);
int DevLib_SpiReadSr(std::uint32_t handle, std::uint8_t& status, std::uint32_t flags);
int DevLib_SpiWriteSr(std::uint32_t handle, std::uint8_t status, std::uint32_t flags);
int DevLib_SpiEraseChip(std::uint32_t handle, std::uint32_t flags, std::uint32_t timeLimitMs);
int DevLib_SpiEraseBlock(std::uint32_t handle, std::uint32_t address, bool wait);
int DevLib_SpiWriteTag(std::uint32_t handle, std::uint32_t flags);
int DevLib_Eep8Erase(std::uint32_t handle, std::uint32_t count, std::uint32_t flags);
int DevLib_Eep8Read(std::uint32_t handle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                    std::uint32_t flags);
int DevLib_Eep8Write(std::uint32_t handle, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                     std::uint32_t flags);
int DevLib_Eep8WriteTag(std::uint32_t handle, std::uint32_t flags);
int DevLib_Eep16Fill(std::uint32_t handle, std::uint32_t address, std::uint32_t length, std::uint32_t flags);
int DevLib_Eep16Read(std::uint32_t handle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                     std::uint32_t flags, ProgressCallback cb = nullptr, void* user = nullptr);
int DevLib_Eep16WriteTag(std::uint32_t handle, std::uint32_t flags);
int DevLib_Eep16Write(std::uint32_t handle, std::uint32_t address, std::uint32_t length, const std::uint8_t* buffer,
                      std::uint32_t flags, ProgressCallback cb = nullptr, void* user = nullptr);
int DevLib_OtpRead(std::uint32_t handle, std::uint32_t address, std::uint32_t length, std::uint8_t* buffer,
                   std::uint32_t flags);
int DevLib_OtpFailAddr(std::uint32_t handle, std::uint32_t resultLength, std::uint8_t* buffer, std::uint32_t flags);
int DevLib_OtpWrite(std::uint32_t handle, std::uint32_t address, std::uint16_t parameter, std::uint32_t length,
                    const std::uint8_t* data, std::uint32_t flags);
// The extension unit's last status after the latest OtpWrite.
std::uint8_t DevLib_GetLastOtpStatus();
int DevLib_VendorModeSet(std::uint32_t handle, std::uint32_t value);
int DevLib_VendorQuery(std::uint32_t handle, std::uint32_t value, std::uint8_t* buffer, std::uint32_t& count);
int DevLib_ChangeDataControlSize(std::uint32_t handle, std::uint16_t& size);
// 1 when the current device answers its extension unit, the only channel of
// the EEPROM-16 and OTP calls.
int DevLib_HasExtensionUnit(std::uint32_t handle);
void DevLib_CancelWait();
