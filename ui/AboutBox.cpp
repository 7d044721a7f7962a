// The About box and the help command.
#include "ui/AboutBox.h"

#include <max.h>

#include "plugin/Globals.h"
#include "plugin/resource.h"
#include "support/Regkey.h"

void ShowAboutBox() { DialogBoxParamA(hInstance, MAKEINTRESOURCE(IDD_ABOUT), GetActiveWindow(), AboutDlgProc, 0); }

INT_PTR CALLBACK AboutDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      CenterWindow(hWnd, GetCOREInterface()->GetMAXHWnd());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) EndDialog(hWnd, 1);
      return FALSE;
    case WM_CLOSE:
      EndDialog(hWnd, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

void ShowHelp(HWND hWnd) {
  CString document;
  if (!FindHelpDocument(hWnd, document)) return;
  // A document that cannot be opened is said so, rather than passed over in silence.
  const HINSTANCE shown = ShellExecuteA(hWnd, "open", document, nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(shown) <= 32)
    MessageBoxA(hWnd, "The help document could not be opened", "Failed", MB_OK);
}
