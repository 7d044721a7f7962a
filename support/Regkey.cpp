#include "support/Regkey.h"

#include <debug.h>

namespace {

// Reports read the same wherever the plug-in is built: source name and lines are fixed.
const char* const kSourceName = "Regkey";
constexpr int kOpenTwiceLine = 66;
constexpr int kNoKeyLine = 215;
constexpr int kNoNameLine = 216;
constexpr DWORD kValueBufferSize = 200;

}  // namespace

const char* const kWakeweaveProductKey = "SOFTWARE\\Quillory Software\\Wake Weave";

CRegKey::CRegKey() : m_hKey(NULL) {}

CRegKey::~CRegKey() { Close(); }

LONG CRegKey::Open(HKEY hKeyRoot, const char* pszKey) {
  if (m_hKey != NULL) {
    assert1(kOpenTwiceLine, kSourceName, "0");
    return ERROR_ACCESS_DENIED;
  }
  m_strKey = CString(pszKey);
  DWORD disposition = 0;
  return RegCreateKeyExA(hKeyRoot, pszKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &m_hKey,
                         &disposition);
}

void CRegKey::Close() {
  if (m_hKey != NULL) {
    RegCloseKey(m_hKey);
    m_hKey = NULL;
  }
}

LONG CRegKey::ReadString(const char* pszKey, CString& strValue) {
  if (!m_hKey) assert1(kNoKeyLine, kSourceName, "m_hKey");
  if (!pszKey) assert1(kNoNameLine, kSourceName, "pszKey");
  char buffer[kValueBufferSize + 1];
  DWORD size = kValueBufferSize;
  const LONG result = RegQueryValueExA(m_hKey, pszKey, NULL, NULL, reinterpret_cast<LPBYTE>(buffer), &size);
  if (result == ERROR_SUCCESS) {
    // A value stored without its terminating zero ends where the returned bytes end.
    buffer[size < kValueBufferSize ? size : kValueBufferSize] = '\0';
    strValue = CString(buffer);
  }
  return result;
}

BOOL FindHelpDocument(HWND hWndOwner, CString& strFullPath) {
  CRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kWakeweaveProductKey) != ERROR_SUCCESS &&
      key.Open(HKEY_CURRENT_USER, kWakeweaveProductKey) != ERROR_SUCCESS)
    return FALSE;
  CString path, help;
  const LONG pathRead = key.ReadString("path", path);
  const LONG helpRead = key.ReadString("help", help);
  if (pathRead != ERROR_SUCCESS || helpRead != ERROR_SUCCESS) {
    MessageBoxA(hWndOwner, "Help path not found in registry", "Failed", MB_OK);
    return FALSE;
  }
  CGeneralUtils::AddTrailingBackslash(path);
  strFullPath = path + help;
  return TRUE;
}
