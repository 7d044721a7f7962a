// Critical sections across threads, thread ids, Sleep and debugger output.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Waits until pred holds or the deadline passes; returns whether it held.
template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = Clock::now() + limit;
  while (!pred()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class CriticalSection : public ::testing::Test {
 protected:
  void SetUp() override { InitializeCriticalSection(&cs); }
  void TearDown() override { DeleteCriticalSection(&cs); }
  CRITICAL_SECTION cs{};
};

TEST_F(CriticalSection, OwnerMayEnterRecursivelyAndHoldsUntilLastLeave) {
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));

  auto otherCanEnter = [&] {
    BOOL entered = FALSE;
    std::thread other([&] {
      entered = TryEnterCriticalSection(&cs);
      if (entered) LeaveCriticalSection(&cs);
    });
    other.join();
    return entered;
  };

  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  EXPECT_FALSE(otherCanEnter()) << "released before the last Leave";
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(otherCanEnter());
}

TEST_F(CriticalSection, SecondThreadBlocksUntilOwnerLeaves) {
  EnterCriticalSection(&cs);
  std::atomic<bool> started{false};
  std::atomic<bool> entered{false};
  std::thread other([&] {
    started = true;
    EnterCriticalSection(&cs);
    entered = true;
    LeaveCriticalSection(&cs);
  });
  ASSERT_TRUE(waitFor([&] { return started.load(); }));
  // Give the other thread a fair chance to (wrongly) get in.
  EXPECT_FALSE(waitFor([&] { return entered.load(); }, std::chrono::milliseconds(50)));
  LeaveCriticalSection(&cs);
  EXPECT_TRUE(waitFor([&] { return entered.load(); }));
  other.join();
}

TEST_F(CriticalSection, TryEnterFromAnotherThreadFailsWhileHeld) {
  EnterCriticalSection(&cs);
  std::atomic<int> result{-1};
  std::thread([&] { result = TryEnterCriticalSection(&cs); }).join();
  EXPECT_EQ(result.load(), FALSE);
  LeaveCriticalSection(&cs);
}

TEST_F(CriticalSection, LeaveByNonOwnerDoesNotReleaseIt) {
  EnterCriticalSection(&cs);
  std::thread([&] { LeaveCriticalSection(&cs); }).join();
  std::atomic<int> result{-1};
  std::thread([&] { result = TryEnterCriticalSection(&cs); }).join();
  EXPECT_EQ(result.load(), FALSE);
  LeaveCriticalSection(&cs);
}

TEST_F(CriticalSection, ExcludesConcurrentWriters) {
  // Unprotected read-modify-write steps with a yield in between lose updates
  // unless the section really excludes.
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        EnterCriticalSection(&cs);
        EnterCriticalSection(&cs);  // recursion inside must not open it up
        long seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
        LeaveCriticalSection(&cs);
        LeaveCriticalSection(&cs);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, kThreads * kRounds);
}

TEST_F(CriticalSection, DeleteReleasesTheLockObject) {
  CRITICAL_SECTION other{};
  EXPECT_TRUE(InitializeCriticalSectionAndSpinCount(&other, 4000));
  EXPECT_NE(other.LockObject, nullptr);
  EXPECT_TRUE(TryEnterCriticalSection(&other));
  LeaveCriticalSection(&other);
  DeleteCriticalSection(&other);
  EXPECT_EQ(other.LockObject, nullptr);
}

TEST(Threads, IdsAreNonZeroStableAndDistinct) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(GetCurrentThreadId(), mine);
  std::vector<DWORD> ids(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { ids[i] = GetCurrentThreadId(); });
  for (auto& t : threads) t.join();
  std::set<DWORD> unique(ids.begin(), ids.end());
  unique.insert(mine);
  EXPECT_EQ(unique.size(), 5u);
  EXPECT_EQ(unique.count(0), 0u);
}

TEST(Threads, LastErrorIsPerThread) {
  SetLastError(1234);
  DWORD seenByOther = 99;
  std::thread other([&] {
    seenByOther = GetLastError();
    SetLastError(5);
  });
  other.join();
  EXPECT_EQ(seenByOther, 0u);
  EXPECT_EQ(GetLastError(), 1234u);
}

TEST(Threads, SleepWaitsAtLeastTheGivenTime) {
  const auto start = Clock::now();
  Sleep(20);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(20));
  Sleep(0);  // yields and returns
}

TEST(DebugOutput, GoesToStderrOnlyWhenAskedFor) {
  ::unsetenv("WIN32_DEBUG");
  ::testing::internal::CaptureStderr();
  OutputDebugStringA("quiet line\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  ::setenv("WIN32_DEBUG", "0", 1);
  ::testing::internal::CaptureStderr();
  OutputDebugStringA("still quiet\n");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  ::setenv("WIN32_DEBUG", "1", 1);
  ::testing::internal::CaptureStderr();
  OutputDebugStringA("loud line\n");
  OutputDebugStringA(nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "loud line\n");
  ::unsetenv("WIN32_DEBUG");
}

}  // namespace
