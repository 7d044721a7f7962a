#pragma once
// Opening a document with the program registered for it. Headless: the stand-in records what it was asked
// to open instead of starting a program.
#include "types.h"

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_NOASSOC 31

extern "C" {
// lpOperation null or "open": the document lpFile must be an existing file (SE_ERR_FNF otherwise; a
// missing folder on the way, SE_ERR_PNF); any other verb is SE_ERR_NOASSOC. A value above 32 is success.
HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                               INT nShowCmd);

// --- Stand-in extensions ---
// How many documents were opened since the last reset, and the last one's path ("" when none).
int Win32OpenedDocumentCount(void);
const char* Win32LastOpenedDocument(void);
void Win32ResetOpenedDocuments(void);
}
