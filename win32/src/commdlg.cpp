// The common open-file dialog: the person (the user agent) chooses, the owner waits disabled.
#include "win32/commdlg.h"

#include "win32/errors.h"
#include "win32/useragent.h"
#include "window_internal.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

thread_local DWORD t_commDlgError = 0;

BOOL fail(DWORD error) {
  t_commDlgError = error;
  return FALSE;
}

}  // namespace

extern "C" {

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn) {
  t_commDlgError = 0;
  if (!lpofn || lpofn->lStructSize != sizeof(OPENFILENAMEA)) return fail(CDERR_STRUCTSIZE);
  HWND owner = lpofn->hwndOwner;
  if (owner && !IsWindow(owner)) return fail(CDERR_DIALOGFAILURE);
  // Modal to its owner (a child window's top-level window), as a dialog box is.
  const HWND modalTo = win32_internal::TopLevelOf(owner);
  const bool reenableOwner = modalTo && !EnableWindow(modalTo, FALSE);
  std::string path;
  const bool chosen = Win32GetUserAgent()->ChooseOpenFile(owner, lpofn->lpstrTitle ? lpofn->lpstrTitle : "Open",
                                                          lpofn->lpstrFilter ? lpofn->lpstrFilter : "\0", path);
  if (reenableOwner) EnableWindow(modalTo, TRUE);
  if (!chosen) return FALSE;
  if (!lpofn->lpstrFile || path.size() + 1 > lpofn->nMaxFile) {
    // As on Windows, the first two bytes then tell the size needed, when there is room for them.
    if (lpofn->lpstrFile && lpofn->nMaxFile >= 2) {
      const WORD needed = static_cast<WORD>(std::min<size_t>(path.size() + 1, 0xFFFF));
      std::memcpy(lpofn->lpstrFile, &needed, sizeof needed);
    }
    return fail(FNERR_BUFFERTOOSMALL);
  }
  std::memcpy(lpofn->lpstrFile, path.c_str(), path.size() + 1);
  const size_t slash = path.find_last_of('\\');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  lpofn->nFileOffset = static_cast<WORD>(name);
  // Without an extension, the offset of the terminating zero, as on Windows.
  lpofn->nFileExtension = static_cast<WORD>(dot == std::string::npos || dot < name ? path.size() : dot + 1);
  if (lpofn->lpstrFileTitle && lpofn->nMaxFileTitle > 0) {
    const std::string title = path.substr(name);
    const size_t n = std::min<size_t>(title.size(), lpofn->nMaxFileTitle - 1);
    std::memcpy(lpofn->lpstrFileTitle, title.data(), n);
    lpofn->lpstrFileTitle[n] = '\0';
  }
  return TRUE;
}

DWORD WINAPI CommDlgExtendedError(void) { return t_commDlgError; }

}  // extern "C"
