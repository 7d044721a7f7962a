#pragma once
// Umbrella header of the Windows stand-in: the plug-in includes only this.
#include "win32/types.h"
#include "win32/errors.h"
#include "win32/resources.h"
#include "win32/module.h"
#include "win32/gdi.h"
#include "win32/sync.h"
#include "win32/threads.h"
#include "win32/dialogs.h"
#include "win32/debug.h"
#include "win32/registry.h"
