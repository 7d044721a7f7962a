#pragma once
// The registry key wrapper the plug-in reads its help location through, and that lookup.
#include <windows.h>

#include "support/mfc_compat.h"

// Holds at most one open key and closes it at the latest when destroyed.
class CRegKey {
 public:
  CRegKey();
  virtual ~CRegKey();
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;

  // Opens pszKey under hKeyRoot with full access, creating it when missing; the registry's error code.
  LONG Open(HKEY hKeyRoot, const char* pszKey);
  void Close();
  // Reads a string value of fewer than 200 bytes into strValue; left unchanged on failure.
  LONG ReadString(const char* pszKey, CString& strValue);

 private:
  CString m_strKey;
  HKEY m_hKey;
};

// The product key that names the help document, relative to its root.
extern const char* const kWakeweaveProductKey;

// Finds the help document: the full path from the product key's "path" and "help" values. FALSE when the
// key cannot be opened under either root (nothing shown), or when a value is missing (after the message
// box "Help path not found in registry", owned by hWndOwner).
BOOL FindHelpDocument(HWND hWndOwner, CString& strFullPath);
