// Threads and waits: a handle is signalled only once the routine has returned, closing it early is safe,
// and the failure switches do what tests rely on.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Holds a routine back until the test lets it go; records that it ran and on which thread.
struct Latch {
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  DWORD threadId = 0;  // written by the routine, read after the wait
  int work = 0;        // likewise: plain data the wait must hand over

  void release() {
    std::lock_guard<std::mutex> guard(mutex);
    released = true;
    cv.notify_all();
  }
  static DWORD WINAPI Routine(LPVOID p) {
    auto* latch = static_cast<Latch*>(p);
    latch->threadId = GetCurrentThreadId();
    latch->started = true;
    std::unique_lock<std::mutex> lock(latch->mutex);
    latch->cv.wait(lock, [&] { return latch->released; });
    lock.unlock();
    latch->work = 42;
    latch->finished = true;
    return 7;
  }
};

// Releases the latch however the test leaves, so that no thread outlives its latch.
struct ReleaseAtEnd {
  Latch& latch;
  HANDLE thread;
  ~ReleaseAtEnd() {
    latch.release();
    while (!latch.finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (thread) CloseHandle(thread);
  }
};

TEST(Threads, HandleIsSignalledOnlyAfterTheRoutineReturns) {
  Latch latch;
  const int runningBefore = Win32RunningThreadCount();
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, Latch::Routine, &latch, 0, &id);
  ASSERT_NE(thread, nullptr);
  ReleaseAtEnd guard{latch, thread};
  EXPECT_NE(id, 0u);
  EXPECT_EQ(Win32RunningThreadCount(), runningBefore + 1);

  EXPECT_EQ(WaitForSingleObject(thread, 20), DWORD(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_TIMEOUT));
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  EXPECT_FALSE(latch.finished);

  latch.release();
  ASSERT_EQ(WaitForSingleObject(thread, 5000), DWORD(WAIT_OBJECT_0));
  // What the routine did is there to read once the wait says it ended.
  EXPECT_EQ(latch.work, 42);
  EXPECT_EQ(latch.threadId, id) << "CreateThread reported another thread's id";
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(Win32RunningThreadCount(), runningBefore);
  // Signalled for good.
  EXPECT_EQ(WaitForSingleObject(thread, 0), DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), DWORD(WAIT_OBJECT_0));
}

TEST(Threads, InfiniteWaitReturnsWhenTheRoutineDoes) {
  Latch latch;
  HANDLE thread = CreateThread(nullptr, 0, Latch::Routine, &latch, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ReleaseAtEnd guard{latch, thread};
  std::thread releaser([&] {
    while (!latch.started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    latch.release();
  });
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), DWORD(WAIT_OBJECT_0));
  EXPECT_TRUE(latch.finished);
  releaser.join();
}

