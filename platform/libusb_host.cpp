#include "platform/libusb_host.h"

#include <libusb.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/held_listing.h"
#include "platform/libusb_errors.h"
#include "platform/libusb_tree.h"

namespace platform {

namespace {

constexpr int kMaxPortDepth = 7;
constexpr std::uint8_t kAudioClass = 1;
constexpr std::uint8_t kAudioControlSubclass = 1;

void ReportAccessDenied() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string text = UsbAccessDeniedText();
    std::fprintf(stderr, "%s\n", text.c_str());
    DebugOutput(text);
  });
}

std::string ReadSysfsText(const std::string& device, const char* attribute) {
  std::ifstream in("/sys/bus/usb/devices/" + device + "/" + attribute);
  std::string text;
  std::getline(in, text);
  return text;
}

std::vector<int> PortChain(libusb_device* dev) {
  std::uint8_t ports[kMaxPortDepth];
  int n = libusb_get_port_numbers(dev, ports, kMaxPortDepth);
  return n > 0 ? std::vector<int>(ports, ports + n) : std::vector<int>();
}

LibusbDeviceFacts FactsOf(libusb_device* dev) {
  LibusbDeviceFacts f;
  f.bus = libusb_get_bus_number(dev);
  f.ports = PortChain(dev);
  f.address = libusb_get_device_address(dev);
  libusb_device_descriptor d{};
  if (libusb_get_device_descriptor(dev, &d) == 0) {
    f.vendorId = d.idVendor;
    f.productId = d.idProduct;
    f.bcdUsb = d.bcdUSB;
    f.deviceClass = d.bDeviceClass;
  }
  const std::string name = SysfsDeviceName(f.bus, f.ports);
  f.product = ReadSysfsText(name, "product");
  f.serial = ReadSysfsText(name, "serial");
  libusb_config_descriptor* config = nullptr;
  if (!f.ports.empty() && libusb_get_active_config_descriptor(dev, &config) == 0) {
    for (int i = 0; i < config->bNumInterfaces; ++i) {
      const libusb_interface& itf = config->interface[i];
      if (itf.num_altsetting < 1) continue;
      const libusb_interface_descriptor& alt = itf.altsetting[0];
      if (alt.bInterfaceClass == kAudioClass && alt.bInterfaceSubClass == kAudioControlSubclass)
        f.audioControlInterfaces.push_back(alt.bInterfaceNumber);
    }
    libusb_free_config_descriptor(config);
  }
  return f;
}

// The 18 bytes of a device descriptor as they travel on the bus.
void PackDeviceDescriptor(const libusb_device_descriptor& d, std::uint8_t out[18]) {
  const std::uint8_t bytes[18] = {d.bLength,
                                  d.bDescriptorType,
                                  std::uint8_t(d.bcdUSB),
                                  std::uint8_t(d.bcdUSB >> 8),
                                  d.bDeviceClass,
                                  d.bDeviceSubClass,
                                  d.bDeviceProtocol,
                                  d.bMaxPacketSize0,
                                  std::uint8_t(d.idVendor),
                                  std::uint8_t(d.idVendor >> 8),
                                  std::uint8_t(d.idProduct),
                                  std::uint8_t(d.idProduct >> 8),
                                  std::uint8_t(d.bcdDevice),
                                  std::uint8_t(d.bcdDevice >> 8),
                                  d.iManufacturer,
                                  d.iProduct,
                                  d.iSerialNumber,
                                  d.bNumConfigurations};
  std::copy(bytes, bytes + 18, out);
}

std::uint8_t SpeedOf(libusb_device* dev) {
  switch (libusb_get_device_speed(dev)) {
    case LIBUSB_SPEED_LOW:
      return 0;
    case LIBUSB_SPEED_HIGH:
      return 2;
    case LIBUSB_SPEED_SUPER:
    case LIBUSB_SPEED_SUPER_PLUS:
      return 3;
    default:
      return 1;
  }
}

// A libusb context, ended when the last device list and handle made from it
// are gone.
class Context {
 public:
  explicit Context(libusb_context* ctx) : ctx_(ctx) {}
  ~Context() { libusb_exit(ctx_); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

 private:
  libusb_context* ctx_;
};

class LibusbDevice final : public UsbDevice {
 public:
  LibusbDevice(std::shared_ptr<Context> context, libusb_device_handle* handle)
      : context_(std::move(context)), handle_(handle) {
    // Claiming an interface detaches its kernel driver; releasing it attaches
    // the driver again. Not every platform can; then claims simply fail with
    // the driver's error.
    libusb_set_auto_detach_kernel_driver(handle_, 1);
  }
  ~LibusbDevice() override {
    for (int ifnum : claimed_) libusb_release_interface(handle_, ifnum);
    libusb_close(handle_);
  }

