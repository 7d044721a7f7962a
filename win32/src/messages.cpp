// Message queues, timers, the modal loop of dialog boxes, modeless dialogs and the host's loop between a
// person's actions, message boxes and the user agent.
#include "win32/errors.h"
#include "win32/sync.h"
#include "win32/useragent.h"
#include "window_internal.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace wi = win32_internal;
using wi::Clock;
using wi::ThreadQueue;

namespace {

thread_local std::shared_ptr<ThreadQueue> t_queue;

std::atomic<bool> g_timerCreationFails{false};

Win32UserAgent g_defaultAgent;
std::atomic<Win32UserAgent*> g_agent{&g_defaultAgent};

// Windows' bounds on a timer's period.
constexpr UINT kTimerMinimum = 10;
constexpr UINT kTimerMaximum = 0x7FFFFFFF;

// The live window's queue if the calling thread owns it; null with the last error set otherwise.
std::shared_ptr<ThreadQueue> ownQueue(HWND hwnd) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  wi::Window* w = wi::FindOwnLocked(hwnd);
  return w ? w->queue : nullptr;
}

// Takes the next message: posted ones first, then a due timer, as Windows' queue ranks them. A timer
// has at most one WM_TIMER pending: periods that went by unseen are not made up for.
bool takeMessage(ThreadQueue& q, wi::PostedMessage& out, bool timers = true) {
  std::lock_guard<std::mutex> guard(q.mutex);
  if (!q.posted.empty()) {
    out = std::move(q.posted.front());
    q.posted.pop_front();
    return true;
  }
  if (!timers) return false;
  const Clock::time_point now = Clock::now();
  auto due = std::min_element(q.timers.begin(), q.timers.end(),
                              [](const wi::Timer& a, const wi::Timer& b) { return a.due < b.due; });
  if (due == q.timers.end() || due->due > now) return false;
  out = wi::PostedMessage{due->hwnd, WM_TIMER, due->id, 0, nullptr};
  due->due += due->period;
  if (due->due <= now) due->due = now + due->period;
  return true;
}

uint64_t wakeups(ThreadQueue& q) {
  std::lock_guard<std::mutex> guard(q.mutex);
  return q.wakeups;
}

// Blocks until a message is posted, a timer is due, or something else wakes the loop since seen.
void waitForMessage(ThreadQueue& q, uint64_t seen) {
  std::unique_lock<std::mutex> lock(q.mutex);
  for (;;) {
    if (!q.posted.empty() || q.wakeups != seen) return;
    if (q.timers.empty()) {
      q.wake.wait(lock);
      continue;
    }
    auto next = std::min_element(q.timers.begin(), q.timers.end(), [](const wi::Timer& a, const wi::Timer& b) {
                  return a.due < b.due;
                })->due;
    if (next <= Clock::now()) return;
    q.wake.wait_until(lock, next);
  }
}

// The dialog's end, if it has one: its result, or 0 when the window is gone.
bool dialogEnded(HWND dialog, INT_PTR& result) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  wi::Window* w = wi::FindLocked(dialog);
  if (!w) {
    result = 0;
    return true;
  }
  result = w->result;
  return w->endRequested;
}

// The dialog whose dialog manager sees a key sent to hwnd: the dialog itself, or the dialog of a
// built-in control (a registered class takes its keys itself); null for any other window.
HWND keyDialog(HWND hwnd) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  wi::Window* w = wi::FindLocked(hwnd);
  if (!w || w->wndProc) return nullptr;
  if (w->kind == wi::Kind::Dialog) return hwnd;
  wi::Window* parent = w->kind == wi::Kind::Control ? wi::FindLocked(w->parent) : nullptr;
  return parent && parent->kind == wi::Kind::Dialog ? parent->handle : nullptr;
}

// Delivers one message or action taken from the queue; false when its window has gone since.
bool deliver(const wi::PostedMessage& m) {
  if (!IsWindow(m.hwnd)) return false;  // as on Windows, messages of destroyed windows go nowhere
  if (m.action) {
    m.action();
    return true;
  }
  if (m.message == WM_KEYDOWN)
    if (HWND dialog = keyDialog(m.hwnd); dialog && wi::DialogManagerKey(dialog, m.wParam)) return true;
  wi::Dispatch(m.hwnd, m.message, m.wParam, m.lParam);
  return true;
}

