// A person's actions, queued for the window's thread as input is: they take effect when a message loop
// there comes to them, and only on windows a person can reach (live, enabled, in enabled windows).
#include "win32/errors.h"
#include "win32/useragent.h"
#include "window_internal.h"

#include <string>

namespace wi = win32_internal;

namespace {

bool isClass(HWND hwnd, const char* name) { return Win32WindowClass(hwnd) == std::string_view(name); }

bool isRegistered(HWND hwnd) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  wi::Window* w = wi::FindLocked(hwnd);
  return w && w->wndProc;
}

// The control a person can act on, or null.
HWND reachableControl(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && wi::TakesInput(control) ? control : nullptr;
}

// Queues what a person does to control, which first takes the focus, as a click on it gives it; the
// action is dropped if the control can no longer be reached when it is delivered.
BOOL queueOnControl(HWND control, std::function<void(HWND)> then) {
  if (!control) return FALSE;
  return wi::PostAction(control, [control, then = std::move(then)] {
    if (!wi::TakesInput(control)) return;
    SetFocus(control);
    if (IsWindow(control)) then(control);
  });
}

}  // namespace

extern "C" {

BOOL Win32PressButton(HWND dialog, int buttonId) {
  HWND button = reachableControl(dialog, buttonId);
  if (!button || !isClass(button, "Button")) return FALSE;
  return wi::PostAction(button, [button] {
    if (wi::TakesInput(button)) wi::ClickButton(button);
  });
}

BOOL Win32PressKey(HWND dialog, UINT virtualKey) {
  return wi::TakesInput(dialog) ? wi::Post(dialog, WM_KEYDOWN, virtualKey, 1) : FALSE;
}

BOOL Win32CloseWindow(HWND window) { return wi::TakesInput(window) ? wi::Post(window, WM_CLOSE, 0, 0) : FALSE; }

BOOL Win32ClickControl(HWND dialog, int id) {
  return queueOnControl(reachableControl(dialog, id), [](HWND control) {
    if (isClass(control, "Button")) {
      wi::ClickButton(control);
    } else if (isRegistered(control)) {
      wi::Dispatch(control, WM_LBUTTONDOWN, 0, 0);
      if (IsWindow(control)) wi::Dispatch(control, WM_LBUTTONUP, 0, 0);
    }
  });
}

BOOL Win32TypeText(HWND dialog, int id, const char* text) {
  return queueOnControl(reachableControl(dialog, id), [typed = std::string(text ? text : "")](HWND control) {
    wi::Dispatch(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
  });
}

BOOL Win32PressKeyIn(HWND dialog, int id, UINT virtualKey) {
  return queueOnControl(reachableControl(dialog, id), [virtualKey](HWND control) {
    // A registered class sees every key; the built-in ones leave Esc and Enter to the dialog manager.
    if (!isRegistered(control) && wi::DialogManagerKey(GetParent(control), virtualKey)) return;
    wi::Dispatch(control, WM_KEYDOWN, virtualKey, 1);
  });
}

}  // extern "C"
