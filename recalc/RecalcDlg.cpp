// The modal recalculation dialog: a progress bar polled on a timer while the worker records, and Cancel.
#include "recalc/RecalcDlg.h"

#include <max.h>
#include <winutil.h>

#include "plugin/Globals.h"
#include "plugin/resource.h"
#include "recalc/DlgProgress.h"

namespace {

const UINT_PTR kRecalcTimerId = 8535;
const UINT kRecalcTimerPeriodMs = 250;
const DWORD kWorkerWaitMs = 10000;
const int kProgressMax = 100;
const char kCaption[] = "Wakeweave";

// The run in progress: set by DoModal, read by the dialog procedure, all on the user-interface thread. The
// worker's handle is closed, and cleared, by DoModal once the worker has ended.
DlgProgress* s_activeProgress = NULL;
UINT_PTR s_recalcTimer = 0;
HANDLE s_hRecalcThread = NULL;

// The bar's position for `current` of `total`, in single precision and truncated; within 0 to 100 (no
// total, a negative report or one past the end stays in range).
int ProgressPosition(int current, int total) {
  if (total == 0) return 0;
  const float percent = (float(current) / float(total)) * 100.0f;
  if (!(percent > 0.0f)) return 0;
  if (percent >= float(kProgressMax)) return kProgressMax;
  return int(percent);
}

void WaitForWorker(DWORD ms) {
  if (s_hRecalcThread) WaitForSingleObject(s_hRecalcThread, ms);
}

// Cancel, Esc and the close box: ask the worker to stop, stop polling, give it a while to end.
void CancelRecalc(HWND hDlg) {
  if (s_activeProgress) s_activeProgress->setCancel(true);
  KillTimer(hDlg, s_recalcTimer);
  WaitForWorker(kWorkerWaitMs);
  EndDialog(hDlg, 0);
}

BOOL InitRecalcDialog(HWND hDlg) {
  CenterWindow(hDlg, GetCOREInterface()->GetMAXHWnd());
  SendDlgItemMessageA(hDlg, IDC_RECALC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
  SendDlgItemMessageA(hDlg, IDC_RECALC_PROGRESS, PBM_SETSTEP, 1, 0);

  s_recalcTimer = SetTimer(hDlg, kRecalcTimerId, kRecalcTimerPeriodMs, NULL);
  if (s_recalcTimer == 0) {
    MessageBoxA(hDlg, "Could not create recalculation timer", kCaption, MB_ICONERROR | MB_OK);
    EndDialog(hDlg, 0);
    return TRUE;
  }
  s_hRecalcThread = CreateThread(NULL, 0, RecalcThreadProc, s_activeProgress ? s_activeProgress->job() : NULL, 0, NULL);
  if (s_hRecalcThread == NULL) {
    MessageBoxA(hDlg, "Could not create recalculation thread", kCaption, MB_ICONERROR | MB_OK);
    EndDialog(hDlg, 0);
  }
  return TRUE;
}

INT_PTR OnRecalcTimer(HWND hDlg, WPARAM id) {
  if (id != kRecalcTimerId || s_activeProgress == NULL) return FALSE;
  SendDlgItemMessageA(hDlg, IDC_RECALC_PROGRESS, PBM_SETPOS,
                      WPARAM(ProgressPosition(s_activeProgress->current(), s_activeProgress->total())), 0);
  if (s_activeProgress->state() == DlgProgress::kFinished) {
    KillTimer(hDlg, s_recalcTimer);
    WaitForWorker(kWorkerWaitMs);
    EndDialog(hDlg, 1);
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK RecalcDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      return InitRecalcDialog(hDlg);
    case WM_TIMER:
      return OnRecalcTimer(hDlg, wParam);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) CancelRecalc(hDlg);
      return FALSE;
    case WM_CLOSE:
      CancelRecalc(hDlg);
      return TRUE;
    default:
      return FALSE;
  }
}

int DlgProgress::DoModal() {
  s_activeProgress = this;
  s_hRecalcThread = NULL;
  setCancel(false);
  const INT_PTR result = DialogBoxParamA(hInstance, MAKEINTRESOURCE(IDD_RECALC), GetActiveWindow(), RecalcDlgProc, 0);
  // The dialog gives the worker ten seconds to end, but the caller frees the job, the event list and reads
  // the recording as soon as this returns. So a worker still running is asked to stop (the recorders ask
  // before every frame) and waited for however long it takes; only then is its handle released.
  if (s_hRecalcThread) {
    if (WaitForSingleObject(s_hRecalcThread, 0) != WAIT_OBJECT_0) {
      setCancel(true);
      WaitForSingleObject(s_hRecalcThread, INFINITE);
    }
    CloseHandle(s_hRecalcThread);
    s_hRecalcThread = NULL;
  }
  return int(result);
}
