#pragma once
// What the stand-in's sources share among themselves and export to nobody else.
#include "win32/types.h"

namespace win32_internal {

// Thread ids: a fresh one, and giving the calling thread one chosen before it started (so that
// CreateThread can report the new thread's id before the thread has run).
DWORD NewThreadId();
void AdoptThreadId(DWORD id);

}  // namespace win32_internal
