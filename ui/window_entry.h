#pragma once
// Window mode's entry: the application object, the window's message boxes
// and the operator window, run modally until it closes.
#include "app/window_mode.h"

int RunOperatorWindow(const WindowModeContext& context);
