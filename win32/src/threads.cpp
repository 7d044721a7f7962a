// Threads and waits on them. A thread runs detached on a std::thread; its handle refers to a control block
// that the thread shares, so closing the handle while the thread runs is safe, and a wait sees the routine's
// return through the block.
#include "win32/threads.h"

#include "internal.h"
#include "win32/errors.h"
#include "win32/sync.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

struct ThreadBlock {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  DWORD exitCode = STILL_ACTIVE;
};

// Kernel handles are numbers handed out once: a closed handle never comes back as another object, so a
// stale one is always reported. They sit far from window handles, which are numbered apart.
struct HandleTable {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<ThreadBlock>> threads;
  uintptr_t next = 0x40000004;
};

// Never destroyed: detached threads may still end while the process exits.
HandleTable& handles() {
  static HandleTable* table = new HandleTable;
  return *table;
}

std::atomic<bool> g_threadCreationFails{false};
std::atomic<bool> g_waitsTimeOutAtOnce{false};
std::atomic<int> g_runningThreads{0};

std::shared_ptr<ThreadBlock> findThread(HANDLE h) {
  HandleTable& table = handles();
  std::lock_guard<std::mutex> guard(table.mutex);
  auto it = table.threads.find(reinterpret_cast<uintptr_t>(h));
  if (it == table.threads.end()) return nullptr;
  return it->second;
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress || (dwCreationFlags & CREATE_SUSPENDED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (g_threadCreationFails.load()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto block = std::make_shared<ThreadBlock>();
  const DWORD threadId = win32_internal::NewThreadId();
  // Counted before the thread exists, so that a caller never sees its own new thread missing.
  g_runningThreads.fetch_add(1);
  try {
    std::thread([block, lpStartAddress, lpParameter, threadId] {
      win32_internal::AdoptThreadId(threadId);
      const DWORD code = lpStartAddress(lpParameter);
      // No longer running by the time a waiter wakes.
      g_runningThreads.fetch_sub(1);
      std::lock_guard<std::mutex> guard(block->mutex);
      block->done = true;
      block->exitCode = code;
      block->ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    g_runningThreads.fetch_sub(1);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpThreadId) *lpThreadId = threadId;
  HandleTable& table = handles();
  std::lock_guard<std::mutex> guard(table.mutex);
  const uintptr_t handle = table.next;
  table.next += 4;
  table.threads.emplace(handle, std::move(block));
  return reinterpret_cast<HANDLE>(handle);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  std::shared_ptr<ThreadBlock> block = findThread(hHandle);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> lock(block->mutex);
  auto done = [&] { return block->done; };
  if (dwMilliseconds == INFINITE) {
    block->ended.wait(lock, done);
    return WAIT_OBJECT_0;
  }
  if (!block->done && g_waitsTimeOutAtOnce.load()) return WAIT_TIMEOUT;
  return block->ended.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), done) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  std::shared_ptr<ThreadBlock> block = findThread(hThread);
  if (!block) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpExitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(block->mutex);
  *lpExitCode = block->exitCode;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  HandleTable& table = handles();
  std::lock_guard<std::mutex> guard(table.mutex);
  if (table.threads.erase(reinterpret_cast<uintptr_t>(hObject)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

void Win32SetThreadCreationFails(BOOL fails) { g_threadCreationFails.store(fails != FALSE); }

void Win32SetWaitsTimeOutAtOnce(BOOL atOnce) { g_waitsTimeOutAtOnce.store(atOnce != FALSE); }

int Win32RunningThreadCount(void) { return g_runningThreads.load(); }

}  // extern "C"
