#pragma once
// Umbrella header of the host stand-in: the plug-in includes only this.
#include "maxtypes.h"
#include "point3.h"
#include "ref.h"
