// The library's entry points and its string loader.
#include "plugin/Globals.h"
#include "plugin/WakeweaveClassDesc.h"
#include "plugin/resource.h"
#include "plugload.h"

#define WW_EXPORT extern "C" __attribute__((visibility("default")))

HINSTANCE hInstance = nullptr;
IObjParam* s_ip = nullptr;
HWND s_hRollout[4] = {nullptr, nullptr, nullptr, nullptr};

namespace {
char s_textBuffer[256];
}

WW_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, ULONG /*fdwReason*/, LPVOID /*lpvReserved*/) {
  hInstance = hinstDLL;
  return TRUE;
}

WW_EXPORT const char* LibDescription() { return GetString(IDS_LIBDESCRIPTION); }

WW_EXPORT int LibNumberClasses() { return 1; }

WW_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? GetWakeweaveDesc() : nullptr; }

WW_EXPORT ULONG LibVersion() { return VERSION_3DSMAX; }

const char* GetString(int id) {
  if (hInstance && LoadStringA(hInstance, UINT(id), s_textBuffer, int(sizeof s_textBuffer)) != 0) return s_textBuffer;
  return nullptr;
}
