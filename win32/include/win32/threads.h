#pragma once
// Threads, waits and timers. Threads really run on their own; timers really fire on the clock, as WM_TIMER
// messages delivered by the message loop of the thread that owns their window.
#include "types.h"

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
typedef size_t SIZE_T;
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFFL
#define STILL_ACTIVE 0x00000103L
#define CREATE_SUSPENDED 0x00000004L

extern "C" {
// Starts lpStartAddress(lpParameter) on a new thread (CREATE_SUSPENDED is not supported: null with
// ERROR_INVALID_PARAMETER). Null when thread creation fails (see Win32SetThreadCreationFails), with the
// last error set. The handle is signalled when the routine has returned.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                           LPDWORD lpThreadId);
// WAIT_OBJECT_0 once the thread has ended, WAIT_TIMEOUT after dwMilliseconds (INFINITE waits for ever),
// WAIT_FAILED for a handle that is not a live handle.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Closing the handle of a running thread lets the thread run on; the handle is then no longer usable.
BOOL WINAPI CloseHandle(HANDLE hObject);

// A timer of hWnd with id nIDEvent firing every uElapse ms (a second SetTimer with the same id resets it);
// periods below 10 ms count as 10 ms, as on Windows. Its WM_TIMER comes when no posted message waits, at
// most one pending per timer: periods missed while the thread was busy are not made up for. Returns
// nIDEvent, or 0 when the timer cannot be created (see Win32SetTimerCreationFails). Only timers of a window
// of the calling thread (else ERROR_ACCESS_DENIED; a dead window: ERROR_INVALID_HANDLE), with an id other
// than 0 and without a TIMERPROC, are supported (else 0, ERROR_INVALID_PARAMETER).
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
// FALSE with ERROR_INVALID_PARAMETER for a timer that does not exist (killed, or gone with its window).
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);

// --- Stand-in extensions: failures a person can't easily provoke, switched on by tests ---

// While on, CreateThread fails (null, ERROR_NOT_ENOUGH_MEMORY) without running the routine.
void Win32SetThreadCreationFails(BOOL fails);
// While on, SetTimer fails (0, ERROR_NOT_ENOUGH_MEMORY).
void Win32SetTimerCreationFails(BOOL fails);
// While on, a WaitForSingleObject with a finite timeout on a thread that has not ended returns WAIT_TIMEOUT
// at once instead of waiting out the timeout (INFINITE still waits).
void Win32SetWaitsTimeOutAtOnce(BOOL atOnce);
// The number of threads started by CreateThread whose routine has not yet returned.
int Win32RunningThreadCount(void);
}
