#pragma once
// The common file dialog: which file to open, chosen by the person (the user agent).
#include "types.h"

struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;  // pairs of zero-terminated strings (description, pattern), ended by an empty one
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;  // in: the initial name (may be empty); out: the chosen file's full name
  DWORD nMaxFile;   // size of lpstrFile in chars, terminating zero included
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;  // the dialog's caption; null: "Open"
  DWORD Flags;
  WORD nFileOffset;  // out: offset of the bare file name in lpstrFile
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  void* lpfnHook;
  LPCSTR lpTemplateName;
};
typedef OPENFILENAMEA* LPOPENFILENAMEA;

#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_PATHMUSTEXIST 0x00000800
#define FNERR_BUFFERTOOSMALL 0x3003
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_DIALOGFAILURE 0xFFFF

extern "C" {
// Asks the user agent (Win32UserAgent::ChooseOpenFile) which file to open. TRUE with the name in lpstrFile
// (nFileOffset: the bare name after the last backslash; nFileExtension: after its last dot, else the
// terminating zero; lpstrFileTitle, if given, the bare name); FALSE when the person cancelled
// (CommDlgExtendedError 0), when the name does not fit nMaxFile (FNERR_BUFFERTOOSMALL: nothing is written
// past nMaxFile, and the first two bytes then hold the size needed, as on Windows), when lStructSize is
// wrong (CDERR_STRUCTSIZE) or the owner is not a live window (CDERR_DIALOGFAILURE). The owner (a child
// window's top-level window) is disabled while the person chooses. The error is the calling thread's.
BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA lpofn);
DWORD WINAPI CommDlgExtendedError(void);
}
