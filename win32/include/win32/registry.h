#pragma once
// The registry: two hives, HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, of keys that hold string values. Key
// and value names compare without regard to case, as on Windows; value data is kept byte for byte as set.
// The registry lives in a file so that values outlive the process (see Win32SetRegistryFile).
#include "types.h"

typedef HKEY* PHKEY;
typedef DWORD REGSAM;
struct SECURITY_ATTRIBUTES;

#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

// Value types; the stand-in stores REG_SZ only.
#define REG_NONE 0
#define REG_SZ 1

#define REG_OPTION_NON_VOLATILE 0x00000000L

// Dispositions reported by RegCreateKeyExA.
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Access rights.
#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

// Registry-specific error codes (the general ones are in errors.h).
#define ERROR_BAD_PATHNAME 161L

extern "C" {
// Opens lpSubKey under hKey (a hive or an open key), creating it and every missing key on its path. The
// path is backslash-separated, without a leading backslash or empty names; null or "" opens hKey itself
// again. Only REG_OPTION_NON_VOLATILE is supported. A hive made read-only refuses any access that writes
// (KEY_SET_VALUE, KEY_CREATE_SUB_KEY, KEY_CREATE_LINK, DELETE, WRITE_DAC, WRITE_OWNER) and the creation of
// a key: ERROR_ACCESS_DENIED. *phkResult receives the new handle, or null on failure; *lpdwDisposition
// (may be null) REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                            REGSAM samDesired, SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                            LPDWORD lpdwDisposition);
// Opens an existing key (ERROR_FILE_NOT_FOUND when it does not exist), with the same access rules.
LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Sets a value (null or "" names the key's default value) of type REG_SZ to the cbData bytes at lpData, as
// given: the terminating zero is the caller's to include. Needs KEY_SET_VALUE.
LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                           DWORD cbData);
// Reads a value: its type into *lpType, its bytes into lpData. *lpcbData holds the buffer's size and
// receives the value's size. A null lpData asks for the size only; a buffer too small gives
// ERROR_MORE_DATA with the size needed, and its contents unchanged. A missing value: ERROR_FILE_NOT_FOUND.
// lpReserved must be null. Needs KEY_QUERY_VALUE.
LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData);
// Closes an open key; its handle number is never handed out again. A hive handle stays open.
LONG WINAPI RegCloseKey(HKEY hKey);

// --- Stand-in extensions ---

// The file that holds the registry (null or "": kept in memory only). What the registry held before is
// forgotten, every open key is closed, and the file is read at the next registry call. Without a call, the
// file named by the environment variable WAKEWEAVE_REGISTRY is used, if it is set. Each change rewrites the
// file whole (a temporary file renamed over it). A damaged file is reported once on stderr, moved aside to
// "<path>.damaged", and the registry starts empty.
void Win32SetRegistryFile(const char* path);
// While on, the hive (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER) is read-only for keys opened from then on,
// as for a user without administrator rights. FALSE with ERROR_INVALID_HANDLE for any other handle.
BOOL Win32SetHiveReadOnly(HKEY hive, BOOL readOnly);
// The number of keys open (hive handles not counted): a key left open is a leaked handle.
int Win32OpenRegistryKeyCount(void);
// An empty registry, kept in memory only, with both hives writable and every open key closed.
void Win32ResetRegistry(void);
}
