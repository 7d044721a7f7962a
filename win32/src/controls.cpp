// The built-in classes' behaviour beyond text: buttons and their check state, edit fields and their
// notifications, static pictures.
#include "win32/errors.h"
#include "window_internal.h"

namespace wi = win32_internal;
using wi::Kind;
using wi::Window;

namespace {

UINT buttonType(const Window& w) { return w.style & BS_TYPEMASK; }

bool isCheckBox(const Window& w) {
  const UINT type = buttonType(w);
  return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
}

bool isRadio(const Window& w) {
  const UINT type = buttonType(w);
  return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool isButton(const Window& w) { return w.kind == Kind::Control && w.className == std::string_view("Button"); }

// The radio buttons of button's group other than itself: a group starts at a control with WS_GROUP (or
// the dialog's first control) and runs to the next one with WS_GROUP.
std::vector<Window*> otherRadiosOfGroupLocked(const Window& button) {
  std::vector<Window*> controls;
  if (Window* dialog = wi::FindLocked(button.parent))
    for (HWND h : dialog->children)
      if (Window* c = wi::FindLocked(h); c && c->kind == Kind::Control) controls.push_back(c);
  size_t at = 0;
  while (at < controls.size() && controls[at] != &button) ++at;
  if (at == controls.size()) return {};
  size_t first = at;
  while (first > 0 && !(controls[first]->style & WS_GROUP)) --first;
  std::vector<Window*> others;
  for (size_t i = first; i < controls.size(); ++i) {
    if (i > first && (controls[i]->style & WS_GROUP)) break;
    if (i != at && isButton(*controls[i]) && isRadio(*controls[i])) others.push_back(controls[i]);
  }
  return others;
}

Window* buttonOfLocked(HWND dialog, int id) {
  Window* d = wi::FindLocked(dialog);
  if (!d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  for (HWND h : d->children)
    if (Window* c = wi::FindLocked(h); c && c->kind == Kind::Control && c->id == id) return c;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

}  // namespace

namespace win32_internal {

LRESULT ButtonMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!isCheckBox(w) && !isRadio(w)) return 0;
  switch (message) {
    case BM_GETCHECK:
      return w.check;
    case BM_SETCHECK:
      // Only the two states these buttons have; a third (grayed) state is not carried.
      if (wParam == BST_CHECKED || wParam == BST_UNCHECKED) w.check = static_cast<UINT>(wParam);
      return 0;
    default:
      return 0;
  }
}

LRESULT EditMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam, Notification& note) {
  auto notify = [&](WORD code) {
    note.to = w.parent;
    note.wParam = MAKEWPARAM(w.id, code);
    note.lParam = reinterpret_cast<LPARAM>(w.handle);
  };
  switch (message) {
    case WM_SETFOCUS:
      notify(EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      notify(EN_KILLFOCUS);
      return 0;
    case WM_SETTEXT: {
      const std::string before = w.text;
      LRESULT result = 0;
      TextMessage(w, message, wParam, lParam, result);
      if (w.text != before) notify(EN_CHANGE);
      return result;
    }
    default: {
      LRESULT result = 0;
      TextMessage(w, message, wParam, lParam, result);
      return result;
    }
  }
}

LRESULT StaticMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (wParam != IMAGE_BITMAP) return 0;
  switch (message) {
    case STM_GETIMAGE:
      return reinterpret_cast<LRESULT>(w.image);
    case STM_SETIMAGE: {
      // The old picture is handed back to the caller, who now owns it; the new one stays the caller's.
      HBITMAP old = w.image;
      w.image = reinterpret_cast<HBITMAP>(lParam);
      w.ownsImage = false;
      return reinterpret_cast<LRESULT>(old);
    }
    default:
      return 0;
  }
}

void ClickButton(HWND button) {
  HWND dialog = nullptr;
  int id = 0;
  {
    std::lock_guard<std::mutex> guard(WindowsMutex());
    Window* w = FindLocked(button);
    if (!w || !isButton(*w) || (w->style & WS_DISABLED)) return;
    if (buttonType(*w) == BS_AUTOCHECKBOX) w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    if (buttonType(*w) == BS_AUTORADIOBUTTON) {
      w->check = BST_CHECKED;
      for (Window* other : otherRadiosOfGroupLocked(*w)) other->check = BST_UNCHECKED;
    }
    dialog = w->parent;
    id = w->id;
  }
  Dispatch(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace win32_internal

extern "C" {

UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* b = buttonOfLocked(hDlg, nIDButton);
  return b && isButton(*b) && (isCheckBox(*b) || isRadio(*b)) ? b->check : BST_UNCHECKED;
}

BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
  HWND button = GetDlgItem(hDlg, nIDButton);
  if (!button) return FALSE;
  wi::Dispatch(button, BM_SETCHECK, uCheck, 0);
  return TRUE;
}

BOOL WINAPI CheckRadioButton(HWND hDlg, int nIDFirstButton, int nIDLastButton, int nIDCheckButton) {
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* d = wi::FindLocked(hDlg);
  if (!d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (HWND h : d->children) {
    Window* c = wi::FindLocked(h);
    if (!c || !isButton(*c) || !(isCheckBox(*c) || isRadio(*c)) || c->id < nIDFirstButton || c->id > nIDLastButton)
      continue;
    c->check = c->id == nIDCheckButton ? BST_CHECKED : BST_UNCHECKED;
  }
  return TRUE;
}

}  // extern "C"
