#include "flow/memory_access.h"

#include "app/program_state.h"
#include "app/status_codes.h"
#include "app/trace.h"
#include "device/dev_lib.h"
#include "flow/create_flow.h"
#include "flow/device_identity.h"

namespace {

constexpr std::uint8_t kModeOtpBit = 0x10;

}  // namespace

int ProbeCodeMemory(CDevFlow& flow) {
  ChipId id;
  std::uint8_t mode = 0;
  if (flow.ReadChipId(id) && flow.ReadModeByte(id, mode) && (mode & kModeOtpBit)) return kMemoryOtp;
  std::uint8_t byte = 0;
  if (DevLib_Eep8Read(flow.m_hDevice, 0, 1, &byte, flow.m_accessFlags)) return kMemoryEeprom8;
  if (DevLib_Eep16Read(flow.m_hDevice, 0, 1, &byte, flow.m_accessFlags)) return kMemoryEeprom16;
  return kMemorySpi;
}

int FitFlowToCodecMemory() {
  TraceScope scope("FitFlowToCodecMemory", kTraceFlow);
  CDevFlow* flow = CurrentFlow();
  if (!flow) return 0;
  const int memory = ProbeCodeMemory(*flow);
  if (memory == MemoryType) return 1;
  TraceLine(scope, "The codec's code memory is of type %d\n", memory);
  const CDevFlow& old = *flow;
  const std::uint8_t r1 = old.chipRegister1, r2 = old.chipRegister2;
  const std::uint32_t port = old.port;
  const int index = old.defaultIndex, position = old.defaultListPosition;
  MemoryType = memory;
  CreateFlow(true);
  CDevFlow* next = CurrentFlow();
  if (!next) return 0;
  next->chipRegister1 = r1;
  next->chipRegister2 = r2;
  next->port = port;
  next->defaultIndex = index;
  next->defaultListPosition = position;
  return 1;
}

int CanReachMemory(const CDevFlow& flow, int memoryType) {
  if (memoryType != kMemoryEeprom16 && memoryType != kMemoryOtp) return 1;
  if (DevLib_HasExtensionUnit(flow.m_hDevice)) return 1;
  return RefuseAction(memoryType == kMemoryOtp
                          ? "the codec answers no extension-unit request, and its OTP is reached only through them"
                          : "the codec answers no extension-unit request, and its 16-bit EEPROM is reached only "
                            "through them");
}

int RefuseAction(const char* reason) {
  TraceScope scope("RefuseAction", kTraceFlow);
  TraceFailure(scope, "Not Support!\n");
  TraceLine(scope, "%s\n", reason);
  LastStatusCode = kStsNotSupport;
  return 0;
}
