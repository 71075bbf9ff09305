#pragma once
// The flows' side of the job's phase log (FlowHost::JobPhases): each boundary
// is stamped with the flow clock and the device library's transfer totals,
// and each phase, as it ends, gets one trace line with its duration,
// transfers and bytes. Without a flow host nothing is recorded.

// Forgets the previous job's phases and opens "open".
void BeginJobPhases();
// Ends the open phase and opens `name`; nothing when `name` is already open,
// or when `name` is "read" inside a "verify" (the verify's own read-back).
void BeginJobPhase(const char* name);
// Ends the open phase, if any.
void EndJobPhases();

// The phase a phase status announces ("reset to ROM" for the reset wait, ...);
// null for a status that names none.
const char* JobPhaseNameOf(int status);
