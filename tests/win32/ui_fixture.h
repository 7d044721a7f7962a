#pragma once
// What the window tests share: a module holding their dialog templates, dialog procedures written as
// lambdas, and a user agent whose every move a test scripts.
#include <windows.h>
#include <win32/useragent.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace ui_test {

using Clock = std::chrono::steady_clock;

// Template ids and control ids of the test module.
enum : int {
  kProgressDialog = 300,  // Cancel, a label, a progress bar, OK, a disabled button, a static with an id
  kSmallDialog = 301,     // OK and Cancel
  kUnknownClassDialog = 302,
  kDisabledCancelDialog = 303,  // its Cancel button is disabled
  kMissingDialog = 399,

  kProgressBar = 1058,
  kDisabledButton = 10,
  kStaticWithId = 11,
};

inline const Win32DialogControl kProgressControls[] = {
    {IDCANCEL, "BUTTON", "Cancel", WS_VISIBLE | WS_TABSTOP, 67, 50, 50, 14},
    {-1, "STATIC", "Recalculating Particle Trails...", SS_LEFT | WS_GROUP, 46, 11, 94, 8},
    {kProgressBar, PROGRESS_CLASSA, "", WS_VISIBLE | WS_BORDER, 7, 28, 172, 14},
    {IDOK, "Button", "OK", WS_VISIBLE | WS_TABSTOP, 10, 50, 50, 14},
    {kDisabledButton, "button", "Later", WS_VISIBLE | WS_DISABLED | WS_TABSTOP, 120, 50, 50, 14},
    {kStaticWithId, "Static", "Label", WS_VISIBLE, 7, 2, 40, 8},
};
inline const Win32DialogControl kSmallControls[] = {
    {IDOK, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP, 10, 30, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", WS_VISIBLE | WS_TABSTOP, 70, 30, 50, 14},
};
inline const Win32DialogControl kUnknownClassControls[] = {
    {IDOK, "BUTTON", "OK", WS_VISIBLE, 10, 30, 50, 14},
    {5, "RichEdit20A", "", WS_VISIBLE, 10, 5, 100, 20},
};
inline const Win32DialogControl kDisabledCancelControls[] = {
    {IDOK, "BUTTON", "OK", WS_VISIBLE | WS_TABSTOP, 10, 30, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", WS_VISIBLE | WS_DISABLED, 70, 30, 50, 14},
};
inline const Win32DialogResource kDialogs[] = {
    {kProgressDialog, "Wakeweave", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 186, 71,
     kProgressControls, 6},
    {kSmallDialog, "Small", WS_POPUP | WS_CAPTION, 130, 50, kSmallControls, 2},
    {kUnknownClassDialog, "Unknown", WS_POPUP, 130, 50, kUnknownClassControls, 2},
    {kDisabledCancelDialog, "No cancel", WS_POPUP | WS_CAPTION | WS_SYSMENU, 130, 50, kDisabledCancelControls, 2},
};
inline const Win32ResourceImage kImage = {nullptr, 0, kDialogs, 4, nullptr, 0};

// The module, registered once for the whole program.
inline HINSTANCE Module() {
  static HINSTANCE module = Win32RegisterModule("ui-tests", &kImage);
  return module;
}

// A dialog procedure as a lambda: DialogBoxParam's init parameter carries it to a trampoline, which keeps
// it by window for the rest of the run. Nested dialogs get their own.
using Proc = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

inline std::map<HWND, Proc*>& Procs() {
  thread_local std::map<HWND, Proc*> procs;  // each thread runs its own dialogs
  return procs;
}

inline INT_PTR CALLBACK Trampoline(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) Procs()[hwnd] = reinterpret_cast<Proc*>(lParam);
  auto it = Procs().find(hwnd);
  if (it == Procs().end()) return FALSE;
  Proc* proc = it->second;
  if (message == WM_DESTROY) Procs().erase(it);
  return (*proc)(hwnd, message, wParam, lParam);
}

inline INT_PTR RunDialog(int templateId, HWND owner, Proc proc) {
  return DialogBoxParamA(Module(), MAKEINTRESOURCE(templateId), owner, Trampoline, reinterpret_cast<LPARAM>(&proc));
}

// A user agent a test scripts; installed for the test's lifetime. Unset hooks do what the default agent
// does (nothing, or the first button).
class ScriptedAgent : public Win32UserAgent {
 public:
  std::function<void(HWND)> shown, idle;
  std::function<void(HWND, INT_PTR)> ended;
  std::function<int(HWND, const char*, const char*, UINT)> answer;
  int idleCalls = 0;

  ScriptedAgent() { previous_ = Win32SetUserAgent(this); }
  ~ScriptedAgent() override { Win32SetUserAgent(previous_); }

  void DialogShown(HWND dialog) override {
    if (shown) shown(dialog);
  }
  void Idle(HWND dialog) override {
    ++idleCalls;
    if (idle) idle(dialog);
  }
  void DialogEnded(HWND dialog, INT_PTR result) override {
    if (ended) ended(dialog, result);
  }
  int AnswerMessageBox(HWND owner, const char* text, const char* caption, UINT type) override {
    return answer ? answer(owner, text, caption, type) : Win32UserAgent::AnswerMessageBox(owner, text, caption, type);
  }

 private:
  Win32UserAgent* previous_;
};

// A record of what a dialog procedure saw, in order, readable in a failure message.
struct Log {
  std::vector<std::string> lines;
  void add(const std::string& line) { lines.push_back(line); }
  std::string joined() const {
    std::string all;
    for (const std::string& l : lines) all += (all.empty() ? "" : ", ") + l;
    return all;
  }
};

inline std::string Describe(UINT message, WPARAM wParam) {
  switch (message) {
    case WM_INITDIALOG:
      return "init";
    case WM_DESTROY:
      return "destroy";
    case WM_CLOSE:
      return "close";
    case WM_TIMER:
      return "timer " + std::to_string(wParam);
    case WM_KEYDOWN:
      return "key " + std::to_string(wParam);
    case WM_COMMAND:
      return "command " + std::to_string(LOWORD(wParam)) + "/" + std::to_string(HIWORD(wParam));
    default:
      return message >= WM_USER ? "user " + std::to_string(message - WM_USER) : "msg " + std::to_string(message);
  }
}

}  // namespace ui_test
