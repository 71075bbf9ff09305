#pragma once
// The burn_result.txt row of one codec of a gang or one unit of a station,
// written by the supervisor (its jobs run with --no-burn-result) when the
// setting "LogType" asks for rows, as for every other job. The serial field
// is the job's own ("burn_serial" of its result event).
#include "app/gang/gang_slot.h"

void AppendUnitRow(const GangSlot& slot);
