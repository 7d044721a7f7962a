// Windows: the handle table, dialogs built from templates, message dispatch and the window attributes.
// A handle is a number handed out once, so a stale handle never reaches another window: it is reported.
#include "win32/errors.h"
#include "win32/gdi.h"
#include "win32/module.h"
#include "win32/sync.h"
#include "window_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unordered_map>

namespace wi = win32_internal;
using wi::Kind;
using wi::Window;

namespace {

const char kDialogClass[] = "#32770";
const char kMainClass[] = "Win32MainWindow";
const char kButtonClass[] = "Button";

// The control classes a template may name, matched without regard to case as Windows does; a window
// reports the name Windows registers the class under.
const char* const kControlClasses[] = {kButtonClass, "Static", "Edit", "ListBox", "ComboBox", PROGRESS_CLASSA};

const char* controlClass(const char* name) {
  if (!name) return nullptr;
  for (const char* known : kControlClasses)
    if (strcasecmp(known, name) == 0) return known;
  return nullptr;
}

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

struct Registry {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::unique_ptr<Window>> windows;
  uintptr_t next = 0x00010010;
  std::vector<HWND> modal;  // running modal dialogs of every thread, innermost last
};

// Never destroyed: detached threads may still reach windows while the process exits.
Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

thread_local std::vector<HWND> t_modal;  // this thread's modal dialogs, innermost last
thread_local HWND t_active = nullptr;
thread_local HWND t_focus = nullptr;

// A child panel sits in its parent as a control does.
bool isChild(const Window& w) { return w.kind == Kind::Control || (w.kind == Kind::Dialog && (w.style & WS_CHILD)); }

void eraseLocked(Registry& r, HWND hwnd) {
  auto it = r.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == r.windows.end()) return;
  if (Window* parent = wi::FindLocked(it->second->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
  }
  r.modal.erase(std::remove(r.modal.begin(), r.modal.end(), hwnd), r.modal.end());
  if (it->second->ownsImage) DeleteObject(it->second->image);
  r.windows.erase(it);
}

// Windows go with the thread that made them, as on Windows (without messages: the thread is gone).
struct ThreadWindows {
  DWORD thread = 0;
  ~ThreadWindows() {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    std::vector<HWND> mine;
    for (auto& [handle, window] : r.windows)
      if (window->thread == thread) mine.push_back(window->handle);
    for (HWND h : mine) eraseLocked(r, h);
  }
};
thread_local ThreadWindows t_windows;

HWND addLocked(Registry& r, std::unique_ptr<Window> window) {
  window->thread = GetCurrentThreadId();
  t_windows.thread = window->thread;
  window->handle = reinterpret_cast<HWND>(r.next);
  r.next += 4;
  HWND h = window->handle;
  if (isChild(*window))
    if (Window* parent = wi::FindLocked(window->parent)) parent->children.push_back(h);
  r.windows.emplace(reinterpret_cast<uintptr_t>(h), std::move(window));
  return h;
}

Window* childLocked(Window& dialog, int id) {
  for (HWND h : dialog.children)
    if (Window* c = wi::FindLocked(h); c && c->id == id) return c;
  return nullptr;
}

// The window's top left on the screen.
void screenOrigin(const Window& w, LONG& x, LONG& y) {
  x = w.x;
  y = w.y;
  if (!isChild(w)) return;
  for (const Window* p = wi::FindLocked(w.parent); p; p = isChild(*p) ? wi::FindLocked(p->parent) : nullptr) {
    x += p->x;
    y += p->y;
  }
}

void copyText(const std::string& text, char* buffer, size_t size, LRESULT& copied) {
  if (!buffer || size == 0) {
    copied = 0;
    return;
  }
  const size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  copied = static_cast<LRESULT>(n);
}

}  // namespace

// What every window does with its text.
bool wi::TextMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_SETTEXT:
      w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
      result = TRUE;
      return true;
    case WM_GETTEXT:
      copyText(w.text, reinterpret_cast<char*>(lParam), wParam, result);
      return true;
    case WM_GETTEXTLENGTH:
      result = static_cast<LRESULT>(w.text.size());
      return true;
    default:
      return false;
  }
}