  std::uint32_t ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                                std::uint32_t timeoutMs, std::uint32_t& transferred) override {
    transferred = 0;
    const bool classToInterface = (requestType & 0x60) == 0x20 && (requestType & 0x1F) == 0x01;
    if (classToInterface) {
      std::uint32_t error = Claim(index & 0xFF);
      if (error != kErrorSuccess) return error;
    }
    // libusb reads a time-out of 0 as "no limit"; so does the caller.
    int n = libusb_control_transfer(handle_, requestType, request, value, index, data, length, timeoutMs);
    if (n < 0) return ErrorFromLibusb(n);
    transferred = std::uint32_t(n);
    return kErrorSuccess;
  }

 private:
  std::uint32_t Claim(int ifnum) {
    std::lock_guard lock(mutex_);
    if (claimed_.count(ifnum)) return kErrorSuccess;
    int rc = libusb_claim_interface(handle_, ifnum);
    if (rc != 0) {
      if (rc == LIBUSB_ERROR_ACCESS) ReportAccessDenied();
      return ErrorFromLibusb(rc);
    }
    claimed_.insert(ifnum);
    return kErrorSuccess;
  }

  std::shared_ptr<Context> context_;  // outlives the handle
  libusb_device_handle* handle_;
  std::mutex mutex_;
  std::set<int> claimed_;
};

// The devices present now, in a context of their own: a context's device
// list follows arrivals and removals only through hotplug events, and those
// never come on a system without udev (a container, an initramfs), so a list
// taken from a long-lived context can miss a codec that re-enumerated after
// a reset. Holds the list's references and the context while it lives.
struct DeviceList {
  std::shared_ptr<Context> context;
  libusb_device** devices = nullptr;
  ssize_t count = 0;
  DeviceList() {
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0) return;
    context = std::make_shared<Context>(ctx);
    count = libusb_get_device_list(ctx, &devices);
    if (count < 0) count = 0;
  }
  ~DeviceList() {
    if (devices) libusb_free_device_list(devices, 1);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
};

class LibusbHost final : public UsbHost {
 public:
  // `ctx` serves the hotplug notifications; every listing takes a fresh one
  // (held listings share theirs, see UsbHost::HoldListing).
  explicit LibusbHost(libusb_context* ctx) : ctx_(ctx) {}
  ~LibusbHost() override {
    StopHotplug();
    libusb_exit(ctx_);
  }

  std::vector<UsbNode> Nodes() override { return List()->snap.nodes; }

  std::unique_ptr<UsbDevice> Open(std::uint32_t instance, std::uint32_t& error) override {
    const std::shared_ptr<Listing> listing = List();
    libusb_device* dev = listing->snap.DeviceOf(instance);
    if (!dev) {
      error = kErrorDeviceNotConnected;
      return nullptr;
    }
    libusb_device_handle* handle = nullptr;
    int rc = libusb_open(dev, &handle);
    if (rc != 0) {
      if (rc == LIBUSB_ERROR_ACCESS) ReportAccessDenied();
      error = ErrorFromLibusb(rc);
      return nullptr;
    }
    error = kErrorSuccess;
    return std::make_unique<LibusbDevice>(listing->list.context, handle);
  }

  bool HubPorts(std::uint32_t hubInstance, std::vector<UsbPortInfo>& ports) override {
    ports.clear();
    const std::shared_ptr<Listing> listing = List();
    const Snapshot& snap = listing->snap;
    const UsbNode* hub = snap.Node(hubInstance);
    if (!hub || !hub->isHub) return false;
    // Only ports with a device are reported: libusb does not tell a hub's
    // port count without opening the hub.
    for (std::uint32_t child : hub->children) {
      const UsbNode* node = snap.Node(child);
      libusb_device* dev = snap.DeviceOf(child);
      libusb_device_descriptor d{};
      if (!node || !dev || libusb_get_device_descriptor(dev, &d) != 0) continue;
      UsbPortInfo info;
      info.port = node->address;
      info.connected = true;
      info.isHub = node->isHub;
      info.speed = SpeedOf(dev);
      PackDeviceDescriptor(d, info.deviceDescriptor);
      info.instance = child;
      ports.push_back(info);
    }
    return true;
  }

  bool PortStringDescriptor(std::uint32_t hubInstance, std::uint32_t port, std::uint8_t index,
                            std::uint16_t language, std::vector<std::uint8_t>& out) override {
    out.clear();
    const ListingScope scope(*this);  // the ports and the open share one listing
    std::vector<UsbPortInfo> ports;
    if (!HubPorts(hubInstance, ports)) return false;
    for (const UsbPortInfo& p : ports) {
      if (p.port != port) continue;
      std::uint32_t error = 0;
      auto device = Open(p.instance, error);
      if (!device) return false;
      std::uint8_t buffer[255];
      std::uint32_t got = 0;
      if (device->ControlTransfer(0x80, LIBUSB_REQUEST_GET_DESCRIPTOR, std::uint16_t((LIBUSB_DT_STRING << 8) | index),
                                  language, buffer, sizeof buffer, 5000, got) != kErrorSuccess)
        return false;
      out.assign(buffer, buffer + got);
      return true;
    }
    return false;
  }

