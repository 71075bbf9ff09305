#pragma once
// A bench in a temporary folder with one codec opened through the simulated
// USB host, and the requests of the two command channels as the program sends
// them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/error_codes.h"
#include "sim/bench.h"
#include "sim/descriptors.h"
#include "sim/open_bench.h"
#include "sim/sim_host.h"

namespace simtest {

inline std::string TempBenchFolder() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  // The process id keeps runs of two checkouts at the same time apart.
  const auto folder =
      std::filesystem::temp_directory_path() / ("tessaload-simtest-" + name + "-" + std::to_string(getpid()));
  std::filesystem::remove_all(folder);
  return folder.string();
}

struct CodecSpec {
  std::string name = "codec";
  std::string chip = "VMC2232";
  sim::MemoryKind memory = sim::MemoryKind::kSpiFlash;
  sim::PortPath port{1, {1}};
  std::vector<std::uint8_t> firmware;
  std::string channels = "both";
  std::uint32_t reenumerateMs = 600;
};

// Makes a bench holding the codecs, saved in its folder.
inline void MakeBench(const std::string& folder, const std::vector<CodecSpec>& specs) {
  std::string error;
  ASSERT_TRUE(sim::Bench::Create(folder, error)) << error;
  auto bench = sim::Bench::Load(folder, error);
  ASSERT_TRUE(bench) << error;
  for (const CodecSpec& spec : specs) {
    const sim::ChipFacts* chip = sim::FindChip(spec.chip);
    ASSERT_NE(chip, nullptr);
    sim::CodecConfig config;
    config.name = spec.name;
    config.chip = chip->name;
    config.memory = spec.memory;
    config.identity = {0x3C5A, chip->pid, 0x0100, "Morvane", chip->name + " USB Audio", "", chip->audioClass, chip->highSpeed};
    ASSERT_TRUE(sim::ParseChannels(spec.channels, config));
    config.port = spec.port;
    config.reenumerateMs = spec.reenumerateMs;
    auto codec = std::make_unique<sim::Codec>(config, *chip);
    codec->Memory().Load(spec.firmware);
    codec->PowerOn();
    ASSERT_TRUE(bench->Add(std::move(codec), error)) << error;
  }
  ASSERT_TRUE(bench->Save(error)) << error;
}

// The program's side of the two command channels, on an opened device.
class Channels {
 public:
  explicit Channels(platform::UsbDevice& device) : device_(device) {}

  std::uint32_t Request(std::uint8_t type, std::uint8_t request, std::uint16_t value, std::uint16_t index,
                        std::uint8_t* data, std::uint16_t length) {
    std::uint32_t moved = 0;
    return device_.ControlTransfer(type, request, value, index, data, length, 5000, moved);
  }
  std::uint32_t VendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index, std::vector<std::uint8_t>& out) {
    return Request(0xC0, request, value, index, out.data(), static_cast<std::uint16_t>(out.size()));
  }
  std::uint32_t VendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index, std::vector<std::uint8_t> data = {}) {
    return Request(0x40, request, value, index, data.data(), static_cast<std::uint16_t>(data.size()));
  }

  static constexpr std::uint16_t kXuIndex = (sim::kExtensionUnitId << 8) | sim::kAudioControlInterface;
  std::uint32_t Command(std::uint8_t cls, std::uint8_t opcode, std::uint32_t address, std::uint16_t length,
                        std::uint16_t high = 0) {
    std::uint8_t block[8] = {cls, opcode, std::uint8_t(address), std::uint8_t(address >> 8), std::uint8_t(length),
                             std::uint8_t(length >> 8), std::uint8_t(high), std::uint8_t(high >> 8)};
    return Request(0x21, 0x01, 0x0A00, kXuIndex, block, 8);
  }
  std::uint8_t Status() {
    std::uint8_t block[8] = {};
    EXPECT_EQ(Request(0xA1, 0x81, 0x0A00, kXuIndex, block, 8), platform::kErrorSuccess);
    return block[0];
  }
  // A data phase in units of `unit` bytes; a tail goes as a whole, zero-padded unit.
  std::uint32_t ReadUnits(std::vector<std::uint8_t>& out, std::uint16_t unit = 8) {
    std::vector<std::uint8_t> buffer(unit);
    for (std::size_t at = 0; at < out.size(); at += unit) {
      if (auto error = Request(0xA1, 0x81, 0x0B00, kXuIndex, buffer.data(), unit)) return error;
      std::memcpy(out.data() + at, buffer.data(), std::min<std::size_t>(unit, out.size() - at));
    }
    return platform::kErrorSuccess;
  }
  std::uint32_t WriteUnits(const std::vector<std::uint8_t>& data, std::uint16_t unit = 8) {
    for (std::size_t at = 0; at < data.size(); at += unit) {
      std::vector<std::uint8_t> buffer(unit, 0);
      std::memcpy(buffer.data(), data.data() + at, std::min<std::size_t>(unit, data.size() - at));
      if (auto error = Request(0x21, 0x01, 0x0B00, kXuIndex, buffer.data(), unit)) return error;
    }
    return platform::kErrorSuccess;
  }

 private:
  platform::UsbDevice& device_;
};

// A bench with one codec, its host and the codec's opened device.
class BenchTest : public testing::Test {
 protected:
  void Start(const std::vector<CodecSpec>& specs = {CodecSpec{}}) {
    folder_ = TempBenchFolder();
    MakeBench(folder_, specs);
    std::string error;
    host_ = sim::OpenBench(folder_, error);
    ASSERT_TRUE(host_) << error;
    Reopen();
  }
  void TearDown() override {
    device_.reset();
    host_.reset();
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  // Opens the first audio function.
  void Reopen() {
    device_.reset();
    for (const auto& node : host_->Nodes()) {
      if (!node.audioInterface) continue;
      std::uint32_t error = 0;
      device_ = host_->Open(node.instance, error);
      ASSERT_EQ(error, platform::kErrorSuccess);
      channels_ = std::make_unique<Channels>(*device_);
      return;
    }
    FAIL() << "no audio function on the bus";
  }
  std::vector<std::uint8_t> FlashRead(std::uint32_t address, std::uint16_t length) {
    std::vector<std::uint8_t> out(length);
    EXPECT_EQ(channels_->VendorIn(0x2E, static_cast<std::uint16_t>((address >> 16) << 8), address & 0xFFFF, out),
              platform::kErrorSuccess);
    return out;
  }
  std::uint32_t FlashWrite(std::uint32_t address, std::vector<std::uint8_t> data) {
    return channels_->VendorOut(0x2F, static_cast<std::uint16_t>((address >> 16) << 8), address & 0xFFFF, data);
  }
  std::uint32_t WriteRegister(std::uint16_t address, std::uint8_t value) {
    return channels_->VendorOut(0x24, 0, address, {value});
  }

  std::string folder_;
  std::unique_ptr<platform::UsbHost> host_;
  std::unique_ptr<platform::UsbDevice> device_;
  std::unique_ptr<Channels> channels_;
};

}  // namespace simtest
