#include "tools/usbprobe/probe_steps.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "device/dev_lib.h"
#include "image/image_version.h"
#include "platform/clock.h"

namespace probe {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSignature[8] = {'M', 'O', 'R', 'V', 'A', 'N', 'E', 0};
constexpr std::uint32_t kStatusSize = 104;
constexpr std::uint32_t kEraseLimitMs = 30'000;
constexpr std::uint16_t kChipIdRegister = 0xFE21;
constexpr std::uint32_t kScratchData = 0x8000;  // free data memory
constexpr std::uint32_t kFlashArea = 0x10000;

Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(seed + i * 7);
  return b;
}

std::string Hex4(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", v & 0xFFFF);
  return text;
}

std::string Ms(double ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f ms", ms);
  return text;
}

// The running version in status format 3: bytes 0x4C-0x53 hold components
// 4 and 3, the first two as nibbles, then 6 and 5, low bytes first.
FwVersion StatusVersion(const std::uint8_t* s) {
  return {std::uint16_t(s[0x4F] >> 4), std::uint16_t(s[0x4F] & 0x0F), s[0x4E],
          std::uint16_t(s[0x4C] | s[0x4D] << 8), std::uint16_t(s[0x52] | s[0x53] << 8),
          std::uint16_t(s[0x50] | s[0x51] << 8)};
}

class Probe {
 public:
  Probe(CountingHost& host, const ProbeOptions& options, std::ostream& out)
      : host_(host), options_(options), out_(out), clock_(platform::SystemClock()) {}

  std::optional<std::string> Run() {
    using Step = std::pair<const char*, std::function<std::string()>>;
    const Step steps[] = {
        {"init", [&] { return DevLib_InitWithHost(0, &host_) == 1 ? "" : "DevLib_InitWithHost failed"; }},
        {"count", [&] { return Count(); }},
        {"open", [&] { return Open(); }},
        {"identity", [&] { return Identity(); }},
        {"status", [&] { return Status(options_.version); }},
        {"data-memory", [&] { return DataMemory(); }},
        {"latency", [&] { return Latency(); }},
        {"flash", [&] { return Flash(); }},
        {"data-control-size", [&] { return DataControlSize(); }},
        {"rom-reset", [&] { return RomReset(); }},
        {"close", [&] { return Close(); }},
    };
    for (const auto& [name, step] : steps) {
      const std::string failure = step();
      if (!failure.empty()) {
        out_ << "FAIL " << name << ": " << failure << "\n";
        DevLib_Uninit();
        return std::string(name);
      }
      out_ << "ok   " << name << (detail_.empty() ? "" : ": " + detail_) << "\n";
      detail_.clear();
    }
    return std::nullopt;
  }

 private:
  std::string Count() {
    const int count = DevLib_GetDeviceCount();
    detail_ = std::to_string(count) + " codec(s) listed";
    return count >= 1 ? "" : "no codec listed";
  }

  std::string Open() {
    handle_ = DevLib_OpenDevice(0);
    if (!handle_) return "DevLib_OpenDevice(0) returned 0";
    if (!DevLib_GetPortAndParent(handle_, port_, parent_)) return "no port";
    detail_ = "handle " + std::to_string(handle_) + ", port " + std::to_string(port_);
    return "";
  }

  std::string Identity() {
    std::uint16_t vid = 0, pid = 0, rev = 0;
    std::string manufacturer;
    if (!DevLib_GetIdentityAndManufacturer(handle_, vid, pid, rev, manufacturer)) return "identity not read";
    detail_ = "VID " + Hex4(vid) + " PID " + Hex4(pid) + " REV " + Hex4(rev) + " \"" + manufacturer + "\"";
    if (vid != options_.vid || pid != options_.pid)
      return "found VID " + Hex4(vid) + " PID " + Hex4(pid) + ", expected " + Hex4(options_.vid) + " " +
             Hex4(options_.pid);
    return manufacturer.empty() ? "no manufacturer string" : "";
  }

  // The status words through the vendor channel: the signature, and the
  // running version (`expected`, unless empty).
  std::string Status(const std::string& expected) {
    std::uint8_t s[kStatusSize] = {};
    if (!DevLib_GetDevStatus(handle_, s, 0)) return "status not read";
    if (std::memcmp(s + 24, kSignature, sizeof kSignature) != 0) return "no signature at status bytes 24-31";
    const std::string version = FormatVersion(StatusVersion(s));
    detail_ = "signature ok, running " + version;
    if (!expected.empty() && version != expected) return "running " + version + ", expected " + expected;
    return "";
  }

  std::string DataMemory() {
    for (std::uint32_t writeFlags : {0u, kAccessExtUnit}) {
      const std::uint32_t readFlags = writeFlags ^ kAccessExtUnit;
      const Bytes data = Pattern(40, std::uint8_t(0x11 + writeFlags));
      Bytes back(data.size());
      if (!DevLib_WriteMem(handle_, kScratchData, 40, data.data(), writeFlags))
        return "write with flags " + std::to_string(writeFlags) + " failed";
      if (!DevLib_ReadMem(handle_, kScratchData, 40, back.data(), readFlags))
        return "read with flags " + std::to_string(readFlags) + " failed";
      if (back != data) return "read back differs (written with flags " + std::to_string(writeFlags) + ")";
    }
    detail_ = "written and read back crosswise through both channels";
    return "";
  }