// Runs the modal loop of dialog until it ends; returns its result.
INT_PTR runModalLoop(HWND dialog, ThreadQueue& q) {
  bool idleAsked = false;
  INT_PTR result = 0;
  for (;;) {
    // Read before the end is looked at, so that an end from another thread after the look still wakes
    // the wait below.
    const uint64_t seen = wakeups(q);
    if (dialogEnded(dialog, result)) return result;
    wi::PostedMessage m{};
    if (takeMessage(q, m)) {
      idleAsked = false;
      deliver(m);
      continue;
    }
    if (!idleAsked) {
      idleAsked = true;
      Win32GetUserAgent()->Idle(dialog);
      continue;
    }
    waitForMessage(q, seen);
  }
}

// Queues m for its window's thread and wakes the loop waiting there.
BOOL enqueue(wi::PostedMessage m) {
  std::shared_ptr<ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> guard(wi::WindowsMutex());
    wi::Window* w = wi::FindLocked(m.hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    queue = w->queue;
  }
  std::lock_guard<std::mutex> guard(queue->mutex);
  queue->posted.push_back(std::move(m));
  ++queue->wakeups;
  queue->wake.notify_all();
  return TRUE;
}

// The template id of a dialog resource name: only MAKEINTRESOURCE ids are carried.
bool templateId(LPCSTR name, DLGPROC proc, int& id) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(name);
  if (!proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (value == 0 || value > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  id = static_cast<int>(value);
  return true;
}

}  // namespace

namespace win32_internal {

std::shared_ptr<ThreadQueue> CurrentQueue() {
  if (!t_queue) t_queue = std::make_shared<ThreadQueue>();
  return t_queue;
}

void Wake(ThreadQueue& q) {
  std::lock_guard<std::mutex> guard(q.mutex);
  ++q.wakeups;
  q.wake.notify_all();
}

void KillTimersOf(ThreadQueue& q, const std::vector<HWND>& windows) {
  std::lock_guard<std::mutex> guard(q.mutex);
  auto doomed = [&](const Timer& t) { return std::find(windows.begin(), windows.end(), t.hwnd) != windows.end(); };
  q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), doomed), q.timers.end());
}

bool DialogManagerKey(HWND dialog, WPARAM key) {
  if (key == VK_ESCAPE) {
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    Dispatch(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
    return true;
  }
  if (key == VK_RETURN) {
    HWND ok = GetDlgItem(dialog, IDOK);
    if (!ok || IsWindowEnabled(ok))
      Dispatch(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    return true;
  }
  return false;
}

BOOL Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return enqueue(PostedMessage{hwnd, message, wParam, lParam, nullptr});
}

BOOL PostAction(HWND hwnd, std::function<void()> action) {
  return enqueue(PostedMessage{hwnd, WM_NULL, 0, 0, std::move(action)});
}

}  // namespace win32_internal

int Win32UserAgent::AnswerMessageBox(HWND, const char*, const char*, UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO:
      return IDYES;
    case MB_RETRYCANCEL:
      return IDRETRY;
    default:
      return IDOK;
  }
}

