// List boxes: texts in insertion order with a single or a multiple selection, and a person's choice.
#include "win32/errors.h"
#include "window_internal.h"

#include <algorithm>
#include <cstring>

namespace wi = win32_internal;
using wi::Window;

namespace {

bool isMultiple(const Window& w) { return (w.style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0; }

bool inRange(const Window& w, WPARAM index) { return index < w.entries.size(); }

const char* textOf(LPARAM lParam) { return lParam ? reinterpret_cast<const char*>(lParam) : ""; }

LRESULT insert(Window& w, size_t at, LPARAM text) {
  w.entries.insert(w.entries.begin() + at, textOf(text));
  w.selected.insert(w.selected.begin() + at, 0);
  return static_cast<LRESULT>(at);
}

bool isListBox(const Window& w) { return w.kind == wi::Kind::Control && w.className == std::string_view("ListBox"); }

// The list box id of dialog that a person can choose items items of (count of them); null otherwise.
HWND choosableList(HWND dialog, int id, const int* items, int count) {
  HWND list = GetDlgItem(dialog, id);
  if (!list || count < 0 || (count > 0 && !items)) return nullptr;
  std::lock_guard<std::mutex> guard(wi::WindowsMutex());
  Window* w = wi::FindLocked(list);
  if (!w || !isListBox(*w) || (!isMultiple(*w) && count > 1)) return nullptr;
  for (int i = 0; i < count; ++i)
    if (items[i] < 0 || !inRange(*w, static_cast<WPARAM>(items[i]))) return nullptr;
  return list;
}

}  // namespace

LRESULT wi::ListBoxMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool multiple = isMultiple(w);
  const WPARAM all = static_cast<WPARAM>(-1);
  switch (message) {
    case LB_ADDSTRING:
      return insert(w, w.entries.size(), lParam);
    case LB_INSERTSTRING:
      if (wParam == all) return insert(w, w.entries.size(), lParam);
      return wParam <= w.entries.size() ? insert(w, wParam, lParam) : LB_ERR;
    case LB_DELETESTRING:
      if (!inRange(w, wParam)) return LB_ERR;
      w.entries.erase(w.entries.begin() + wParam);
      w.selected.erase(w.selected.begin() + wParam);
      return static_cast<LRESULT>(w.entries.size());
    case LB_RESETCONTENT:
      w.entries.clear();
      w.selected.clear();
      return 0;
    case LB_SETSEL: {
      if (!multiple) return LB_ERR;
      const WPARAM index = static_cast<WPARAM>(lParam);
      if (index == all) {
        std::fill(w.selected.begin(), w.selected.end(), wParam ? 1 : 0);
        return 0;
      }
      if (!inRange(w, index)) return LB_ERR;
      w.selected[index] = wParam ? 1 : 0;
      return 0;
    }
    case LB_SETCURSEL:
      if (multiple || (wParam != all && !inRange(w, wParam))) return LB_ERR;
      std::fill(w.selected.begin(), w.selected.end(), 0);
      if (wParam == all) return LB_ERR;  // Windows answers LB_ERR for "none" too
      w.selected[wParam] = 1;
      return static_cast<LRESULT>(wParam);
    case LB_GETSEL:
      return inRange(w, wParam) ? w.selected[wParam] : LB_ERR;
    case LB_GETCURSEL: {
      if (multiple) return LB_ERR;
      auto at = std::find(w.selected.begin(), w.selected.end(), 1);
      return at == w.selected.end() ? LB_ERR : static_cast<LRESULT>(at - w.selected.begin());
    }
    case LB_GETTEXT: {
      if (!inRange(w, wParam) || !lParam) return LB_ERR;
      const std::string& text = w.entries[wParam];
      std::memcpy(reinterpret_cast<char*>(lParam), text.c_str(), text.size() + 1);
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETTEXTLEN:
      return inRange(w, wParam) ? static_cast<LRESULT>(w.entries[wParam].size()) : LB_ERR;
    case LB_GETCOUNT:
      return static_cast<LRESULT>(w.entries.size());
    case LB_GETSELCOUNT:
      return multiple ? std::count(w.selected.begin(), w.selected.end(), 1) : LB_ERR;
    case LB_GETSELITEMS: {
      if (!multiple || (wParam > 0 && !lParam)) return LB_ERR;
      int* out = reinterpret_cast<int*>(lParam);
      LRESULT written = 0;
      for (size_t i = 0; i < w.selected.size() && static_cast<WPARAM>(written) < wParam; ++i)
        if (w.selected[i]) out[written++] = static_cast<int>(i);
      return written;
    }
    default: {
      LRESULT result = 0;
      TextMessage(w, message, wParam, lParam, result);
      return result;
    }
  }
}

extern "C" {

BOOL Win32SelectListItems(HWND dialog, int id, const int* items, int count) {
  HWND list = choosableList(dialog, id, items, count);
  if (!list || !wi::TakesInput(list)) return FALSE;
  std::vector<int> chosen(items, items + count);
  return wi::PostAction(list, [list, chosen] {
    if (!wi::TakesInput(list)) return;
    SetFocus(list);
    wi::Notification note;
    {
      std::lock_guard<std::mutex> guard(wi::WindowsMutex());
      Window* w = wi::FindLocked(list);
      if (!w) return;
      // The entries may have changed since the person chose: a choice of entries gone goes nowhere.
      for (int item : chosen)
        if (!inRange(*w, static_cast<WPARAM>(item))) return;
      std::fill(w->selected.begin(), w->selected.end(), 0);
      for (int item : chosen) w->selected[item] = 1;
      if (w->style & LBS_NOTIFY)
        note = wi::Notification{w->parent, MAKEWPARAM(w->id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list)};
    }
    if (note.to) wi::Notify(note);
  });
}

}  // extern "C"
