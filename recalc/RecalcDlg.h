#pragma once
// The modal recalculation dialog and its worker thread. One dialog runs at a time: the dialog procedure
// works on the DlgProgress whose DoModal is running.
#include <windows.h>

// The dialog procedure of the progress dialog: starts the worker and the poll timer, moves the bar, ends
// the dialog when the worker has finished or the person cancels.
INT_PTR CALLBACK RecalcDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

// The worker: runs the RecalcJob that param points at. Returns 0 when given none, otherwise 1; how the
// recording went is told by the progress reports and the recording itself.
DWORD WINAPI RecalcThreadProc(LPVOID param);
