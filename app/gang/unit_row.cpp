#include "app/gang/unit_row.h"

#include "app/result_files.h"

void AppendUnitRow(const GangSlot& slot) {
  AppendBurnResultRow(slot.burnSerial, slot.state == GangSlot::State::kPassed, slot.status);
}
