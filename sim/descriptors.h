#pragma once
// The USB descriptors of a simulated codec: one configuration with an audio
// control interface (input terminal -> the vendor's extension unit -> output
// terminal) and one audio streaming interface, in the USB Audio Class 1 or 2
// form.
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::uint8_t kExtensionUnitId = 6;
inline constexpr std::uint8_t kAudioControlInterface = 0;

struct DeviceIdentity {
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::uint16_t rev = 0;
  std::string manufacturer;
  std::string product;
  std::string serial;  // empty: the device has no serial-number string
  std::uint8_t audioClass = 2;
  bool highSpeed = true;
};

std::vector<std::uint8_t> DeviceDescriptor(const DeviceIdentity& id);
std::vector<std::uint8_t> ConfigurationDescriptor(const DeviceIdentity& id, std::uint16_t extensionCode);
// String descriptor `index` (0: the language list); empty when there is none.
std::vector<std::uint8_t> StringDescriptor(const DeviceIdentity& id, std::uint8_t index);

}  // namespace sim
