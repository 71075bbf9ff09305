#include "flow/create_flow.h"

#include "app/program_state.h"
#include "device/dev_lib.h"
#include "flow/eeprom_front_end.h"
#include "flow/flash_front_end.h"
#include "flow/otp_front_end.h"

namespace {

std::unique_ptr<CDevFlow>& Current() {
  static std::unique_ptr<CDevFlow> flow;
  return flow;
}

// The job record goes back to the program-wide record without its buffers.
void HandBack(CDevFlow& flow) {
  CMpConfig& record = flow;
  record.readBack.clear();
  record.updateImage.clear();
  ProgramJobRecord() = record;
}

std::unique_ptr<CDevFlow> MakeFrontEnd(int memoryType) {
  switch (memoryType) {
    case 0:
      return std::make_unique<CSPIFlashInfo_USB>();
    case 1:
      return std::make_unique<CNORFlashInfo_USB>();
    case 2:
      return std::make_unique<CEepromInfo8_USB>();
    case 3:
      return std::make_unique<CEepromInfo16_USB>();
    case 6:
      return std::make_unique<COTPInfo_USB>();
    default:
      return nullptr;
  }
}

}  // namespace

void CreateFlow(bool keepHandle) {
  std::uint32_t handle = 0;
  if (auto& old = Current()) {
    handle = old->m_hDevice;
    HandBack(*old);
    old.reset();
  }
  if (!keepHandle && handle) {
    DevLib_CloseDevice(handle);
    handle = 0;
  }
  if (BusType == 0) {
    Current() = MakeFrontEnd(MemoryType);
    if (Current()) {
      static_cast<CMpConfig&>(*Current()) = ProgramJobRecord();
      if (keepHandle) Current()->m_hDevice = handle;
    }
  }
  LastStatusCode = 0;
}

CDevFlow* CurrentFlow() { return Current().get(); }

void DestroyFlow() {
  if (auto& flow = Current()) {
    HandBack(*flow);
    flow.reset();
  }
}
