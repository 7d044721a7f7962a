#pragma once
// What the tests of controls, panels and a person's input share: a module with a panel template that holds
// one control of each kind, a registered control class that logs what it is sent, and a log of the
// notifications a dialog procedure hears, by name.
#include "ui_fixture.h"

#include <string>

namespace panel_test {

using ui_test::Log;
using ui_test::Proc;

enum : int {
  kPanel = 400,     // a child panel: every kind of control below
  kFloating = 401,  // a top-level modeless dialog: an edit field, OK and Cancel
  kLogged = 402,    // a modal dialog with a control of the logged class, named in another case
  kDoomed = 403,    // names a class that tests register and unregister

  kEdit1 = 1001,
  kEdit2 = 1002,
  kAutoCheck = 1003,
  kPlainCheck = 1004,
  kPush = 1005,
  kRadioA = 1010,
  kRadioB = 1011,
  kRadioC = 1012,
  kRadioX = 1020,
  kRadioY = 1021,
  kLabel = 1030,
  kCustom = 1040,
  kList = 1050,       // single selection, notifies
  kMultiList = 1051,  // multiple selection, notifies
  kQuietList = 1052,  // single selection, no notification
  kPicture = 1060,
  kMissingPicture = 1061,
  kDisabledEdit = 1070,

  kBitmap24 = 500,  // 2 x 1, 24 bits
  kBitmap32 = 501,  // 2 x 1, 32 bits
};

inline const char kLoggedClass[] = "LoggedControl";

inline const Win32DialogControl kPanelControls[] = {
    {kEdit1, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, 5, 5, 60, 12},
    {kEdit2, "Edit", "", WS_TABSTOP, 70, 5, 60, 12},
    {kAutoCheck, "BUTTON", "Auto", BS_AUTOCHECKBOX | WS_TABSTOP, 5, 20, 60, 10},
    {kPlainCheck, "BUTTON", "Plain", BS_CHECKBOX, 70, 20, 60, 10},
    {kPush, "BUTTON", "Push", BS_PUSHBUTTON, 135, 20, 40, 14},
    {kRadioA, "BUTTON", "A", BS_AUTORADIOBUTTON | WS_GROUP, 5, 35, 30, 10},
    {kRadioB, "BUTTON", "B", BS_AUTORADIOBUTTON, 40, 35, 30, 10},
    {kRadioC, "BUTTON", "C", BS_AUTORADIOBUTTON, 75, 35, 30, 10},
    {kRadioX, "BUTTON", "X", BS_AUTORADIOBUTTON | WS_GROUP, 5, 50, 30, 10},
    {kRadioY, "BUTTON", "Y", BS_AUTORADIOBUTTON, 40, 50, 30, 10},
    {kLabel, "STATIC", "Label", SS_LEFT | WS_GROUP, 75, 50, 30, 10},
    {kCustom, kLoggedClass, "custom", WS_TABSTOP, 5, 65, 60, 12},
    {kList, "LISTBOX", "", LBS_NOTIFY, 5, 80, 60, 40},
    {kMultiList, "ListBox", "", LBS_NOTIFY | LBS_MULTIPLESEL, 70, 80, 60, 40},
    {kQuietList, "ListBox", "", 0, 135, 80, 60, 40},
    {kPicture, "Static", "#500", SS_BITMAP | SS_CENTERIMAGE, 5, 125, 20, 10},
    {kMissingPicture, "Static", "#599", SS_BITMAP, 30, 125, 20, 10},
    {kDisabledEdit, "Edit", "", WS_DISABLED | WS_TABSTOP, 55, 125, 40, 12},
    {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON, 100, 140, 40, 14},
    {IDCANCEL, "BUTTON", "Cancel", BS_PUSHBUTTON, 145, 140, 40, 14},
};
inline const Win32DialogControl kFloatingControls[] = {
    {kEdit1, "Edit", "", WS_TABSTOP, 5, 5, 60, 12},
    {IDOK, "Button", "OK", WS_TABSTOP, 5, 30, 40, 14},
    {IDCANCEL, "Button", "Cancel", WS_TABSTOP, 50, 30, 40, 14},
};
inline const Win32DialogControl kLoggedControls[] = {
    {kCustom, "loggedcontrol", "modal", WS_TABSTOP, 5, 5, 60, 12},
    {IDOK, "Button", "OK", WS_TABSTOP, 5, 30, 40, 14},
};
inline const Win32DialogControl kDoomedControls[] = {
    {7, "DoomedControl", "", 0, 5, 5, 60, 12},
};
inline const Win32DialogResource kDialogs[] = {
    {kPanel, nullptr, WS_CHILD | WS_VISIBLE, 200, 160, kPanelControls,
     int(sizeof kPanelControls / sizeof kPanelControls[0])},
    {kFloating, "Floating", WS_POPUP | WS_CAPTION, 100, 50, kFloatingControls, 3},
    {kLogged, "Logged", WS_POPUP | WS_CAPTION, 100, 50, kLoggedControls, 2},
    {kDoomed, "Doomed", WS_CHILD, 100, 50, kDoomedControls, 1},
};
inline const unsigned char kPixels24[] = {255, 0, 0, 0, 255, 0};
inline const unsigned char kPixels32[] = {1, 2, 3, 4, 5, 6, 7, 8};
inline const Win32BitmapResource kBitmaps[] = {{kBitmap24, 2, 1, kPixels24, 0}, {kBitmap32, 2, 1, kPixels32, 32}};
inline const Win32ResourceImage kImage = {nullptr, 0, kDialogs, 4, kBitmaps, 2};

inline HINSTANCE Module() {
  static HINSTANCE module = Win32RegisterModule("panel-tests", &kImage);
  return module;
}

// What the logged class's controls were sent, in order; tests clear it.
inline Log& ClassLog() {
  static Log log;
  return log;
}

inline std::string MessageName(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_CREATE:
      return "create";
    case WM_DESTROY:
      return "destroy";
    case WM_SETTEXT:
      return "settext";
    case WM_GETTEXT:
      return "gettext";
    case WM_SETFOCUS:
      return "setfocus";
    case WM_KILLFOCUS:
      return "killfocus";
    case WM_LBUTTONDOWN:
      return "down";
    case WM_LBUTTONUP:
      return "up";
    case WM_KEYDOWN:
      return "key " + std::to_string(wParam);
    default:
      return "msg " + std::to_string(message);
  }
}

