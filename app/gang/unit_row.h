#pragma once
// The burn_result.txt row of one codec of a gang or one unit of a station,
// written by the supervisor (its jobs run with --no-burn-result).
#include "app/gang/gang_slot.h"

void AppendUnitRow(const GangSlot& slot);