namespace {

// A position outside the range goes to its nearer end; an empty range holds its one value.
void clampPosition(Window& w) {
  if (w.rangeMax == w.rangeMin) {
    w.position = w.rangeMin;
    return;
  }
  if (w.position < w.rangeMin) w.position = w.rangeMin;
  if (w.position > w.rangeMax) w.position = w.rangeMax;
}

LRESULT progressMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int old = w.position;
  switch (message) {
    case PBM_SETRANGE: {
      const LRESULT previous = MAKELPARAM(w.rangeMin, w.rangeMax);
      w.rangeMin = LOWORD(lParam);
      w.rangeMax = HIWORD(lParam);
      clampPosition(w);
      return previous;
    }
    case PBM_SETPOS:
      w.position = static_cast<int>(wParam);
      clampPosition(w);
      return old;
    case PBM_DELTAPOS:
      w.position += static_cast<int>(wParam);
      clampPosition(w);
      return old;
    case PBM_SETSTEP: {
      const int previous = w.step;
      w.step = static_cast<int>(wParam);
      return previous;
    }
    case PBM_STEPIT:
      // Past the maximum the bar starts over from the minimum.
      w.position += w.step;
      if (w.position > w.rangeMax) w.position = w.rangeMin;
      clampPosition(w);
      return old;
    case PBM_GETPOS:
      return w.position;
    default:
      return 0;
  }
}

// A built-in control's class procedure.
LRESULT controlMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, wi::Notification& note) {
  const std::string_view name = w.className;
  if (name == "Edit") return wi::EditMessage(w, message, wParam, lParam, note);
  LRESULT result = 0;
  if (wi::TextMessage(w, message, wParam, lParam, result)) return result;
  if (name == PROGRESS_CLASSA) return progressMessage(w, message, wParam, lParam);
  if (name == kButtonClass) return wi::ButtonMessage(w, message, wParam, lParam);
  if (name == "ListBox") return wi::ListBoxMessage(w, message, wParam, lParam);
  if (name == "Static") return wi::StaticMessage(w, message, wParam, lParam);
  return 0;
}

// What the default dialog procedure and the default window procedure do once the window's own
// procedure has not handled the message.
LRESULT defaultMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  std::unique_lock<std::mutex> lock(wi::WindowsMutex());
  Window* w = wi::FindLocked(hwnd);
  if (!w) return 0;  // the procedure destroyed it
  LRESULT result = 0;
  if (wi::TextMessage(*w, message, wParam, lParam, result)) return result;
  if (message != WM_CLOSE) return 0;
  if (w->kind == Kind::Main) {
    lock.unlock();
    DestroyWindow(hwnd);
    return 0;
  }
  // A dialog's close box is its Cancel button, unless that button is disabled.
  Window* cancel = childLocked(*w, IDCANCEL);
  if (cancel && (cancel->style & WS_DISABLED)) return 0;
  HWND cancelHandle = cancel ? cancel->handle : nullptr;
  lock.unlock();
  wi::Post(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancelHandle));
  return 0;
}

// Runs fn on the live window, with the lock held; false (ERROR_INVALID_HANDLE) for any other handle.
template <class Fn>
bool withWindow(HWND hwnd, Fn fn) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* w = wi::FindLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  fn(*w);
  return true;
}

}  // namespace

