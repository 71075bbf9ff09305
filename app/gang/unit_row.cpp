#include "app/gang/unit_row.h"

#include "app/result_files.h"

void AppendUnitRow(const GangSlot& slot) {
  JobOutcome outcome;
  outcome.burnSerial = slot.burnSerial;
  outcome.pass = slot.state == GangSlot::State::kPassed;
  outcome.status = slot.status;
  AppendBurnResultRow(outcome);
}
