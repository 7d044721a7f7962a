// Documents "opened" with their program: the request is checked as the shell checks it, then recorded.
#include "win32/shell.h"

#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <string>

namespace {

struct Opened {
  std::mutex mutex;
  int count = 0;
  std::string last;
};

Opened& opened() {
  static Opened* o = new Opened;
  return *o;
}

// The shell's paths use backslashes; the machine's files use slashes.
std::string LocalPath(const char* path) {
  std::string p(path);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

INT_PTR Check(LPCSTR op, LPCSTR file) {
  if (op && std::strcmp(op, "open") != 0) return SE_ERR_NOASSOC;
  if (!file || !*file) return SE_ERR_FNF;
  const std::string local = LocalPath(file);
  struct stat st {};
  if (stat(local.c_str(), &st) == 0) return S_ISREG(st.st_mode) ? 33 : SE_ERR_NOASSOC;
  const size_t slash = local.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    struct stat dir {};
    if (stat(local.substr(0, slash).c_str(), &dir) != 0) return SE_ERR_PNF;
  }
  return SE_ERR_FNF;
}

}  // namespace

extern "C" {

HINSTANCE WINAPI ShellExecuteA(HWND, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR, LPCSTR, INT) {
  const INT_PTR result = Check(lpOperation, lpFile);
  if (result > 32) {
    Opened& o = opened();
    std::lock_guard<std::mutex> guard(o.mutex);
    ++o.count;
    o.last = lpFile;
  }
  return reinterpret_cast<HINSTANCE>(result);
}

int Win32OpenedDocumentCount(void) {
  Opened& o = opened();
  std::lock_guard<std::mutex> guard(o.mutex);
  return o.count;
}

const char* Win32LastOpenedDocument(void) {
  Opened& o = opened();
  std::lock_guard<std::mutex> guard(o.mutex);
  static thread_local std::string copy;
  copy = o.last;
  return copy.c_str();
}

void Win32ResetOpenedDocuments(void) {
  Opened& o = opened();
  std::lock_guard<std::mutex> guard(o.mutex);
  o.count = 0;
  o.last.clear();
}
}