  void SetHotplugCallback(std::function<void(bool, std::uint32_t)> cb) override {
    StopHotplug();
    if (!cb || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return;
    {
      std::lock_guard lock(mutex_);
      callback_ = std::move(cb);
    }
    int rc = libusb_hotplug_register_callback(
        ctx_, libusb_hotplug_event(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        LIBUSB_HOTPLUG_NO_FLAGS, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        &LibusbHost::OnHotplug, this, &hotplugHandle_);
    if (rc != LIBUSB_SUCCESS) return;
    hotplugRegistered_ = true;
    stopEvents_ = false;
    events_ = std::thread([this] {
      while (!stopEvents_) {
        timeval tv{0, 200000};
        libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
      }
    });
  }

  Clock& HostClock() override { return SystemClock(); }

  void HoldListing() override { held_.Hold(); }
  void ReleaseListing() override { held_.Release(); }

 private:
  struct Snapshot {
    std::vector<UsbNode> nodes;
    std::map<std::uint32_t, libusb_device*> devices;  // node -> its USB device (valid while the list lives)
    const UsbNode* Node(std::uint32_t instance) const {
      for (const UsbNode& n : nodes)
        if (n.instance == instance) return &n;
      return nullptr;
    }
    libusb_device* DeviceOf(std::uint32_t instance) const {
      auto it = devices.find(instance);
      return it == devices.end() ? nullptr : it->second;
    }
  };

  // A listing of the bus: the devices in a fresh context and their nodes.
  struct Listing {
    DeviceList list;
    Snapshot snap;
  };

  // The calling thread's held listing, or a new one.
  std::shared_ptr<Listing> List() {
    return held_.Get([this] {
      auto listing = std::make_shared<Listing>();
      std::lock_guard lock(mutex_);
      listing->snap = Scan(listing->list);
      return listing;
    });
  }

  // Caller holds mutex_.
  Snapshot Scan(const DeviceList& list) {
    std::vector<LibusbDeviceFacts> facts;
    for (ssize_t i = 0; i < list.count; ++i) facts.push_back(FactsOf(list.devices[i]));
    Snapshot snap;
    snap.nodes = BuildUsbTree(facts, instances_);
    for (ssize_t i = 0; i < list.count; ++i) {
      const LibusbDeviceFacts& f = facts[size_t(i)];
      const std::string key = DeviceInstanceKey(f.bus, f.ports, f.address);
      snap.devices[instances_.InstanceFor(key)] = list.devices[i];
      for (int ifnum : f.audioControlInterfaces)
        snap.devices[instances_.InstanceFor(key + ":" + std::to_string(ifnum))] = list.devices[i];
    }
    return snap;
  }

  static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* dev, libusb_hotplug_event event, void* self) {
    auto* host = static_cast<LibusbHost*>(self);
    std::function<void(bool, std::uint32_t)> cb;
    std::uint32_t instance = 0;
    {
      std::lock_guard lock(host->mutex_);
      cb = host->callback_;
      instance = host->instances_.InstanceFor(
          DeviceInstanceKey(libusb_get_bus_number(dev), PortChain(dev), libusb_get_device_address(dev)));
    }
    if (cb) cb(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, instance);
    return 0;
  }

  void StopHotplug() {
    if (!hotplugRegistered_) return;
    stopEvents_ = true;
    libusb_hotplug_deregister_callback(ctx_, hotplugHandle_);  // wakes the event thread
    if (events_.joinable()) events_.join();
    hotplugRegistered_ = false;
    std::lock_guard lock(mutex_);
    callback_ = nullptr;
  }

  libusb_context* ctx_;
  std::mutex mutex_;  // guards instances_ and callback_
  UsbInstanceTable instances_;
  std::function<void(bool, std::uint32_t)> callback_;
  libusb_hotplug_callback_handle hotplugHandle_ = 0;
  bool hotplugRegistered_ = false;
  std::atomic<bool> stopEvents_{false};
  std::thread events_;
  HeldListings<Listing> held_;
};

}  // namespace

std::unique_ptr<UsbHost> CreateLibusbHost(std::uint32_t& error) {
  libusb_context* ctx = nullptr;
  int rc = libusb_init(&ctx);
  if (rc != 0) {
    error = ErrorFromLibusb(rc);
    return nullptr;
  }
  error = kErrorSuccess;
  return std::make_unique<LibusbHost>(ctx);
}

}  // namespace platform
