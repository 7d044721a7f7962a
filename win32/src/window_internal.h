#pragma once
// Windows and the message queues of their threads, shared by the window code (window.cpp) and the message
// loops (messages.cpp).
#include "win32/controls.h"
#include "win32/dialogs.h"
#include "win32/gdi.h"
#include "win32/sync.h"
#include "win32/threads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace win32_internal {

using Clock = std::chrono::steady_clock;

struct PostedMessage {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  // A person's action that carries more than a message can: run in place of a dispatch, on the window's
  // thread, while hwnd is still live.
  std::function<void()> action;
};

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  Clock::duration period;
  Clock::time_point due;
};

// One per thread that owns windows: what its message loops deliver. Posts come from any thread.
struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<PostedMessage> posted;
  std::vector<Timer> timers;
  // Bumped by everything that should make a waiting loop look again (a post, EndDialog, a new timer).
  uint64_t wakeups = 0;
};

// The calling thread's queue, made on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();
// Makes the thread waiting on q (if any) look at its queue again.
void Wake(ThreadQueue& q);
// Kills every timer of these windows.
void KillTimersOf(ThreadQueue& q, const std::vector<HWND>& windows);

enum class Kind { Dialog, Main, Control };

// A control class registered by a library. Records are never freed, so a window's class name stays
// readable; unregistering only marks the record.
struct RegisteredClass {
  std::string name;
  WNDPROC proc = nullptr;
  bool registered = true;
};

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Control;
  const char* className = "";  // a literal, or a registered class's name (whose record is never freed)
  int id = 0;
  std::string text;
  DWORD style = 0;
  // A control's dialog, or the owner of a top-level window (may be null).
  HWND parent = nullptr;
  std::vector<HWND> children;
  DWORD thread = 0;
  std::shared_ptr<ThreadQueue> queue;
  DLGPROC proc = nullptr;
  // Pixels: relative to the parent's top left for a control, on the screen for a top-level window.
  LONG x = 0, y = 0, cx = 0, cy = 0;
  // Progress bar.
  int rangeMin = 0, rangeMax = 100, position = 0, step = 10;
  // Modal dialog.
  bool endRequested = false;
  INT_PTR result = 0;
  // A control of a registered class: its class and procedure.
  const RegisteredClass* registered = nullptr;
  WNDPROC wndProc = nullptr;
  LONG_PTR userData = 0;
  // Check box and radio button.
  UINT check = BST_UNCHECKED;
  // List box: entries in order, and which of them are selected.
  std::vector<std::string> entries;
  std::vector<char> selected;
  // Static picture; one it loaded from the template is its own, deleted with it.
  HBITMAP image = nullptr;
  bool ownsImage = false;
};

// A notification a control sends its dialog once the windows lock is released.
struct Notification {
  HWND to = nullptr;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Guards every window's fields and the table; never held while a dialog procedure or the agent runs.
std::mutex& WindowsMutex();
// The live window with this handle, or null (call with WindowsMutex held).
Window* FindLocked(HWND hwnd);
// The live window if the calling thread owns it; null with the last error set otherwise (call with
// WindowsMutex held).
Window* FindOwnLocked(HWND hwnd);

// Builds dialog templateId of the module with its controls, owned by the calling thread; null with the
// last error set when the template, its classes or the owner are wrong. A template with WS_CHILD makes a
// child panel of owner (which must then be live). Controls of registered classes get WM_CREATE, pictures
// load their bitmaps.
HWND CreateDialogWindow(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc);
// The window that gets the focus first: the first enabled control with WS_TABSTOP, else null.
HWND FirstTabStop(HWND dialog);
// Modal runs, innermost last, for GetActiveWindow and Win32CurrentModalDialog.
void BeginModal(HWND dialog);
void EndModal(HWND dialog);

// Delivers a message to the window's procedure on the calling thread, as SendMessageA does.
LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Queues a message for the window's thread; FALSE (ERROR_INVALID_HANDLE) for a window that is not live.
BOOL Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Queues an action for the window's thread, run when a loop there comes to it and hwnd is still live.
BOOL PostAction(HWND hwnd, std::function<void()> action);
// Sends the notification now when the dialog is the calling thread's, else posts it to the dialog's thread.
void Notify(const Notification& note);

// The top-level window a window sits in (itself for a top-level window or a handle that is not live):
// what a modal dialog, a message box or a chooser given a child window as owner is owned by, as on Windows.
HWND TopLevelOf(HWND hwnd);

// The calling thread's keyboard focus (may name a window since destroyed).
HWND& ThreadFocus();
// Whether a person can reach the window: it is live and enabled, and so is every window it sits in, up
// to and including its top-level window.
bool TakesInput(HWND hwnd);
// The dialog manager's keys for dialog: Esc is Cancel, Enter is OK unless the OK button is disabled.
// False for any other key, which the window itself then gets.
bool DialogManagerKey(HWND dialog, WPARAM key);

// What every window does with its text (call with WindowsMutex held).
bool TextMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// The built-in classes' own messages (call with WindowsMutex held); a notification for the dialog, to be
// sent once the lock is released, goes into note.
LRESULT ButtonMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT EditMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, Notification& note);
LRESULT ListBoxMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StaticMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam);
// A person's click on a button, as delivered: an automatic check box toggles, an automatic radio button
// is checked and the other radio buttons of its group unchecked, then the dialog hears BN_CLICKED.
void ClickButton(HWND button);

// The registered class of that name, case-insensitive (call with WindowsMutex held), or null.
const RegisteredClass* FindRegisteredClassLocked(const char* name);
// Whether a live window is of that class (call with WindowsMutex held).
bool AnyWindowOfClassLocked(const RegisteredClass* c);

}  // namespace win32_internal
