#pragma once
// Modules (shared libraries loaded as Windows loads a DLL) and their resources.
#include "types.h"
#include "resources.h"

typedef BOOL(WINAPI* DllMainProc)(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);
typedef void* FARPROC;

extern "C" {
// Opens the library, finds its resource image, then calls its DllMain (if it
// exports one) with DLL_PROCESS_ATTACH. Loading an already loaded library returns
// the same handle and only counts the reference. Null on failure, with
// GetLastError() = ERROR_MOD_NOT_FOUND or ERROR_DLL_INIT_FAILED.
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
// Drops one reference; the last one calls DllMain(DLL_PROCESS_DETACH) and unloads.
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// Looks the name up in this module only (not in the libraries it depends on).
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// Copies string resource uID into lpBuffer as Windows documents; with
// cchBufferMax == 0 stores a read-only pointer to the text in *(LPCSTR*)lpBuffer.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax);

// --- Stand-in extensions ---

// Why the last LoadLibraryA on this thread failed (the loader's message), or "".
const char* Win32LastLoadError(void);
// A module handle for code linked into the process (tests, the host program)
// whose resources are the given image (may be null). The image must outlive it.
HMODULE Win32RegisterModule(const char* name, const Win32ResourceImage* image);
void Win32UnregisterModule(HMODULE hModule);
// The module's resource image, or null for a module without resources or a
// handle that is not a live module.
const Win32ResourceImage* Win32ModuleImage(HMODULE hModule);
const Win32DialogResource* Win32FindDialog(HINSTANCE hInstance, int id);
const Win32BitmapResource* Win32FindBitmap(HINSTANCE hInstance, int id);
}
