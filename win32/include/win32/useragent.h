#pragma once
// The person at the keyboard. Modal loops ask the installed agent what to do next; the agent acts through
// the functions below (and any other API call), which queue input for the dialog as a person's actions do.
#include "dialogs.h"

#include <string>

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
  // The file the person chooses in an open-file dialog (GetOpenFileNameA) owned by owner, with its caption
  // and filter (pairs of zero-terminated strings, ended by an empty one); false when the person cancels.
  // The default agent cancels.
  virtual bool ChooseOpenFile(HWND owner, const char* title, const char* filter, std::string& path) { return false; }
};

extern "C" {
// Installs the agent for every thread (null restores the default agent); returns the previous one. The
// agent is called on the thread that runs the modal loop or the message box.
Win32UserAgent* Win32SetUserAgent(Win32UserAgent* agent);
Win32UserAgent* Win32GetUserAgent(void);

// A person's actions, queued for the window's thread as input; only a live, enabled window in enabled
// windows takes input (FALSE otherwise: a dialog that runs a nested modal dialog is disabled, and so is a
// panel whose top-level window is). Input is dropped if, by the time it is delivered, its window can no
// longer take it. Pressing a button clicks it as delivered: an automatic check box toggles, an automatic
// radio button is checked and the other radio buttons of its group unchecked, then its dialog gets
// WM_COMMAND with (id, BN_CLICKED) and the button's handle; only when the button (class "Button") exists
// and is enabled.
BOOL Win32PressButton(HWND dialog, int buttonId);
// A key pressed in the dialog: posts WM_KEYDOWN, which the loop that delivers it (modal or
// Win32DispatchPendingMessages) turns into WM_COMMAND IDCANCEL for VK_ESCAPE and WM_COMMAND IDOK for
// VK_RETURN (nothing when the OK button is disabled), as the dialog manager does; other keys reach the
// procedure as WM_KEYDOWN.
BOOL Win32PressKey(HWND dialog, UINT virtualKey);
// The caption's close box: posts WM_CLOSE. A dialog procedure that does not handle WM_CLOSE gets
// WM_COMMAND IDCANCEL, as from the default dialog procedure.
BOOL Win32CloseWindow(HWND window);
// A click on control id of dialog: the focus moves to the control (SetFocus), then a button is clicked as
// by Win32PressButton, and a control of a registered class gets WM_LBUTTONDOWN and WM_LBUTTONUP. Queued
// like the other actions; FALSE when the control is missing or disabled or the dialog takes no input.
BOOL Win32ClickControl(HWND dialog, int id);
// The person clicks into field id and types text over its whole content: the focus moves to it, then it
// gets WM_SETTEXT with the text (an edit field notifies EN_CHANGE). Queued; FALSE as for a click.
BOOL Win32TypeText(HWND dialog, int id, const char* text);
// A key pressed while control id has the focus (moved there first): the control gets WM_KEYDOWN with the
// key (a control of a registered class in its procedure); for the built-in classes the dialog manager acts
// as for Win32PressKey. Queued; FALSE as for a click.
BOOL Win32PressKeyIn(HWND dialog, int id, UINT virtualKey);
// The person selects exactly these entries of list box id (one at most in a single-selection list), the
// others unselected, after the focus moved to the list; a notifying list (LBS_NOTIFY) then sends
// LBN_SELCHANGE, with the selection already made. Queued; FALSE as for a click, or when the control is no
// list box, an index is out of range or a single-selection list is given more than one. Entries removed
// before the choice is delivered make it go nowhere.
BOOL Win32SelectListItems(HWND dialog, int id, const int* items, int count);
}
