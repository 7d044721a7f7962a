#pragma once
// Windows, dialogs, controls, messages and message boxes. Headless: a window is an object with a class, an
// id, a text, an enabled state, a parent and the data its class holds; messages reach dialog procedures as
// on Windows. A modal dialog runs its own message loop on the calling thread, with posted messages and
// timers (threads.h); the person at the keyboard is played by the user agent (useragent.h).
#include "types.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);

struct RECT {
  LONG left, top, right, bottom;
};
typedef RECT* LPRECT;

// Messages
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_KEYDOWN 0x0100
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_USER 0x0400

#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B

// Command ids of the standard buttons, also the results of MessageBoxA.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

#define BN_CLICKED 0
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))

// Window styles
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define SS_LEFT 0x0L

// Progress bar control (class "msctls_progress32"): position within its range, moved by PBM_SETPOS and
// PBM_STEPIT; a position outside the range is clamped to it.
#define PROGRESS_CLASSA "msctls_progress32"
#define PBM_SETRANGE (WM_USER + 1)  // lParam: low word minimum, high word maximum; returns the old range
#define PBM_SETPOS (WM_USER + 2)    // wParam: new position; returns the old one
#define PBM_DELTAPOS (WM_USER + 3)  // wParam: added to the position; returns the old one
#define PBM_SETSTEP (WM_USER + 4)   // wParam: the step; returns the old one
#define PBM_STEPIT (WM_USER + 5)    // adds the step, back to the minimum past the maximum; returns the old one
#define PBM_GETPOS (WM_USER + 8)
// A new bar: range 0 to 100, position 0, step 10. An empty range (minimum = maximum) holds the position
// at the minimum.

// Message box types and icons
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_ICONERROR 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONMASK 0x000000F0L

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

extern "C" {
// Builds the dialog from the module's template lpTemplateName (MAKEINTRESOURCE(id)), sends WM_INITDIALOG
// with dwInitParam (wParam: the first enabled control with WS_TABSTOP), and runs a modal loop on the
// calling thread until EndDialog; returns EndDialog's result, or -1 when the template is missing, names a
// control class the stand-in does not know (ERROR_CANNOT_FIND_WND_CLASS), the owner is not a live window
// or the procedure is null. The owner is disabled for the run and enabled again after it (unless it was
// disabled before). The loop delivers every message of the thread's windows: posted messages first, then
// due timers; when there is none it asks the user agent (Idle) once, then waits. The dialog is placed at
// its owner's top left (the screen's without owner), its controls within it; the class is "#32770".
INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);
// Marks the modal dialog to end with nResult (a later call overrides it); its loop returns after the
// current message. The window is destroyed (WM_DESTROY sent, timers killed) before DialogBoxParamA
// returns. Any thread may end a dialog.
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
// Null with ERROR_CONTROL_ID_NOT_FOUND when the dialog has no such control.
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
int WINAPI GetDlgCtrlID(HWND hWnd);
// Calls lpEnumFunc for each control of the dialog in template order until it returns FALSE; the controls
// are those the dialog had when the call began. FALSE (ERROR_INVALID_HANDLE) for a window that is not live.
BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam);
// A control's dialog, a top-level window's owner (null for none).
HWND WINAPI GetParent(HWND hWnd);
BOOL WINAPI IsWindow(HWND hWnd);
// Sends WM_DESTROY to the window, then to its controls and the windows it owns on this thread, kills
// their timers and invalidates their handles. Only the window's own thread may (else ERROR_ACCESS_DENIED).
BOOL WINAPI DestroyWindow(HWND hWnd);

// Sends to the window's procedure (dialog procedure or the control's class) on the calling thread. A
// message sent to a window that is not a live window is a fault the stand-in reports (returns 0, last
// error ERROR_INVALID_HANDLE). Any thread may send to a control; a dialog procedure is only ever called on
// its window's thread, so sending to a dialog from another thread is refused (0, ERROR_ACCESS_DENIED).
// A message the dialog procedure leaves unhandled (FALSE) gets the default dialog procedure: the text
// messages act on the window's text, and WM_CLOSE posts WM_COMMAND IDCANCEL unless the dialog's IDCANCEL
// control is disabled. A main window's default for WM_CLOSE destroys it.
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam);
// Queues the message for the window's thread; any thread may post, and a loop waiting on that thread
// wakes. FALSE (ERROR_INVALID_HANDLE) for a window that is not live, null included: thread messages are
// not carried.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString);
int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
int WINAPI GetWindowTextLengthA(HWND hWnd);
BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);
// Returns whether the window was disabled before (WS_DISABLED in its style).
BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable);
BOOL WINAPI IsWindowEnabled(HWND hWnd);

// Screen rectangle in pixels (dialog units are turned into pixels as for an 8-point font: x * 6 / 4,
// y * 13 / 8). A window has no frame: a dialog's controls sit at their offsets from its top left.
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
// X and Y are screen coordinates for a top-level window, offsets in its dialog for a control; the
// controls of a moved dialog move with it. A negative size becomes 0.
BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);
// The screen is 1920 x 1080 pixels (SM_CXSCREEN, SM_CYSCREEN); 0 for any other index.
int WINAPI GetSystemMetrics(int nIndex);

// The active window of the calling thread: the innermost modal dialog it runs, else the window made
// active with Win32SetActiveWindow, else null.
HWND WINAPI GetActiveWindow(void);

// Shows a message box owned by hWnd (may be null; disabled while the box is up): the user agent answers
// it with the id of a button that the type offers, and that id is returned. An agent that answers with a
// button the box does not have is a broken test: the stand-in says so on stderr and aborts. 0 for a type
// it does not know (ERROR_INVALID_PARAMETER) or an owner that is not live (ERROR_INVALID_HANDLE). A null
// caption is "Error", as on Windows.
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// --- Stand-in extensions ---

// A top-level window that stands for an application's main window (the host's, for instance): class
// "Win32MainWindow", never modal, owned by the calling thread, at (160, 90) and 1600 x 900 pixels.
HWND Win32CreateMainWindow(const char* title);
// Makes hWnd the calling thread's active window when no modal dialog runs (null: none). A window of
// another thread or a control is refused (ERROR_ACCESS_DENIED).
void Win32SetActiveWindow(HWND hWnd);
// The window's class name ("" for a handle that is not a live window).
const char* Win32WindowClass(HWND hWnd);
// The innermost modal dialog running on any thread, or null.
HWND Win32CurrentModalDialog(void);
// The progress bar's range, position and step (FALSE, ERROR_INVALID_HANDLE, for a window that is not a
// progress bar). Any pointer may be null.
BOOL Win32ProgressBarState(HWND hWnd, int* minimum, int* maximum, int* position, int* step);
}
