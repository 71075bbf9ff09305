#pragma once
// The USB host as the device layer sees it: a device tree in the shape of a
// device manager (instance numbers, instance paths, location paths, setup
// classes, parents and children), opening a device, control transfers with a
// time-out, hub port queries and arrival/removal notifications.
//
// Backends: the libusb backend (real hardware) and the simulator's bus. Both
// render their devices into the same path shapes, so device selection and the
// reset logic run unchanged on either; the rendering is documented once, in
// platform/usb_paths.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/error_codes.h"

namespace platform {

class Clock;

// One node of the device tree: a root hub, a hub, a USB device or one
// function (interface) of a composite USB device.
struct UsbNode {
  std::uint32_t instance = 0;  // non-zero, stable while the node is present
  std::uint32_t parent = 0;    // 0 above the root hubs
  std::vector<std::uint32_t> children;
  // "USB\ROOT_HUB20\...", "USB\ROOT_HUB30\...", "USB\VID_vvvv&PID_pppp\serial-or-port-id",
  // "USB\VID_vvvv&PID_pppp&MI_nn\...": the shapes of platform/usb_paths.h.
  std::string instancePath;
  // "PCIROOT(0)#PCI(1400)#USBROOT(b)#USB(p)#USB(p)..." and "...#USBMI(n)" for
  // a function; nests from the root hub down through the port chain.
  std::string locationPath;
  std::string setupClass;    // "USB" for devices and hubs, "Media" for audio functions
  std::string friendlyName;  // empty when the node has none
  std::string description;   // the device description
  std::uint32_t address = 0;  // the port number on the parent hub
  std::string driverKey;      // unique key of the node's driver instance
  bool isHub = false;
  bool hasProblem = false;
  // Device interfaces the node offers, as the device layer opens them.
  bool audioInterface = false;      // an audio function (class "Media")
  bool usbDeviceInterface = false;  // a whole USB device
};

// What a hub reports for one of its ports.
struct UsbPortInfo {
  std::uint32_t port = 0;
  bool connected = false;
  bool isHub = false;
  std::uint8_t speed = 1;  // 0 low, 1 full, 2 high, 3 super
  std::uint8_t deviceDescriptor[18] = {};
  std::uint32_t instance = 0;  // the node on that port, 0 when none
};

// An opened device. Control transfers are answered synchronously.
class UsbDevice {
 public:
  virtual ~UsbDevice() = default;
  // bmRequestType bit 7 set: device to host. Returns kErrorSuccess or one of
  // the error numbers: kErrorDeviceNotConnected (gone), kErrorTimeout,
  // kErrorGenFailure (stalled), kErrorNotReady. `transferred` is the number of
  // bytes moved.
  virtual std::uint32_t ControlTransfer(std::uint8_t requestType, std::uint8_t request,
                                        std::uint16_t value, std::uint16_t index,
                                        std::uint8_t* data, std::uint16_t length,
                                        std::uint32_t timeoutMs, std::uint32_t& transferred) = 0;
};

class UsbHost {
 public:
  virtual ~UsbHost() = default;
  // A snapshot of the present nodes, parents before children.
  virtual std::vector<UsbNode> Nodes() = 0;
  // Opens the device of a node (a function opens its USB device); null with
  // `error` set when it cannot be opened (kErrorAccessDenied, kErrorFileNotFound...).
  virtual std::unique_ptr<UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) = 0;
  // The ports of a hub node; false when the node is not a present hub.
  virtual bool HubPorts(std::uint32_t hubInstance, std::vector<UsbPortInfo>& ports) = 0;
  // A string descriptor of the device on a hub port (the hub walk's request).
  virtual bool PortStringDescriptor(std::uint32_t hubInstance, std::uint32_t port, std::uint8_t index,
                                    std::uint16_t language, std::vector<std::uint8_t>& out) = 0;
  // Arrival (true) and removal (false) of device nodes; called on a thread of
  // the backend. An empty function removes the callback.
  virtual void SetHotplugCallback(std::function<void(bool arrived, std::uint32_t instance)> cb) = 0;
  // The clock every wait of the device layer goes through: the steady clock
  // for hardware, simulated time for the simulator.
  virtual Clock& HostClock() = 0;

  // One listing of the bus for a stretch of work on the calling thread (a
  // hub walk, one pass of a search): from HoldListing until the matching
  // ReleaseListing (holds nest), Nodes, HubPorts, PortStringDescriptor and
  // Open answer from the bus as the first of them listed it. Without a hold
  // every call lists the bus anew. A listing of real hardware is a whole
  // enumeration; a backend whose listings cost nothing may ignore holds.
  // Work that waits for the bus to change releases its hold before it waits.
  virtual void HoldListing() {}
  virtual void ReleaseListing() {}
};

// Holds one listing of the bus while it lives (UsbHost::HoldListing).
class ListingScope {
 public:
  explicit ListingScope(UsbHost& host) : host_(host) { host_.HoldListing(); }
  ~ListingScope() { host_.ReleaseListing(); }
  ListingScope(const ListingScope&) = delete;
  ListingScope& operator=(const ListingScope&) = delete;

 private:
  UsbHost& host_;
};

}  // namespace platform
