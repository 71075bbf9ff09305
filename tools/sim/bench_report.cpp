#include "bench_report.h"

#include <cstdio>
#include <ostream>

#include "sim/bench.h"

namespace simtool {

namespace {

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string Ms(std::uint64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", us / 1000.0);
  return text;
}

std::string StateText(const sim::Codec& codec, std::uint64_t nowUs) {
  if (!codec.Plugged()) return "unplugged";
  const std::string mode = codec.Mode() == sim::CodecMode::kRunning ? "running its firmware" : "boot ROM update mode";
  if (!codec.PresentAt(nowUs)) return "re-enumerating, " + mode;
  return "present, " + mode;
}

std::string MemoryText(const sim::CodeMemory& memory) {
  std::size_t used = 0;
  const std::uint8_t erased = sim::ErasedByte(memory.Kind());
  for (std::uint8_t b : memory.Bytes()) used += b != erased;
  std::string text = std::string(sim::MemoryKindName(memory.Kind())) + ", " + std::to_string(memory.Size()) +
                     " bytes, " + std::to_string(used) + " not blank";
  if (sim::IsFlash(memory.Kind())) {
    char status[32];
    std::snprintf(status, sizeof status, ", status register 0x%02X", memory.Status());
    text += status;
  }
  if (!memory.StuckBits().empty()) text += ", " + std::to_string(memory.StuckBits().size()) + " bytes with stuck bits";
  return text;
}

}  // namespace

std::string VersionText(const sim::FirmwareVersion& v) {
  char text[48];
  std::snprintf(text, sizeof text, "%01X.%01X%02X.%04X-%04X.%04X", v[0], v[1], v[2], v[3], v[4], v[5]);
  return text;
}

void ReportCodec(const sim::Codec& codec, std::uint64_t nowUs, std::ostream& out) {
  const sim::CodecConfig& c = codec.Config();
  const sim::DeviceIdentity& id = c.identity;
  const sim::TransferCounters& n = codec.Counters();
  out << c.name << "\n"
      << "  chip       " << c.chip << " (family " << int(codec.Chip().family) << ")\n"
      << "  identity   VID " << Hex4(id.vid) << " PID " << Hex4(id.pid) << " REV " << Hex4(id.rev)
      << ", manufacturer \"" << id.manufacturer << "\", product \"" << id.product << "\", serial \""
      << id.serial << "\"\n"
      << "  channels   " << sim::ChannelsText(c) << "\n"
      << "  port       " << sim::PortPathText(c.port) << ", back " << c.reenumerateMs << " ms after a reset\n"
      << "  state      " << StateText(codec, nowUs) << "\n"
      << "  version    " << VersionText(codec.RunningVersion()) << "\n"
      << "  memory     " << MemoryText(codec.Memory()) << "\n"
      << "  transfers  " << n.transfers << " (standard " << n.standard << ", vendor " << n.vendor << ", xu "
      << n.extensionUnit << ", failed " << n.failed << "), " << n.bytesIn << " bytes in, " << n.bytesOut
      << " bytes out, bus time " << Ms(n.busTimeUs) << ", memory time " << Ms(n.memoryTimeUs) << ", resets "
      << n.resets << "\n"
      << "  faults     " << (codec.Faults().Empty() ? "none" : codec.Faults().ToSpec()) << "\n";
}

}  // namespace simtool
