#pragma once
// A bench for the device layer's tests: a scripted USB host with codecs on a
// hub, the user-space proxy over it and an open proxy channel.
#include <array>
#include <cstring>

#include "device/device_record.h"
#include "device/user_space_proxy.h"
#include "platform/error_codes.h"
#include "platform/vendor.h"
#include "tests/support/fake_usb_host.h"

// What a scripted codec answers: descriptors, status words (request 0x07),
// the one-byte read (0x06) and the extension unit's signature check.
struct FakeCodec {
  std::array<std::uint8_t, 18> deviceDescriptor = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0x5A, 0x3C,
                                                   0x2B, 0x1A, 0x05, 0x01, 1, 2, 3, 1};
  std::vector<std::uint8_t> config;
  std::array<std::uint8_t, 96> status{};
  bool unitSignature = false;
  int notReady = 0;  // descriptor reads answered "not ready" before the device answers
  std::uint8_t lastCommand = 0;

  FakeCodec() { SetConfig(platform::kVendorId, 5); }
  // An audio-control interface holding a header and an extension unit.
  void SetConfig(std::uint16_t extensionCode, std::uint8_t unitId) {
    config = {9,    2, 0, 0, 1, 1, 0, 0x80, 50,          // configuration (wTotalLength below)
              9,    4, 0, 0, 0, 1, 1, 0,    0,           // interface 0: audio control
              9,    0x24, 1, 0, 1, 0, 0, 1, 1,           // AC header
              13,   0x24, 8, unitId, std::uint8_t(extensionCode), std::uint8_t(extensionCode >> 8), 1, 2, 1, 0, 1, 0, 0};
    config[2] = std::uint8_t(config.size());
  }
  void SetSignature() { std::memcpy(&status[24], "MORVANE", 8); }

  std::uint32_t operator()(const FakeTransfer& t, std::uint8_t* data, std::uint32_t& moved) {
    auto give = [&](const std::uint8_t* bytes, std::size_t n) {
      moved = std::uint32_t(std::min<std::size_t>(n, t.length));
      std::memcpy(data, bytes, moved);
      return platform::kErrorSuccess;
    };
    if (t.requestType == 0x80 && t.request == 6) {
      if (notReady > 0) {
        --notReady;
        return platform::kErrorNotReady;
      }
      if (t.value == 0x0100) return give(deviceDescriptor.data(), 18);
      if (t.value == 0x0200) return give(config.data(), config.size());
    }
    if (t.requestType == 0xC0 && t.request == 0x07 && t.value < 12) return give(&status[t.value * 8u], 8);
    if (t.requestType == 0xC0 && t.request == 0x06) return give(status.data(), 1);
    if (t.requestType == 0x21 && t.value == 0x0A00 && t.data.size() == 8) {
      lastCommand = t.data[1];
      moved = 8;
      return platform::kErrorSuccess;
    }
    if (t.requestType == 0xA1 && t.value == 0x0B00 && unitSignature && lastCommand == 0xD0)
      return give(reinterpret_cast<const std::uint8_t*>("MORVANE"), 8);
    return platform::kErrorGenFailure;  // stall
  }
};

class DeviceBench {
 public:
  DeviceBench() : proxy(host, channel.memory), access{host, proxy, channel} {
    channel.controlDevice = proxy.OpenControlDevice();
  }

  platform::UsbNode Node(std::string path, std::string location, std::string setupClass = "USB") {
    platform::UsbNode n;
    n.instancePath = std::move(path);
    n.locationPath = std::move(location);
    n.setupClass = std::move(setupClass);
    return n;
  }
  std::uint32_t RootHub(const std::string& path) {
    auto n = Node(path, "PCIROOT(0)#PCI(000100)#USBROOT(0)");
    n.isHub = true;
    return host.Add(n);
  }
  std::uint32_t Hub(std::uint32_t parent, const std::string& path, std::uint32_t port) {
    auto n = Node(path, host.Find(parent)->locationPath + "#USB(" + std::to_string(port) + ")");
    n.isHub = true;
    n.address = port;
    n.usbDeviceInterface = true;
    return host.Add(n, parent);
  }
  // A codec's USB device with one audio function; returns the function.
  std::uint32_t Codec(std::uint32_t hub, const std::string& devicePath, std::uint32_t port, const std::string& mi,
                      const std::string& name, FakeCodec& codec) {
    auto d = Node(devicePath, host.Find(hub)->locationPath + "#USB(" + std::to_string(port) + ")");
    d.address = port;
    d.usbDeviceInterface = true;
    const std::uint32_t device = host.Add(d, hub);
    const std::size_t slash = devicePath.rfind('\\');
    auto f = Node(devicePath.substr(0, slash) + "&MI_" + mi + "\\6&1&0&00" + mi,
                  d.locationPath + "#USBMI(" + std::to_string(std::stoi(mi, nullptr, 16)) + ")", "Media");
    f.friendlyName = name;
    f.description = "USB Audio Device";
    f.audioInterface = true;
    f.address = port;
    const std::uint32_t function = host.Add(f, device);
    host.Answer(device, std::ref(codec));
    host.Answer(function, std::ref(codec));
    return function;
  }

  FakeUsbHost host;
  ProxyDriverChannel channel;
  UserSpaceProxy proxy;
  DeviceAccess access;
};
