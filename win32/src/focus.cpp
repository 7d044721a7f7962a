// The keyboard focus, one per thread: the window that gets a person's typing.
#include "win32/errors.h"
#include "window_internal.h"

namespace wi = win32_internal;

extern "C" {

HWND WINAPI SetFocus(HWND hWnd) {
  if (hWnd) {
    std::lock_guard<std::mutex> guard(wi::WindowsMutex());
    if (!wi::FindOwnLocked(hWnd)) return nullptr;
  }
  HWND& focus = wi::ThreadFocus();
  HWND old = IsWindow(focus) ? focus : nullptr;
  if (old == hWnd) return old;
  focus = hWnd;
  // The old window hears first, as on Windows; if it moves the focus on, the new one is not told.
  if (old) wi::Dispatch(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
  if (hWnd && focus == hWnd && IsWindow(hWnd)) wi::Dispatch(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND WINAPI GetFocus(void) {
  HWND focus = wi::ThreadFocus();
  return IsWindow(focus) ? focus : nullptr;
}

}  // extern "C"
