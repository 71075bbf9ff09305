#pragma once
// The products whose new firmware takes effect only after the host restarts:
// identity fragments "VID_vvvv&PID_pppp", one a line, in the built-in list
// (resource ICINI 3036); lines starting with "//" are comments.
#include <string_view>

// True when the identity text contains a fragment of the list (letter case
// ignored).
bool NeedsHostRestart(std::string_view identity);
