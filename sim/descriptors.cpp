#include "sim/descriptors.h"

#include <algorithm>

namespace sim {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kInputTerminalId = 1;
constexpr std::uint8_t kOutputTerminalId = 2;
constexpr std::uint8_t kClockSourceId = 5;

std::uint8_t Lo(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t Hi(unsigned v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }

void Append(Bytes& out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }

// The class-specific audio control descriptors (after the AC header).
Bytes AudioControlUnits(std::uint8_t audioClass, std::uint16_t code) {
  Bytes out;
  if (audioClass == 1) {
    Append(out, {12, 0x24, 0x02, kInputTerminalId, 0x01, 0x01, 0, 2, 0x03, 0x00, 0, 0});
    Append(out, {16, 0x24, 0x08, kExtensionUnitId, Lo(code), Hi(code), 1, kInputTerminalId, 2, 0x03, 0x00, 0,
                 2, 0x03, 0x00, 0});
    Append(out, {9, 0x24, 0x03, kOutputTerminalId, 0x01, 0x03, 0, kExtensionUnitId, 0});
  } else {
    Append(out, {8, 0x24, 0x0A, kClockSourceId, 0x01, 0x01, 0, 0});
    Append(out, {17, 0x24, 0x02, kInputTerminalId, 0x01, 0x01, 0, kClockSourceId, 2, 0x03, 0, 0, 0, 0, 0x00,
                 0x00, 0});
    Append(out, {16, 0x24, 0x09, kExtensionUnitId, Lo(code), Hi(code), 1, kInputTerminalId, 2, 0x03, 0, 0, 0,
                 0, 0x03, 0});
    Append(out, {12, 0x24, 0x03, kOutputTerminalId, 0x01, 0x03, 0, kExtensionUnitId, kClockSourceId, 0x00,
                 0x00, 0});
  }
  return out;
}

Bytes StreamingInterface(std::uint8_t audioClass) {
  Bytes out;
  const std::uint8_t protocol = audioClass == 1 ? 0x00 : 0x20;
  Append(out, {9, 0x04, 1, 0, 0, 0x01, 0x02, protocol, 0});
  Append(out, {9, 0x04, 1, 1, 1, 0x01, 0x02, protocol, 0});
  if (audioClass == 1) {
    Append(out, {7, 0x24, 0x01, kInputTerminalId, 1, 0x01, 0x00});
    Append(out, {11, 0x24, 0x02, 0x01, 2, 2, 16, 1, 0x80, 0xBB, 0x00});
    Append(out, {9, 0x05, 0x01, 0x09, 0xC0, 0x00, 1, 0, 0});
    Append(out, {7, 0x25, 0x01, 0x00, 0x00, 0x00, 0x00});
  } else {
    Append(out, {16, 0x24, 0x01, kInputTerminalId, 0x00, 0x01, 0x01, 0, 0, 0, 2, 0x03, 0, 0, 0, 0});
    Append(out, {6, 0x24, 0x02, 0x01, 2, 16});
    Append(out, {7, 0x05, 0x01, 0x05, 0xC0, 0x00, 4});
    Append(out, {8, 0x25, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00});
  }
  return out;
}

}  // namespace

Bytes DeviceDescriptor(const DeviceIdentity& id) {
  const std::uint8_t serialIndex = id.serial.empty() ? 0 : 3;
  return {18, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 64, Lo(id.vid), Hi(id.vid), Lo(id.pid), Hi(id.pid),
          Lo(id.rev), Hi(id.rev), 1, 2, serialIndex, 1};
}

Bytes ConfigurationDescriptor(const DeviceIdentity& id, std::uint16_t extensionCode) {
  const Bytes units = AudioControlUnits(id.audioClass, extensionCode);
  Bytes body;
  if (id.audioClass == 2) Append(body, {8, 0x0B, 0, 2, 0x01, 0x00, 0x20, 0});
  const std::uint8_t protocol = id.audioClass == 1 ? 0x00 : 0x20;
  Append(body, {9, 0x04, kAudioControlInterface, 0, 0, 0x01, 0x01, protocol, 0});
  if (id.audioClass == 1) {
    const unsigned total = 9 + units.size();
    Append(body, {9, 0x24, 0x01, 0x00, 0x01, Lo(total), Hi(total), 1, 1});
  } else {
    const unsigned total = 9 + units.size();
    Append(body, {9, 0x24, 0x01, 0x00, 0x02, 0x08, Lo(total), Hi(total), 0x00});
  }
  body.insert(body.end(), units.begin(), units.end());
  const Bytes streaming = StreamingInterface(id.audioClass);
  body.insert(body.end(), streaming.begin(), streaming.end());

  const unsigned total = 9 + body.size();
  Bytes out;
  out.reserve(total);
  Append(out, {9, 0x02, Lo(total), Hi(total), 2, 1, 0, 0x80, 50});
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes StringDescriptor(const DeviceIdentity& id, std::uint8_t index) {
  if (index == 0) return {4, 0x03, 0x09, 0x04};
  const std::string* text = index == 1 ? &id.manufacturer : index == 2 ? &id.product : index == 3 ? &id.serial : nullptr;
  if (text == nullptr || (index == 3 && text->empty())) return {};
  // The texts are ASCII; each character becomes one UTF-16 code unit.
  const std::size_t chars = std::min<std::size_t>(text->size(), 126);
  Bytes out = {static_cast<std::uint8_t>(2 + 2 * chars), 0x03};
  for (std::size_t i = 0; i < chars; ++i) Append(out, {static_cast<std::uint8_t>((*text)[i]), 0});
  return out;
}

}  // namespace sim
