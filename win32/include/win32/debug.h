#pragma once
// Debugger output. There is no debugger here: the text goes to stderr when the
// environment variable WIN32_DEBUG is set (to anything but "" or "0"), else nowhere.
#include "types.h"

extern "C" {
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);
}
