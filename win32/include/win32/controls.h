#pragma once
// Controls of dialogs beyond the progress bar: buttons with their check state, edit fields with their
// notifications and the keyboard focus, list boxes, static pictures, a window's user data, control classes
// registered by other libraries (the host's custom controls), modeless dialogs (the host's rollouts) and
// the host's own message loop between a person's actions.
#include "dialogs.h"

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef WORD ATOM;

// Messages
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202

// Buttons (class "Button"): the type is the low four bits of the style.
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_TYPEMASK 0xFL
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0x0
#define BST_CHECKED 0x1

// Static controls (class "Static"). A picture (SS_BITMAP) names its bitmap resource in its template text as
// "#id" and loads it from the dialog's module when created; STM_GETIMAGE answers its bitmap handle (null
// for a static without picture).
#define SS_CENTER 0x1L
#define SS_BITMAP 0xEL
#define SS_TYPEMASK 0x1FL
#define SS_CENTERIMAGE 0x200L
#define SS_REALSIZEIMAGE 0x800L
#define IMAGE_BITMAP 0
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173

// Edit fields (class "Edit"). A field notifies its dialog with WM_COMMAND (id, code) and its handle:
// EN_SETFOCUS when it gains the keyboard focus, EN_KILLFOCUS when it loses it, EN_CHANGE after its text
// changed (typed, or set with WM_SETTEXT / SetWindowTextA / SetDlgItemTextA to a different text).
#define ES_AUTOHSCROLL 0x80L
#define EN_SETFOCUS 0x0100
#define EN_KILLFOCUS 0x0200
#define EN_CHANGE 0x0300

// List boxes (class "ListBox"): entries are texts in insertion order (LBS_SORT is not carried); a
// single-selection list has at most one selected entry (LB_SETCURSEL, LB_GETCURSEL), a multiple-selection
// one (LBS_MULTIPLESEL or LBS_EXTENDEDSEL) any set of them (LB_SETSEL, LB_GETSEL, LB_GETSELCOUNT,
// LB_GETSELITEMS). Messages of the other kind answer LB_ERR, as an index out of range does; LB_GETSEL
// works on both, as on Windows. LB_SETCURSEL with -1 clears the selection and answers LB_ERR, as on Windows.
#define LBS_NOTIFY 0x1L
#define LBS_SORT 0x2L
#define LBS_MULTIPLESEL 0x8L
#define LBS_EXTENDEDSEL 0x800L
#define LB_ADDSTRING 0x0180     // lParam: text; returns the new entry's index
#define LB_INSERTSTRING 0x0181  // wParam: index (-1: at the end); lParam: text; returns the index
#define LB_DELETESTRING 0x0182  // wParam: index; returns the entries left
#define LB_RESETCONTENT 0x0184
#define LB_SETSEL 0x0185      // wParam: TRUE to select; lParam: index (-1: every entry)
#define LB_SETCURSEL 0x0186   // wParam: index (-1: none)
#define LB_GETSEL 0x0187      // wParam: index; returns > 0 when selected
#define LB_GETCURSEL 0x0188   // returns the selected index, LB_ERR when none
#define LB_GETTEXT 0x0189     // wParam: index; lParam: buffer of LB_GETTEXTLEN + 1 chars; returns the length
#define LB_GETTEXTLEN 0x018A  // wParam: index
#define LB_GETCOUNT 0x018B
#define LB_GETSELCOUNT 0x0190
#define LB_GETSELITEMS 0x0191  // wParam: room; lParam: int array; fills ascending indices, returns how many
#define LB_ERR (-1)
#define LBN_SELCHANGE 1

// A window's own value, kept for its owner.
#define GWLP_USERDATA (-21)

// A control class registered by a library. Its procedure receives every message sent to a control of the
// class, WM_CREATE first (lParam null; after the dialog's controls are all made, before WM_INITDIALOG) and
// WM_DESTROY last, and hands what it does not handle to DefWindowProcA. Only the class name and the
// procedure are used. Like a dialog procedure, it runs only on its window's thread: a message sent from
// another thread is refused (0, ERROR_ACCESS_DENIED). GetWindowTextA and GetWindowTextLengthA ask it
// (WM_GETTEXT, WM_GETTEXTLENGTH).
struct WNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HANDLE hIcon;
  HANDLE hCursor;
  HANDLE hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
};
#define WM_CREATE 0x0001

extern "C" {
// A modeless dialog from the module's template, owned by the calling thread: a child panel of hWndParent
// when the template's style has WS_CHILD (hWndParent must then be a live window), else a top-level window
// owned by it. A panel lies at its parent's top left and moves with it; it is among the parent's child
// windows, and input to it is refused while the parent (or its top-level window) is disabled. Sends
// WM_INITDIALOG with dwInitParam and returns the window; null with the last error set as for
// DialogBoxParamA (a WS_CHILD template without a live parent: ERROR_INVALID_HANDLE), or when the procedure
// destroyed the dialog in WM_INITDIALOG. Its messages are delivered by whatever loop runs on its thread (a
// modal loop, or Win32DispatchPendingMessages); DestroyWindow ends it.
HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam);

// The check state of a button (BST_CHECKED or BST_UNCHECKED; 0 for a control that is not a check box or
// radio button, or no such control). Setting it sends no notification, and changes nothing on a push
// button.
UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton);
BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
// Checks nIDCheckButton and unchecks the other buttons with ids from nIDFirstButton to nIDLastButton.
BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton);

// The keyboard focus of the calling thread. SetFocus sends WM_KILLFOCUS to the control that had it and
// WM_SETFOCUS to hWnd (an edit field turns them into EN_KILLFOCUS and EN_SETFOCUS to its dialog); it returns
// the control that had the focus. Null takes the focus away. A window of another thread is refused.
HWND WINAPI SetFocus(HWND hWnd);
HWND WINAPI GetFocus(void);

// GWLP_USERDATA only; another index fails with ERROR_INVALID_INDEX. SetWindowLongPtrA returns the old value.
LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex);
LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);

// Registers a control class that templates may then name (case-insensitive). 0 (ERROR_CLASS_ALREADY_EXISTS)
// for a name already registered or built in; 0 (ERROR_INVALID_PARAMETER) without name or procedure.
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
// Fails (ERROR_CLASS_HAS_WINDOWS) while a control of the class lives.
BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance);
// What a window does with a message its procedure leaves alone: the text messages act on its text.
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// --- Stand-in extensions ---

// Delivers the calling thread's posted messages and queued input until none is left, those posted while
// it runs included (timers are not run), as the host's main message loop does between a person's actions;
// returns how many were delivered (those of windows destroyed since are dropped, uncounted).
int Win32DispatchPendingMessages(void);
}
