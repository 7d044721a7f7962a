#pragma once
// Window helpers of the host's user-interface library.
#include <windows.h>

#include "maxtypes.h"

// Moves hWndChild so that its centre is the centre of hWndParent (of the screen when hWndParent is null).
HOSTAPI BOOL CenterWindow(HWND hWndChild, HWND hWndParent);
