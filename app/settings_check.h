#pragma once
// Start-up checks of the settings, before any device access: time values that
// are not numbers or lie outside what a codec can need are replaced by a safe
// value, and keys that match a setting only with their blanks trimmed (as in
// "LogType = 1") are reported. Every finding is one warning line on `out`
// naming the key.
#include <cstdio>

// Returns the number of warnings written.
int CheckSettings(std::FILE* out);