  // Control-transfer latency through the kernel: one register read after
  // another on each channel, every transfer timed.
  std::string Latency() {
    for (const auto& [flags, kind, name] : {std::tuple{0u, RequestKind::kVendor, "vendor"},
                                            std::tuple{kAccessExtUnit, RequestKind::kClass, "extension-unit"}}) {
      const TransferStats before = host_.Stats(kind);
      host_.ResetMax(kind);
      const std::uint64_t start = clock_.NowUs();
      for (int i = 0; i < options_.latencyRounds; ++i) {
        std::uint8_t id[2];
        if (!DevLib_ReadMem(handle_, kChipIdRegister, 2, id, flags)) return std::string(name) + " read failed";
      }
      const double callMs = double(clock_.NowUs() - start) / 1000.0 / options_.latencyRounds;
      TransferStats s = host_.Stats(kind);
      s.count -= before.count;
      s.totalUs -= before.totalUs;
      out_ << "figure " << name << "-transfer " << Ms(s.MeanMs()) << " mean, " << Ms(double(s.maxUs) / 1000.0)
           << " max, " << double(s.count) / options_.latencyRounds << " transfers per 2-byte read, "
           << Ms(callMs) << " per read\n";
    }
    return "";
  }

  std::string Flash() {
    if (!DevLib_SpiWriteSr(handle_, 0x00, 0)) return "status register not cleared";
    const std::uint64_t start = clock_.NowUs();
    if (!DevLib_SpiEraseChip(handle_, 0, kEraseLimitMs)) return "chip erase failed";
    const double eraseMs = double(clock_.NowUs() - start) / 1000.0;
    const Bytes image = Pattern(0x2345, 3);  // vendor pieces and a tail on the extension unit
    if (!DevLib_SpiWrite(handle_, kFlashArea, 0x1000, image.data(), 0)) return "write through vendor requests failed";
    if (!DevLib_SpiWrite(handle_, kFlashArea + 0x1000, 0x1345, image.data() + 0x1000, kAccessExtUnit))
      return "write through the extension unit failed";
    for (std::uint32_t flags : {0u, kAccessExtUnit}) {
      Bytes back(image.size());
      if (!DevLib_SpiRead(handle_, kFlashArea, std::uint32_t(back.size()), back.data(), flags))
        return "read with flags " + std::to_string(flags) + " failed";
      if (back != image) return "read back with flags " + std::to_string(flags) + " differs";
    }
    detail_ = "erased in " + Ms(eraseMs) + ", 9029 bytes written and read back through both channels";
    return "";
  }

  std::string DataControlSize() {
    std::uint16_t size = 64;
    if (!DevLib_ChangeDataControlSize(handle_, size) || size != 64) return "size 64 refused";
    const Bytes data = Pattern(200, 5);
    Bytes back(data.size());
    if (!DevLib_WriteMem(handle_, kScratchData, 200, data.data(), kAccessExtUnit) ||
        !DevLib_ReadMem(handle_, kScratchData, 200, back.data(), kAccessExtUnit) || back != data)
      return "round trip in 64-byte pieces failed";
    size = 8;
    if (!DevLib_ChangeDataControlSize(handle_, size) || size != 8) return "size 8 refused";
    return "";
  }

  // The codec restarts from its erased flash: it comes back at its port, in
  // the boot ROM, as a new device.
  std::string RomReset() {
    const std::uint32_t before = handle_;
    std::uint32_t handle = handle_;
    const std::uint64_t start = clock_.NowUs();
    if (!DevLib_ResetRom(handle, 0, options_.waitMs)) return "reset or re-find failed";
    const double wallMs = double(clock_.NowUs() - start) / 1000.0;
    handle_ = handle;
    if (handle_ == before) return "the handle did not change";
    std::uint32_t port = 0, parent = 0;
    if (!DevLib_GetPortAndParent(handle_, port, parent) || port != port_)
      return "found on port " + std::to_string(port) + ", was on " + std::to_string(port_);
    const std::string status = Status("");
    if (!status.empty()) return "after the reset: " + status;
    detail_ = "back on port " + std::to_string(port) + " as handle " + std::to_string(handle_) + " in " + Ms(wallMs) +
              " (settle wait " + std::to_string(options_.waitMs) + " ms); " + detail_;
    out_ << "figure reset-refind " << Ms(wallMs) << " wall\n";
    return "";
  }

  std::string Close() {
    DevLib_CloseDevice(handle_);
    DevLib_Uninit();
    for (const auto& [kind, name] : {std::pair{RequestKind::kStandard, "standard"},
                                     std::pair{RequestKind::kClass, "class"}, std::pair{RequestKind::kVendor, "vendor"}})
      detail_ += std::string(detail_.empty() ? "" : ", ") + name + " " + std::to_string(host_.Stats(kind).count);
    detail_ = "control transfers in all: " + detail_;
    return "";
  }

  CountingHost& host_;
  const ProbeOptions& options_;
  std::ostream& out_;
  platform::Clock& clock_;
  std::uint32_t handle_ = 0;
  std::uint32_t port_ = 0, parent_ = 0;
  std::string detail_;
};

}  // namespace

std::optional<std::string> RunProbe(CountingHost& host, const ProbeOptions& options, std::ostream& out) {
  return Probe(host, options, out).Run();
}

}  // namespace probe
