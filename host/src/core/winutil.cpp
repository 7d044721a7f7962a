// Window helpers of the host's user-interface library.
#include "winutil.h"

#include <cstring>

namespace {

// A control is placed within its dialog; dialogs and main windows on the screen.
bool isControl(HWND hWnd) {
  const char* cls = Win32WindowClass(hWnd);
  return std::strcmp(cls, "#32770") != 0 && std::strcmp(cls, "Win32MainWindow") != 0;
}

}  // namespace

BOOL CenterWindow(HWND hWndChild, HWND hWndParent) {
  RECT child{};
  if (!GetWindowRect(hWndChild, &child)) return FALSE;
  RECT parent{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (hWndParent && !GetWindowRect(hWndParent, &parent)) return FALSE;
  const int width = child.right - child.left;
  const int height = child.bottom - child.top;
  int x = parent.left + (parent.right - parent.left - width) / 2;
  int y = parent.top + (parent.bottom - parent.top - height) / 2;
  if (HWND container = GetParent(hWndChild); container && isControl(hWndChild)) {
    RECT origin{};
    GetWindowRect(container, &origin);
    x -= origin.left;
    y -= origin.top;
  }
  return MoveWindow(hWndChild, x, y, width, height, FALSE);
}