// Logs every message, refuses the text "refused", and leaves the rest to DefWindowProcA.
inline LRESULT CALLBACK LoggedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  ClassLog().add(MessageName(message, wParam));
  if (message == WM_SETTEXT && lParam && std::string(reinterpret_cast<const char*>(lParam)) == "refused") return FALSE;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

// Registers the logged class once for the program, as the host library does when it loads.
inline void RegisterLoggedClass() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = LoggedProc;
    wc.lpszClassName = kLoggedClass;
    return RegisterClassA(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
}

// A dialog's notifications and commands by name, e.g. "EN_CHANGE 1001" or "BN_CLICKED 1003".
inline std::string Notification(WPARAM wParam) {
  const int id = LOWORD(wParam);
  switch (HIWORD(wParam)) {
    case BN_CLICKED:
      return "BN_CLICKED " + std::to_string(id);
    case LBN_SELCHANGE:
      return "LBN_SELCHANGE " + std::to_string(id);
    case EN_SETFOCUS:
      return "EN_SETFOCUS " + std::to_string(id);
    case EN_KILLFOCUS:
      return "EN_KILLFOCUS " + std::to_string(id);
    case EN_CHANGE:
      return "EN_CHANGE " + std::to_string(id);
    default:
      return "code " + std::to_string(HIWORD(wParam)) + " " + std::to_string(id);
  }
}

// A modeless dialog of the module whose procedure is proc (which must outlive it).
inline HWND Open(int templateId, HWND parent, Proc* proc) {
  RegisterLoggedClass();
  return CreateDialogParamA(Module(), MAKEINTRESOURCE(templateId), parent, ui_test::Trampoline,
                            reinterpret_cast<LPARAM>(proc));
}

// A modal dialog of the module, run to its end.
inline INT_PTR RunModal(int templateId, HWND owner, Proc proc) {
  RegisterLoggedClass();
  return DialogBoxParamA(Module(), MAKEINTRESOURCE(templateId), owner, ui_test::Trampoline,
                         reinterpret_cast<LPARAM>(&proc));
}

// A panel in a main window whose procedure logs the commands it hears (by name) and anything else
// (described), with WM_INITDIALOG and WM_DESTROY.
struct PanelFixture : ::testing::Test {
  HWND main = nullptr;
  HWND panel = nullptr;
  Log log;
  Proc proc = [this](HWND, UINT m, WPARAM w, LPARAM) -> INT_PTR {
    log.add(m == WM_COMMAND ? Notification(w) : ui_test::Describe(m, w));
    return FALSE;
  };

  void SetUp() override {
    main = Win32CreateMainWindow("Host");
    panel = Open(kPanel, main, &proc);
    ASSERT_NE(panel, nullptr);
    log.lines.clear();
    ClassLog().lines.clear();
  }
  void TearDown() override {
    Win32DispatchPendingMessages();  // nothing left over for the next test
    if (IsWindow(main)) DestroyWindow(main);
  }
  HWND item(int id) const { return GetDlgItem(panel, id); }
  UINT checked(int id) const { return IsDlgButtonChecked(panel, id); }
  // The log so far, cleared.
  std::string take() {
    std::string all = log.joined();
    log.lines.clear();
    return all;
  }
};

}  // namespace panel_test
