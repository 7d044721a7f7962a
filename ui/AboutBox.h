#pragma once
// The About box of the "Parameters" rollout, and the help command of every rollout.
#include <windows.h>

// Runs the About box modally, owned by the active window; returns when it ends.
void ShowAboutBox();
INT_PTR CALLBACK AboutDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Opens the help document named by the registry; hWnd owns the message box when it cannot be found.
void ShowHelp(HWND hWnd);
