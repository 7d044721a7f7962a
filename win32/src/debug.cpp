// Debugger output: stderr when WIN32_DEBUG asks for it, otherwise dropped.
#include "win32/debug.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// Read at every call so that a test or a debugging session can switch it on and off.
bool debugOutputWanted() {
  const char* v = std::getenv("WIN32_DEBUG");
  return v && *v && std::strcmp(v, "0") != 0;
}
}  // namespace

extern "C" void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (!lpOutputString || !debugOutputWanted()) return;
  std::fputs(lpOutputString, stderr);
  std::fflush(stderr);
}
