#pragma once
// Window mode: runs the operator window modally until the operator closes it.
int RunWindowMode();