TEST(Threads, ClosingTheHandleOfARunningThreadLetsItRunOn) {
  Latch latch;
  const int runningBefore = Win32RunningThreadCount();
  HANDLE thread = CreateThread(nullptr, 0, Latch::Routine, &latch, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  ReleaseAtEnd guard{latch, nullptr};

  // The handle is gone: every use of it is reported, none reaches the thread.
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(thread));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  EXPECT_EQ(Win32RunningThreadCount(), runningBefore + 1) << "closing the handle stopped the thread";
  latch.release();
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  while (Win32RunningThreadCount() != runningBefore && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(latch.finished);
  EXPECT_EQ(Win32RunningThreadCount(), runningBefore);
}

TEST(Threads, HandlesAreNeverReusedAndForeignHandlesAreReported) {
  auto quick = [](LPVOID) -> DWORD { return 0; };
  HANDLE first = CreateThread(nullptr, 0, quick, nullptr, 0, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(WaitForSingleObject(first, INFINITE), DWORD(WAIT_OBJECT_0));
  EXPECT_TRUE(CloseHandle(first));
  HANDLE second = CreateThread(nullptr, 0, quick, nullptr, 0, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_FAILED) << "a closed handle reached a new thread";
  WaitForSingleObject(second, INFINITE);
  CloseHandle(second);

  int notAHandle = 0;
  EXPECT_EQ(WaitForSingleObject(&notAHandle, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(nullptr));
  HWND window = Win32CreateMainWindow("Not a kernel object");
  EXPECT_FALSE(CloseHandle(window));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(IsWindow(window));
  DestroyWindow(window);
}

TEST(Threads, RefusedRequests) {
  auto quick = [](LPVOID) -> DWORD { return 0; };
  EXPECT_EQ(CreateThread(nullptr, 0, quick, nullptr, CREATE_SUSPENDED, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(Threads, CreationFailsWhileSwitchedOnWithoutRunningTheRoutine) {
  static std::atomic<int> runs{0};
  auto counted = [](LPVOID) -> DWORD {
    ++runs;
    return 0;
  };
  runs = 0;
  const int runningBefore = Win32RunningThreadCount();
  Win32SetThreadCreationFails(TRUE);
  SetLastError(0);
  DWORD id = 12345;
  HANDLE failed = CreateThread(nullptr, 0, counted, nullptr, 0, &id);
  const DWORD error = GetLastError();
  Win32SetThreadCreationFails(FALSE);
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(error, DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(id, 12345u) << "a thread id for a thread that does not exist";
  EXPECT_EQ(Win32RunningThreadCount(), runningBefore);

  HANDLE ok = CreateThread(nullptr, 0, counted, nullptr, 0, nullptr);
  ASSERT_NE(ok, nullptr) << "the switch stayed on";
  WaitForSingleObject(ok, INFINITE);
  CloseHandle(ok);
  EXPECT_EQ(runs.load(), 1);
}

TEST(Threads, WaitsTimeOutAtOnceWhileSwitchedOnButInfiniteStillWaits) {
  Latch latch;
  HANDLE thread = CreateThread(nullptr, 0, Latch::Routine, &latch, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ReleaseAtEnd guard{latch, thread};
  Win32SetWaitsTimeOutAtOnce(TRUE);
  const Clock::time_point start = Clock::now();
  const DWORD finite = WaitForSingleObject(thread, 10000);
  const auto took = Clock::now() - start;
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    latch.release();
  });
  const DWORD infinite = WaitForSingleObject(thread, INFINITE);
  // An ended thread is signalled whatever the switch says.
  const DWORD afterEnd = WaitForSingleObject(thread, 10000);
  Win32SetWaitsTimeOutAtOnce(FALSE);
  releaser.join();
  EXPECT_EQ(finite, DWORD(WAIT_TIMEOUT));
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(infinite, DWORD(WAIT_OBJECT_0));
  EXPECT_EQ(afterEnd, DWORD(WAIT_OBJECT_0));
}

TEST(Threads, ManyThreadsAtOnceEachSignalledWhenDone) {
  constexpr int kThreads = 8;
  static std::atomic<int> sum{0};
  sum = 0;
  auto add = [](LPVOID p) -> DWORD {
    const int n = static_cast<int>(reinterpret_cast<intptr_t>(p));
    sum += n;
    return static_cast<DWORD>(n);
  };
  std::vector<HANDLE> threads;
  for (int i = 1; i <= kThreads; ++i)
    threads.push_back(CreateThread(nullptr, 0, add, reinterpret_cast<LPVOID>(intptr_t(i)), 0, nullptr));
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_NE(threads[i], nullptr);
    ASSERT_EQ(WaitForSingleObject(threads[i], INFINITE), DWORD(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeThread(threads[i], &code);
    EXPECT_EQ(code, DWORD(i + 1));
    CloseHandle(threads[i]);
  }
  EXPECT_EQ(sum.load(), kThreads * (kThreads + 1) / 2);
}

}  // namespace
