// Critical sections, thread ids and Sleep.
#include "win32/sync.h"

#include "internal.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// A plain mutex plus the owner's id: recursion is counted by the owner itself,
// so only the first Enter and the last Leave touch the mutex.
struct CriticalSectionLock {
  std::mutex mutex;
  std::atomic<DWORD> owner{0};  // 0 = free; only the owner ever stores its own id
  LONG recursion = 0;           // read and written by the owner only
};

// Windows thread ids are non-zero multiples of 4; keep that shape.
std::atomic<DWORD> g_nextThreadId{4};
thread_local DWORD t_threadId = 0;

CriticalSectionLock* lockOf(LPCRITICAL_SECTION cs, const char* operation) {
  if (!cs || !cs->LockObject) {
    // Windows would crash on an uninitialised section; say where instead.
    std::fprintf(stderr, "%s: critical section %p is not initialised\n", operation, static_cast<void*>(cs));
    std::abort();
  }
  return static_cast<CriticalSectionLock*>(cs->LockObject);
}

}  // namespace

DWORD win32_internal::NewThreadId() { return g_nextThreadId.fetch_add(4, std::memory_order_relaxed); }

void win32_internal::AdoptThreadId(DWORD id) { t_threadId = id; }

extern "C" {

DWORD WINAPI GetCurrentThreadId(void) {
  if (t_threadId == 0) t_threadId = win32_internal::NewThreadId();
  return t_threadId;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) {
    std::fprintf(stderr, "InitializeCriticalSection: null critical section\n");
    std::abort();
  }
  lpCriticalSection->LockObject = new CriticalSectionLock;
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD) {
  InitializeCriticalSection(lpCriticalSection);
  return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  CriticalSectionLock* lock = lockOf(lpCriticalSection, "EnterCriticalSection");
  const DWORD me = GetCurrentThreadId();
  if (lock->owner.load(std::memory_order_relaxed) == me) {
    ++lock->recursion;
    return;
  }
  lock->mutex.lock();
  lock->owner.store(me, std::memory_order_relaxed);
  lock->recursion = 1;
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  CriticalSectionLock* lock = lockOf(lpCriticalSection, "TryEnterCriticalSection");
  const DWORD me = GetCurrentThreadId();
  if (lock->owner.load(std::memory_order_relaxed) == me) {
    ++lock->recursion;
    return TRUE;
  }
  if (!lock->mutex.try_lock()) return FALSE;
  lock->owner.store(me, std::memory_order_relaxed);
  lock->recursion = 1;
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  CriticalSectionLock* lock = lockOf(lpCriticalSection, "LeaveCriticalSection");
  // Leaving a section this thread does not hold corrupts it on Windows; here it
  // is ignored, so that the real owner keeps it.
  if (lock->owner.load(std::memory_order_relaxed) != GetCurrentThreadId()) return;
  if (--lock->recursion > 0) return;
  lock->owner.store(0, std::memory_order_relaxed);
  lock->mutex.unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection || !lpCriticalSection->LockObject) return;
  delete static_cast<CriticalSectionLock*>(lpCriticalSection->LockObject);
  lpCriticalSection->LockObject = nullptr;
}

}  // extern "C"
