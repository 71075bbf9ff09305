#include <cstdio>
#include <string>

#include "app/file_routines.h"
#include "app/program_state.h"
#include "image/builtin_tables.h"
#include "image/config_passes.h"
#include "image/desc_factory.h"
#include "image/desc_fixed.h"
#include "image/desc_variable.h"
#include "image/image_parse.h"
#include "platform/prompter.h"
#include "tools/image/commands.h"

namespace {

// The passes' message boxes are shown by this command itself, with offsets.
class QuietPrompter final : public platform::Prompter {
 public:
  platform::PromptAnswer Ask(const std::string&, const std::string&, platform::PromptKind,
                             platform::PromptAnswer silentAnswer) override {
    return silentAnswer;
  }
};

const char* MemoryName(int memoryType) {
  switch (memoryType) {
    case 0: return "SPI flash";
    case 1: return "NOR flash";
    case 2: return "EEPROM, 8-bit addressing";
    case 3: return "EEPROM, 16-bit addressing";
    case 4: return "MTP";
    case 6: return "OTP";
    default: return "unknown";
  }
}

// The built-in description whose chip family and configuration address fit
// the image; the first one with any area when no family fits. -1 for none.
int ChooseDescription(CICTypeIni& ic, std::span<const std::uint8_t> image) {
  int fallback = -1;
  for (int i = 0; i < int(BuiltInDescriptions().size()); ++i) {
    ic.SelectDescriptionByIndex(i);
    CDescStream stream;
    std::size_t found = 0;
    if (!OpenImageArea(stream, image, std::size_t(ic.GetConfigAddress()), found)) continue;
    if (stream.Header().family == ic.GetInt("Camera_Register_00", "ChipInfo", 0)) return i;
    if (fallback < 0) fallback = i;
  }
  return fallback;
}

void PrintRecord(const CDescStream::RecordSeen& seen, std::size_t base, std::uint8_t family) {
  const CDescriptor& r = seen.record;
  std::printf("  0x%05zX  type %3u  %-30s length %u", base + seen.offset, r.Type(),
              std::string(DescriptorClassName(r.Type(), family)).c_str(), unsigned(seen.end - seen.offset));
  if (const auto* s = dynamic_cast<const CDescString*>(&r)) std::printf("  \"%s\"", s->Text().c_str());
  if (const auto* code = dynamic_cast<const CDescCodeRecord*>(&r))
    std::printf("  code at 0x%04X, %u bytes", code->CodeOffset(), code->CodeLength());
  if (const auto* vp = dynamic_cast<const CDescVIDPID*>(&r))
    std::printf("  VID 0x%04X PID 0x%04X REV 0x%04X", *vp->Field("wVID"), *vp->Field("wPID"), *vp->Field("wRevID"));
  std::printf("\n");
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fputs("usage: tessaload-image info FILE\n", stderr);
    return 2;
  }
  const std::string& file = args[0];
  std::vector<std::uint8_t> image;
  const std::uint64_t size = FileSize(file);
  if (size == 0 || !ReadFileBytes(file, std::size_t(size), image)) {
    std::fprintf(stderr, "tessaload-image info: cannot read \"%s\" (missing, empty or not a file)\n", file.c_str());
    return 1;
  }
  std::printf("file:            %s\nlength:          %zu bytes (0x%zX)\n", file.c_str(), image.size(), image.size());

  QuietPrompter quiet;
  platform::SetCurrentPrompter(&quiet);
  CICTypeIni ic;
  ic.DiscoverDescriptions();
  const int index = ChooseDescription(ic, image);
  if (index < 0) {
    platform::SetCurrentPrompter(nullptr);
    std::fprintf(stderr, "tessaload-image info: no configuration area (no header with signature 0xA5 at the "
                         "configuration address of any IC description, nor at offset 0)\n");
    return 1;
  }
  ic.SelectDescriptionByIndex(index);
  ic.ReadGeneralKeys();
  CodeReadSize = std::uint32_t(image.size());
  CImageJob job;
  job.image = image;
  const int parsed = ParseImage(job, ic);
  platform::SetCurrentPrompter(nullptr);

  CDescStream stream;
  std::size_t at = 0;
  OpenImageArea(stream, image, std::size_t(ic.GetConfigAddress()), at);
  const CDescGlobal& h = stream.Header();
  const std::string chip(BuiltInDescriptions()[std::size_t(index)].name);
  std::printf("description:     %s (ConfigAddress 0x%X, ConfigSize %d)\n", chip.c_str(), ic.GetConfigAddress(),
              ic.GetConfigSize());
  std::printf("config area:     at 0x%zX%s, total length %u, %u records\n", at,
              at == 0 ? " (configuration only)" : "", h.totalLength, h.recordCount);
  std::printf("storage kind:    0x%02X, memory type %d (%s)\n", h.storageKind, MemoryType, MemoryName(MemoryType));
  std::printf("chip family:     %u%s\n", h.family,
              h.family == ic.GetInt("Camera_Register_00", "ChipInfo", 0) ? (" (" + chip + ")").c_str() : " (no built-in description)");
  std::printf("part code:       %u\n", h.partCode);
  if (parsed)
    std::printf("config window:   0x%X, length 0x%X\n", job.ConfigWindowStart, job.ConfigWindowLength);
  std::string versionText;
  FwVersion version;
  std::printf("version:         %s\n", GetImageVersion(image, versionText, version) ? versionText.c_str() : "none");
  if (!job.vidPidText.empty()) std::printf("VID/PID:         %s REV %s\n", job.vidPidText.c_str(), job.revText.c_str());
  if (!job.manufacturer.empty()) std::printf("manufacturer:    %s\n", job.manufacturer.c_str());
  if (!job.serialNumber.empty()) std::printf("serial number:   %s\n", job.serialNumber.c_str());
  if (!job.imageIdentity.empty()) std::printf("image identity:  %s\n", job.imageIdentity.c_str());
  const LeadingRecords& l = stream.Leading();
  std::printf("leading records: HW 0x%04X AP 0x%04X%s%s%s\n", l.hwVersion, l.apVersion,
              l.hasEep ? ", EEPROM setting" : "", l.hasBankCopy ? ", bank copy" : "",
              l.hasForceUpdate ? ", force update" : "");
  std::printf("records:\n");
  std::size_t corruptAt = 0;
  const bool ok = stream.Walk([&](const CDescStream::RecordSeen& seen) { PrintRecord(seen, at, h.family); },
                              &corruptAt);
  if (!ok) {
    std::printf("corrupt:         record at offset 0x%zX cannot be read or skipped (%d of the header's records "
                "not found)\n", at + corruptAt, stream.RemainingCount());
    std::fprintf(stderr, "tessaload-image info: configuration area corrupt at offset 0x%zX\n", at + corruptAt);
    return 1;
  }
  return 0;
}