extern "C" {

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return wi::Post(hWnd, Msg, wParam, lParam);
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  if (lpTimerFunc || nIDEvent == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::shared_ptr<ThreadQueue> q = ownQueue(hWnd);
  if (!q) return 0;
  if (g_timerCreationFails.load()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const Clock::duration period = std::chrono::milliseconds(std::clamp(uElapse, kTimerMinimum, kTimerMaximum));
  {
    std::lock_guard<std::mutex> guard(q->mutex);
    auto same = std::find_if(q->timers.begin(), q->timers.end(),
                             [&](const wi::Timer& t) { return t.hwnd == hWnd && t.id == nIDEvent; });
    const wi::Timer timer{hWnd, nIDEvent, period, Clock::now() + period};
    if (same != q->timers.end())
      *same = timer;
    else
      q->timers.push_back(timer);
  }
  wi::Wake(*q);
  return nIDEvent;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  std::shared_ptr<ThreadQueue> q = ownQueue(hWnd);
  if (!q) return FALSE;
  std::lock_guard<std::mutex> guard(q->mutex);
  auto same = std::find_if(q->timers.begin(), q->timers.end(),
                           [&](const wi::Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
  if (same == q->timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  q->timers.erase(same);
  return TRUE;
}

void Win32SetTimerCreationFails(BOOL fails) { g_timerCreationFails.store(fails != FALSE); }

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
  int id = 0;
  if (!templateId(lpTemplateName, lpDialogFunc, id)) return -1;
  // A child window's dialog box is owned by the child's top-level window, which it disables.
  const HWND owner = wi::TopLevelOf(hWndParent);
  HWND dialog = wi::CreateDialogWindow(hInstance, id, owner, lpDialogFunc);
  if (!dialog) return -1;
  std::shared_ptr<ThreadQueue> q = wi::CurrentQueue();
  // EnableWindow answers whether the owner was disabled: one already disabled (by an outer modal run)
  // stays so afterwards.
  const bool reenableOwner = owner && !EnableWindow(owner, FALSE);
  wi::BeginModal(dialog);
  wi::Dispatch(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(wi::FirstTabStop(dialog)), dwInitParam);
  if (IsWindow(dialog)) Win32GetUserAgent()->DialogShown(dialog);
  const INT_PTR result = runModalLoop(dialog, *q);
  const bool alive = IsWindow(dialog);
  if (alive) Win32GetUserAgent()->DialogEnded(dialog, result);
  wi::EndModal(dialog);
  if (reenableOwner) EnableWindow(owner, TRUE);
  if (alive) DestroyWindow(dialog);
  return result;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  std::shared_ptr<ThreadQueue> q;
  {
    std::lock_guard<std::mutex> guard(wi::WindowsMutex());
    wi::Window* w = wi::FindLocked(hDlg);
    if (!w || w->kind != wi::Kind::Dialog) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    w->endRequested = true;
    w->result = nResult;
    q = w->queue;
  }
  wi::Wake(*q);
  return TRUE;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  static const int kButtons[][3] = {
      {IDOK, 0, 0},     {IDOK, IDCANCEL, 0},    {IDABORT, IDRETRY, IDIGNORE}, {IDYES, IDNO, IDCANCEL},
      {IDYES, IDNO, 0}, {IDRETRY, IDCANCEL, 0},
  };
  const UINT kind = uType & MB_TYPEMASK;
  if (kind >= sizeof kButtons / sizeof kButtons[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (hWnd && !IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  // Modal to its owner (a child window's top-level window), as a dialog box is.
  const HWND owner = wi::TopLevelOf(hWnd);
  const bool reenableOwner = owner && !EnableWindow(owner, FALSE);
  const int answer =
      Win32GetUserAgent()->AnswerMessageBox(hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error", uType);
  if (reenableOwner) EnableWindow(owner, TRUE);
  if (answer == 0 ||
      std::find(std::begin(kButtons[kind]), std::end(kButtons[kind]), answer) == std::end(kButtons[kind])) {
    // No person can press a button the box does not have: the agent is wrong, and so is the test.
    std::fprintf(stderr, "MessageBoxA: the user agent answered %d, a button a box of type 0x%x does not have\n", answer,
                 uType);
    std::abort();
  }
  return answer;
}

Win32UserAgent* Win32SetUserAgent(Win32UserAgent* agent) { return g_agent.exchange(agent ? agent : &g_defaultAgent); }

Win32UserAgent* Win32GetUserAgent(void) { return g_agent.load(); }

HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent, DLGPROC lpDialogFunc,
                               LPARAM dwInitParam) {
  int id = 0;
  if (!templateId(lpTemplateName, lpDialogFunc, id)) return nullptr;
  HWND dialog = wi::CreateDialogWindow(hInstance, id, hWndParent, lpDialogFunc);
  if (!dialog) return nullptr;
  wi::Dispatch(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(wi::FirstTabStop(dialog)), dwInitParam);
  // A procedure may destroy its dialog from WM_INITDIALOG; the caller then gets no window.
  return IsWindow(dialog) ? dialog : nullptr;
}

int Win32DispatchPendingMessages(void) {
  std::shared_ptr<ThreadQueue> q = wi::CurrentQueue();
  int delivered = 0;
  wi::PostedMessage m{};
  while (takeMessage(*q, m, false))
    if (deliver(m)) ++delivered;
  return delivered;
}

}  // extern "C"
