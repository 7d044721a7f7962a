// Control classes registered by other libraries (the host's custom controls), the default window
// procedure their procedures fall back on, and a window's user data.
#include "win32/errors.h"
#include "window_internal.h"

#include <memory>
#include <strings.h>

namespace wi = win32_internal;
using wi::RegisteredClass;
using wi::Window;

namespace {

// Guarded by the windows mutex, which also guards the windows that use the classes.
std::vector<std::unique_ptr<RegisteredClass>>& classes() {
  static auto* all = new std::vector<std::unique_ptr<RegisteredClass>>;  // outlives any window
  return *all;
}

// The names the stand-in carries itself, which no library may take.
const char* const kBuiltIn[] = {"#32770", "Win32MainWindow", "Button",   "Static",
                                "Edit",   "ListBox",         "ComboBox", PROGRESS_CLASSA};

ATOM g_nextAtom = 0xC000;  // where Windows starts the atoms of registered classes

// The window whose value at index a caller wants; null with the last error set for a handle that is not
// a live window or an index the stand-in does not carry.
Window* userDataOwnerLocked(HWND hwnd, int index) {
  Window* w = wi::FindLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (index != GWLP_USERDATA) {
    SetLastError(ERROR_INVALID_INDEX);
    return nullptr;
  }
  return w;
}

}  // namespace

const RegisteredClass* wi::FindRegisteredClassLocked(const char* name) {
  if (!name) return nullptr;
  for (const auto& c : classes())
    if (c->registered && strcasecmp(c->name.c_str(), name) == 0) return c.get();
  return nullptr;
}

extern "C" {

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
  if (!lpWndClass || !lpWndClass->lpszClassName || !*lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  bool taken = wi::FindRegisteredClassLocked(lpWndClass->lpszClassName) != nullptr;
  for (const char* name : kBuiltIn) taken = taken || strcasecmp(name, lpWndClass->lpszClassName) == 0;
  if (taken) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto c = std::make_unique<RegisteredClass>();
  c->name = lpWndClass->lpszClassName;
  c->proc = lpWndClass->lpfnWndProc;
  classes().push_back(std::move(c));
  return g_nextAtom++;
}

BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  auto* c = const_cast<RegisteredClass*>(wi::FindRegisteredClassLocked(lpClassName));
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (wi::AnyWindowOfClassLocked(c)) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  c->registered = false;
  return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> guard(wi::WindowsMutex());
    Window* w = wi::FindLocked(hWnd);
    if (!w) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    LRESULT result = 0;
    if (wi::TextMessage(*w, Msg, wParam, lParam, result)) return result;
    if (Msg != WM_CLOSE) return 0;
  }
  // As on Windows, a window that does not handle its close box is destroyed.
  DestroyWindow(hWnd);
  return 0;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* w = userDataOwnerLocked(hWnd, nIndex);
  return w ? w->userData : 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* w = userDataOwnerLocked(hWnd, nIndex);
  if (!w) return 0;
  const LONG_PTR old = w->userData;
  w->userData = dwNewLong;
  return old;
}

}  // extern "C"
