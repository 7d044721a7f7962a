#pragma once
// Umbrella header of the Windows stand-in: the plug-in includes only this.
#include "win32/types.h"
