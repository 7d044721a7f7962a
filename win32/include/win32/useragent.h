#pragma once
// The person at the keyboard. Modal loops ask the installed agent what to do next; the agent acts through
// the functions below (and any other API call), which queue input for the dialog as a person's actions do.
#include "dialogs.h"

class Win32UserAgent {
 public:
  virtual ~Win32UserAgent() = default;
  // A modal dialog has been created and has handled WM_INITDIALOG (it may already have ended).
  virtual void DialogShown(HWND dialog) {}
  // The modal loop of dialog has no message to deliver (posted messages, due timers): the person may act.
  // The loop then waits for the next message or timer; an agent that wants to act later returns and is
  // asked again at the next idle moment (after the next message or timer).
  virtual void Idle(HWND dialog) {}
  // The modal dialog is about to be destroyed; result is what DialogBoxParamA will return.
  virtual void DialogEnded(HWND dialog, INT_PTR result) {}
  // Answers a message box with the id of one of the buttons its type offers. The default agent presses
  // the first (IDOK for MB_OK and MB_OKCANCEL, IDYES for MB_YESNO and MB_YESNOCANCEL, IDABORT and IDRETRY
  // for MB_ABORTRETRYIGNORE and MB_RETRYCANCEL).
  virtual int AnswerMessageBox(HWND owner, const char* text, const char* caption, UINT type);
};

extern "C" {
// Installs the agent for every thread (null restores the default agent); returns the previous one. The
// agent is called on the thread that runs the modal loop or the message box.
Win32UserAgent* Win32SetUserAgent(Win32UserAgent* agent);
Win32UserAgent* Win32GetUserAgent(void);

// A person's actions, queued for the window's thread as input; only a live, enabled window takes input
// (FALSE otherwise: a dialog that runs a nested modal dialog is disabled). Pressing a button posts
// WM_COMMAND with (id, BN_CLICKED) and the button's handle to its dialog, only when the button (class
// "Button") exists and is enabled.
BOOL Win32PressButton(HWND dialog, int buttonId);
// A key pressed in the dialog: posts WM_KEYDOWN, which the dialog's modal loop turns into WM_COMMAND
// IDCANCEL for VK_ESCAPE and WM_COMMAND IDOK for VK_RETURN (nothing when the OK button is disabled), as the
// dialog manager does; other keys reach the procedure as WM_KEYDOWN.
BOOL Win32PressKey(HWND dialog, UINT virtualKey);
// The caption's close box: posts WM_CLOSE. A dialog procedure that does not handle WM_CLOSE gets
// WM_COMMAND IDCANCEL, as from the default dialog procedure.
BOOL Win32CloseWindow(HWND window);
}
