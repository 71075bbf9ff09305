#pragma once
// Whether a standard stream is a terminal (then a live display is drawn on it).
namespace platform {
bool StandardOutputIsTerminal();
bool StandardErrorIsTerminal();
}  // namespace platform
