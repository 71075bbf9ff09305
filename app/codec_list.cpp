#include "app/codec_list.h"

#include <cstdio>

#include "app/program_state.h"
#include "app/quillox_app.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/memory_access.h"
#include "image/ic_type_ini.h"

std::vector<CodecEntry> ListCodecs(const std::string& onlyPort) {
  std::vector<CodecEntry> codecs;
  CDevFlow* flow = CurrentFlow();
  if (!flow) return codecs;
  CloseFlowDevice();
  const int statusBefore = LastStatusCode.load();
  // One port: its codec, wherever the list shows it while it is opened.
  const DevLibPortBinding binding(onlyPort);
  const int count = onlyPort.empty() ? DevLib_GetDeviceCount() : 1;
  for (int i = 0; i < count; ++i) {
    if (!flow->DEV_OpenDeviceByICIni(i)) continue;
    if (flow->AcceptedIdentity()) {
      flow->MP_GetDeviceInfo();
      CodecEntry c;
      c.position = i;
      DevLib_GetPortPath(flow->m_hDevice, c.port);
      DevLib_GetPortAndParent(flow->m_hDevice, c.portNumber, c.parent);
      c.vid = flow->vid;
      c.pid = flow->pid;
      c.rev = flow->rev;
      c.bootRom = flow->modeText.rfind("ROM", 0) == 0;
      // The description the open chose, when one matched the chip's registers.
      CICTypeIni& ic = ICTypeStore();
      if (ic.MatchChipRegisters(flow->chipRegister1, flow->chipRegister2)) {
        c.chip = ic.LoadedChipName();
        c.family = ic.ChipInfo();
      }
      c.memory = MemoryTypeName(ProbeCodeMemory(*flow));
      c.version = flow->identityText;
      c.manufacturer = flow->manufacturer;
      c.serial = flow->serialText;
      codecs.push_back(std::move(c));
    }
    CloseFlowDevice();
  }
  // Looking is not a job: no status of it survives.
  LastStatusCode = statusBefore;
  return codecs;
}

std::string MemoryTypeName(int memoryType) {
  switch (memoryType) {
    case kMemorySpi:
      return "SPI flash";
    case kMemoryNor:
      return "NOR flash";
    case kMemoryEeprom8:
      return "EEPROM 8-bit";
    case kMemoryEeprom16:
      return "EEPROM 16-bit";
    case 4:
      return "MTP";
    case kMemoryOtp:
      return "OTP";
    default:
      return {};
  }
}

std::string IdentityOf(const CodecEntry& codec) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x:%04x", codec.vid, codec.pid, codec.rev);
  return text;
}

std::string CodecLine(const CodecEntry& c) {
  return c.port + "  " + IdentityOf(c) + "  " + (c.bootRom ? "boot ROM" : "firmware") + "  " + c.chip +
         " (family " + std::to_string(c.family) + ")  " + c.memory + "  " + c.version + "  \"" + c.manufacturer +
         "\"  serial \"" + c.serial + "\"";
}

SelectionResult ChooseCodec(const std::vector<CodecEntry>& codecs, const CodecSelection& selection,
                            CodecEntry& chosen) {
  int matches = 0;
  for (const CodecEntry& c : codecs) {
    if (!selection.port.empty() && c.port != selection.port) continue;
    if (!selection.serial.empty() && c.serial != selection.serial) continue;
    if (++matches == 1) chosen = c;
  }
  if (matches == 0) return SelectionResult::kNone;
  return matches == 1 ? SelectionResult::kChosen : SelectionResult::kSeveral;
}
