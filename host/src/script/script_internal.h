#pragma once
// What the value kinds and the script functions need of the per-thread runtime state.
#include "maxscript.h"

namespace script {

// Hands a newly made collectable value to the calling thread's innermost allocation frame and returns it.
// Misuse (no allocation frame, or a thread that never called init_thread_locals) is reported; when the
// assertion handler returns, the value is held by the thread until a later collection or the thread's end,
// so nothing crashes or leaks; when it throws, the value is freed. A frame that is due is collected first
// (v itself is not in it yet).
Value* Adopt(Value* v);

// True when init_thread_locals has run on this thread; reports it otherwise.
bool CheckInitialised();

// The time script functions answer at on this thread.
TimeValue ScriptTime();

}  // namespace script
