#pragma once
// Critical sections, thread ids and sleeping.
#include "types.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFF
#endif

// Owned by the caller; InitializeCriticalSection creates the stand-in lock object
// it points to, DeleteCriticalSection destroys it.
struct RTL_CRITICAL_SECTION {
  void* LockObject;
};
typedef RTL_CRITICAL_SECTION CRITICAL_SECTION;
typedef RTL_CRITICAL_SECTION* LPCRITICAL_SECTION;
typedef RTL_CRITICAL_SECTION* PCRITICAL_SECTION;

extern "C" {
void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD dwSpinCount);
// Recursive for the owning thread; blocks any other thread until the owner has
// left as often as it entered.
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Non-zero, unique among the threads of the process.
DWORD WINAPI GetCurrentThreadId(void);
// Sleep(0) gives up the rest of the time slice; Sleep(INFINITE) never returns.
void WINAPI Sleep(DWORD dwMilliseconds);
}
