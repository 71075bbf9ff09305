#pragma once
// SIGINT and SIGTERM as a stop request: the first one only raises the request,
// which the running job sees at its next safe point; a second one ends the
// process at once with 128 + the signal number, without running anything
// that could still write a verdict.
namespace platform {

// Installs the handlers (once per process).
void InstallStopSignals();
// True once SIGINT or SIGTERM arrived.
bool StopSignalReceived();
// The number of the first signal received, 0 when none.
int StopSignalNumber();

}  // namespace platform