namespace win32_internal {

std::mutex& WindowsMutex() { return registry().mutex; }

Window* FindLocked(HWND hwnd) {
  if (!hwnd) return nullptr;
  Registry& r = registry();
  auto it = r.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == r.windows.end() ? nullptr : it->second.get();
}

Window* FindOwnLocked(HWND hwnd) {
  Window* w = FindLocked(hwnd);
  if (!w) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (w->thread != GetCurrentThreadId()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return w;
}

HWND CreateDialogWindow(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc) {
  const Win32DialogResource* tmpl = Win32FindDialog(instance, templateId);
  if (!tmpl) return nullptr;
  if (tmpl->numControls < 0 || (tmpl->numControls > 0 && !tmpl->controls)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  const bool child = (tmpl->style & WS_CHILD) != 0;
  if (!child) owner = TopLevelOf(owner);
  std::shared_ptr<ThreadQueue> queue = CurrentQueue();
  Registry& r = registry();
  std::unique_lock<std::mutex> lock(r.mutex);
  // As on Windows, a template that names a class nobody registered makes no dialog at all.
  std::vector<const RegisteredClass*> registered(tmpl->numControls, nullptr);
  for (int i = 0; i < tmpl->numControls; ++i) {
    if (controlClass(tmpl->controls[i].className)) continue;
    registered[i] = FindRegisteredClassLocked(tmpl->controls[i].className);
    if (!registered[i]) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
  }
  // A panel lies at its parent's top left, a top-level dialog at its owner's.
  LONG x = 0, y = 0;
  if (owner || child) {
    Window* o = FindLocked(owner);
    if (!o) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (!child) screenOrigin(*o, x, y);
  }
  auto dialog = std::make_unique<Window>();
  dialog->kind = Kind::Dialog;
  dialog->className = kDialogClass;
  dialog->text = tmpl->caption ? tmpl->caption : "";
  dialog->style = tmpl->style;
  dialog->parent = owner;
  dialog->queue = queue;
  dialog->proc = proc;
  dialog->x = x;
  dialog->y = y;
  dialog->cx = tmpl->cx * 6 / 4;
  dialog->cy = tmpl->cy * 13 / 8;
  HWND h = addLocked(r, std::move(dialog));
  std::vector<HWND> created;
  std::vector<std::pair<HWND, int>> pictures;
  for (int i = 0; i < tmpl->numControls; ++i) {
    const Win32DialogControl& c = tmpl->controls[i];
    auto control = std::make_unique<Window>();
    control->className = registered[i] ? registered[i]->name.c_str() : controlClass(c.className);
    control->registered = registered[i];
    control->wndProc = registered[i] ? registered[i]->proc : nullptr;
    control->id = c.id;
    control->text = c.text ? c.text : "";
    control->style = c.style | WS_CHILD;
    control->parent = h;
    control->queue = queue;
    control->x = c.x * 6 / 4;
    control->y = c.y * 13 / 8;
    control->cx = c.cx * 6 / 4;
    control->cy = c.cy * 13 / 8;
    const bool picture = control->className == std::string_view("Static") &&
                         (control->style & SS_TYPEMASK) == SS_BITMAP && control->text.size() > 1 &&
                         control->text[0] == '#';
    const int bitmapId = picture ? std::atoi(control->text.c_str() + 1) : 0;
    HWND ch = addLocked(r, std::move(control));
    if (registered[i]) created.push_back(ch);
    if (bitmapId > 0) pictures.emplace_back(ch, bitmapId);
  }
  lock.unlock();
  // A picture whose bitmap is missing stays empty, as on Windows.
  for (auto [picture, bitmapId] : pictures) {
    HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCE(bitmapId));
    if (!bitmap) continue;
    std::lock_guard<std::mutex> guard(r.mutex);
    if (Window* w = FindLocked(picture)) {
      w->image = bitmap;
      w->ownsImage = true;
    } else {
      DeleteObject(bitmap);
    }
  }
  for (HWND control : created)
    if (IsWindow(control)) Dispatch(control, WM_CREATE, 0, 0);
  return h;
}

HWND FirstTabStop(HWND dialog) {
  std::lock_guard<std::mutex> guard(WindowsMutex());
  Window* d = FindLocked(dialog);
  if (!d) return nullptr;
  for (HWND h : d->children)
    if (Window* c = FindLocked(h); c && (c->style & WS_TABSTOP) && !(c->style & WS_DISABLED)) return h;
  return nullptr;
}

void BeginModal(HWND dialog) {
  t_modal.push_back(dialog);
  std::lock_guard<std::mutex> guard(WindowsMutex());
  registry().modal.push_back(dialog);
}

void EndModal(HWND dialog) {
  t_modal.erase(std::remove(t_modal.begin(), t_modal.end(), dialog), t_modal.end());
  std::lock_guard<std::mutex> guard(WindowsMutex());
  auto& modal = registry().modal;
  modal.erase(std::remove(modal.begin(), modal.end(), dialog), modal.end());
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  WNDPROC wndProc = nullptr;
  {
    std::unique_lock<std::mutex> lock(WindowsMutex());
    Window* w = FindLocked(hwnd);
    if (!w) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    // The built-in classes are the stand-in's own code, safe from any thread.
    if (w->kind == Kind::Control && !w->wndProc) {
      Notification note;
      const LRESULT result = controlMessage(*w, message, wParam, lParam, note);
      lock.unlock();
      if (note.to) Notify(note);
      return result;
    }
    // A dialog procedure or a registered class's procedure runs only on its window's thread; sending to
    // it from another thread is not carried.
    if (w->thread != GetCurrentThreadId()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
    proc = w->proc;
    wndProc = w->wndProc;
  }
  if (wndProc) return wndProc(hwnd, message, wParam, lParam);
  if (proc) {
    const INT_PTR handled = proc(hwnd, message, wParam, lParam);
    if (handled) return handled;
  }
  return defaultMessage(hwnd, message, wParam, lParam);
}

void Notify(const Notification& note) {
  bool here = false;
  {
    std::lock_guard<std::mutex> guard(WindowsMutex());
    Window* to = FindLocked(note.to);
    if (!to) return;  // the dialog is going
    here = to->thread == GetCurrentThreadId();
  }
  if (here)
    Dispatch(note.to, WM_COMMAND, note.wParam, note.lParam);
  else
    Post(note.to, WM_COMMAND, note.wParam, note.lParam);
}

HWND& ThreadFocus() { return t_focus; }

HWND TopLevelOf(HWND hwnd) {
  std::lock_guard<std::mutex> guard(WindowsMutex());
  Window* w = FindLocked(hwnd);
  while (w && isChild(*w))
    if (Window* parent = FindLocked(w->parent))
      w = parent;
    else
      break;
  return w ? w->handle : hwnd;
}

bool AnyWindowOfClassLocked(const RegisteredClass* c) {
  for (const auto& [handle, w] : registry().windows)
    if (w->registered == c) return true;
  return false;
}

bool TakesInput(HWND hwnd) {
  std::lock_guard<std::mutex> guard(WindowsMutex());
  for (Window* w = FindLocked(hwnd);; w = FindLocked(w->parent)) {
    if (!w) {
      if (hwnd && !FindLocked(hwnd)) SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (w->style & WS_DISABLED) return false;
    if (!isChild(*w)) return true;
  }
}

}  // namespace win32_internal

extern "C" {

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  HWND found = nullptr;
  if (!withWindow(hDlg, [&](Window& d) {
        if (Window* c = childLocked(d, nIDDlgItem)) found = c->handle;
      }))
    return nullptr;
  if (!found) SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return found;
}

BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  std::vector<HWND> children;
  if (!withWindow(hWndParent, [&](Window& w) { children = w.children; })) return FALSE;
  // The callback runs without the lock: it may call back into the stand-in, or destroy windows.
  for (HWND child : children)
    if (lpEnumFunc && !lpEnumFunc(child, lParam)) break;
  return TRUE;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  int id = 0;
  withWindow(hWnd, [&](Window& w) { id = w.id; });
  return id;
}

HWND WINAPI GetParent(HWND hWnd) {
  HWND parent = nullptr;
  withWindow(hWnd, [&](Window& w) { parent = wi::FindLocked(w.parent) ? w.parent : nullptr; });
  return parent;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  return wi::FindLocked(hWnd) != nullptr;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  // The window, its controls and the top-level windows it owns on this thread, parents first.
  std::vector<HWND> doomed;
  std::shared_ptr<wi::ThreadQueue> queue;
  {
    std::lock_guard<std::mutex> guard(wi::WindowsMutex());
    Window* w = wi::FindOwnLocked(hWnd);
    if (!w) return FALSE;
    queue = w->queue;
    doomed.push_back(hWnd);
    for (size_t i = 0; i < doomed.size(); ++i) {
      for (auto& [handle, other] : registry().windows)
        if (other->parent == doomed[i] && other->thread == w->thread &&
            std::find(doomed.begin(), doomed.end(), other->handle) == doomed.end())
          doomed.push_back(other->handle);
    }
  }
  // The focus goes with the window, and nobody is told: the window is on its way out.
  if (std::find(doomed.begin(), doomed.end(), t_focus) != doomed.end()) t_focus = nullptr;
  for (HWND h : doomed)
    if (IsWindow(h)) wi::Dispatch(h, WM_DESTROY, 0, 0);
  {
    std::lock_guard<std::mutex> guard(wi::WindowsMutex());
    Registry& r = registry();
    for (HWND h : doomed) eraseLocked(r, h);
    // Windows of other threads that these owned lose their owner.
    for (auto& [handle, other] : r.windows)
      if (std::find(doomed.begin(), doomed.end(), other->parent) != doomed.end()) other->parent = nullptr;
  }
  if (std::find(doomed.begin(), doomed.end(), t_active) != doomed.end()) t_active = nullptr;
  if (queue) wi::KillTimersOf(*queue, doomed);
  return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return wi::Dispatch(hWnd, Msg, wParam, lParam);
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? wi::Dispatch(item, Msg, wParam, lParam) : 0;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return wi::Dispatch(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  LRESULT copied = 0;
  bool ask = false;  // a registered class keeps its text as it likes: its procedure answers
  if (!withWindow(hWnd, [&](Window& w) {
        ask = w.wndProc != nullptr;
        if (!ask) copyText(w.text, lpString, nMaxCount > 0 ? static_cast<size_t>(nMaxCount) : 0, copied);
      })) {
    if (lpString && nMaxCount > 0) lpString[0] = '\0';
    return 0;
  }
  if (ask && lpString && nMaxCount > 0) {
    lpString[0] = '\0';
    copied = wi::Dispatch(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString));
  }
  return static_cast<int>(copied);
}

int WINAPI GetWindowTextLengthA(HWND hWnd) {
  int length = 0;
  bool ask = false;
  withWindow(hWnd, [&](Window& w) {
    ask = w.wndProc != nullptr;
    length = static_cast<int>(w.text.size());
  });
  return ask ? static_cast<int>(wi::Dispatch(hWnd, WM_GETTEXTLENGTH, 0, 0)) : length;
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  return item ? SetWindowTextA(item, lpString) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
  HWND item = GetDlgItem(hDlg, nIDDlgItem);
  if (!item) {
    if (lpString && cchMax > 0) lpString[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(GetWindowTextA(item, lpString, cchMax));
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  BOOL wasDisabled = FALSE;
  withWindow(hWnd, [&](Window& w) {
    wasDisabled = (w.style & WS_DISABLED) ? TRUE : FALSE;
    if (bEnable)
      w.style &= ~static_cast<DWORD>(WS_DISABLED);
    else
      w.style |= WS_DISABLED;
  });
  return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  BOOL enabled = FALSE;
  withWindow(hWnd, [&](Window& w) { enabled = (w.style & WS_DISABLED) ? FALSE : TRUE; });
  return enabled;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (!lpRect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return withWindow(hWnd, [&](Window& w) {
    LONG x = 0, y = 0;
    screenOrigin(w, x, y);
    *lpRect = RECT{x, y, x + w.cx, y + w.cy};
  });
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL) {
  return withWindow(hWnd, [&](Window& w) {
    w.x = X;
    w.y = Y;
    w.cx = std::max(nWidth, 0);
    w.cy = std::max(nHeight, 0);
  });
}

int WINAPI GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
      return kScreenWidth;
    case SM_CYSCREEN:
      return kScreenHeight;
    default:
      return 0;
  }
}

HWND WINAPI GetActiveWindow(void) {
  if (!t_modal.empty()) return t_modal.back();
  return IsWindow(t_active) ? t_active : nullptr;
}

HWND Win32CreateMainWindow(const char* title) {
  auto window = std::make_unique<Window>();
  window->kind = Kind::Main;
  window->className = kMainClass;
  window->text = title ? title : "";
  window->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
  window->queue = wi::CurrentQueue();
  window->x = 160;
  window->y = 90;
  window->cx = 1600;
  window->cy = 900;
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  return addLocked(r, std::move(window));
}

void Win32SetActiveWindow(HWND hWnd) {
  if (!hWnd) {
    t_active = nullptr;
    return;
  }
  bool mine = false;
  if (!withWindow(hWnd, [&](Window& w) { mine = w.kind != Kind::Control && w.thread == GetCurrentThreadId(); })) return;
  if (!mine) {
    SetLastError(ERROR_ACCESS_DENIED);
    return;
  }
  t_active = hWnd;
}

const char* Win32WindowClass(HWND hWnd) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* w = wi::FindLocked(hWnd);
  return w ? w->className : "";
}

HWND Win32CurrentModalDialog(void) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  auto& modal = registry().modal;
  return modal.empty() ? nullptr : modal.back();
}

BOOL Win32ProgressBarState(HWND hWnd, int* minimum, int* maximum, int* position, int* step) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* w = wi::FindLocked(hWnd);
  if (!w || w->className != std::string_view(PROGRESS_CLASSA)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (minimum) *minimum = w->rangeMin;
  if (maximum) *maximum = w->rangeMax;
  if (position) *position = w->position;
  if (step) *step = w->step;
  return TRUE;
}

}  // extern "C"
