#pragma once
// Holds a critical section for the lifetime of the guard, also when an exception leaves the scope.
#include <windows.h>

class ScopeLock {
 public:
  explicit ScopeLock(CRITICAL_SECTION* cs);
  ~ScopeLock();
  ScopeLock(const ScopeLock&) = delete;
  ScopeLock& operator=(const ScopeLock&) = delete;

 private:
  CRITICAL_SECTION* m_cs;
};
