#pragma once
// Windows and the message queues of their threads, shared by the window code (window.cpp) and the message
// loops (messages.cpp).
#include "win32/dialogs.h"
#include "win32/threads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
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

struct Window {
  HWND handle = nullptr;
  Kind kind = Kind::Control;
  const char* className = "";  // always a literal: the stand-in knows its classes
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
};

// Guards every window's fields and the table; never held while a dialog procedure or the agent runs.
std::mutex& WindowsMutex();
// The live window with this handle, or null (call with WindowsMutex held).
Window* FindLocked(HWND hwnd);

// Builds dialog templateId of the module with its controls, owned by the calling thread; null with the
// last error set when the template, its classes or the owner are wrong.
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

}  // namespace win32_internal
