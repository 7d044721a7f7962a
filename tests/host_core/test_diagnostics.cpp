// Debug output, the assertion reporter and the host heap.
#include "assert_capture.h"
#include "debug_capture.h"
#include "maxheap.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(DebugPrint, CapturedLineByLine) {
  DebugCapture cap;
  DebugPrint("first %d\n", 1);
  DebugPrint("second %s %.2f\n", "line", 2.5);
  DebugPrint("third ");
  DebugPrint("in %d pieces\n", 2);
  DebugPrint("no end yet");
  EXPECT_EQ(cap.Lines(), (std::vector<std::string>{"first 1", "second line 2.50", "third in 2 pieces"}));
  EXPECT_EQ(cap.Unfinished(), "no end yet");
  EXPECT_EQ(cap.Calls(), 5);
}

TEST(DebugPrint, LongTextsArriveWholeInOneCall) {
  // Lengths around the usual fixed buffer sizes, where a two-pass formatter slips by one.
  for (size_t len : {0u, 1u, 255u, 510u, 511u, 512u, 513u, 1023u, 1024u, 4096u, 100000u}) {
    std::vector<std::string> got;
    DebugSink prev = SetDebugSink([&](const std::string& t) { got.push_back(t); });
    std::string body(len, 'x');
    for (size_t i = 0; i < len; i += 97) body[i] = char('a' + i % 26);
    DebugPrint("<%s|%d>", body.c_str(), 42);
    SetDebugSink(prev);
    ASSERT_EQ(got.size(), 1u) << len;
    EXPECT_EQ(got[0], "<" + body + "|42>") << len;
  }
}

TEST(DebugPrint, SinksNestAndSwapBack) {
  std::vector<std::string> outer, inner;
  DebugSink original = SetDebugSink([&](const std::string& t) { outer.push_back(t); });
  DebugPrint("a");
  DebugSink o = SetDebugSink([&](const std::string& t) { inner.push_back(t); });
  DebugPrint("b");
  SetDebugSink(o);
  DebugPrint("c");
  SetDebugSink(original);
  DebugPrint("d");  // back to whatever was there: neither capture sees it
  EXPECT_EQ(outer, (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(inner, (std::vector<std::string>{"b"}));
}

TEST(DebugPrint, EmptySinkDiscardsAndPreviousIsCallable) {
  std::vector<std::string> got;
  DebugSink original = SetDebugSink([&](const std::string& t) { got.push_back(t); });
  DebugSink mine = SetDebugSink(nullptr);
  DebugPrint("dropped\n");
  DebugSink discard = SetDebugSink(original);
  ASSERT_TRUE(bool(discard));
  discard("also dropped");  // the default sink must be callable, not an empty function
  mine("direct\n");
  EXPECT_EQ(got, (std::vector<std::string>{"direct\n"}));
}

TEST(DebugPrint, SinkMayPrintAndSwapFromInsideItself) {
  std::vector<std::string> got;
  DebugSink original;
  original = SetDebugSink([&](const std::string& t) {
    got.push_back(t);
    if (t == "outer") {
      DebugPrint("nested");
      SetDebugSink(original);  // replaces the running sink: must not destroy it under our feet
      got.push_back("still running");
    }
  });
  DebugPrint("outer");
  DebugPrint("after");  // goes to the original sink
  EXPECT_EQ(got, (std::vector<std::string>{"outer", "nested", "still running"}));
}

TEST(DebugPrint, ConcurrentPrintsAreSerialized) {
  // The sink keeps no lock of its own: the host must not call it from two threads at once.
  std::vector<std::string> got;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  DebugSink prev = SetDebugSink([&](const std::string& t) {
    if (inside.fetch_add(1) != 0) overlapped = true;
    got.push_back(t);
    inside.fetch_sub(1);
  });
  const int kThreads = 4, kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) DebugPrint("thread %d line %d\n", t, i);
    });
  for (auto& th : threads) th.join();
  SetDebugSink(prev);
  EXPECT_FALSE(overlapped);
  ASSERT_EQ(got.size(), size_t(kThreads * kEach));
  std::set<std::string> unique(got.begin(), got.end());
  EXPECT_EQ(unique.size(), got.size());
  EXPECT_EQ(unique.count("thread 3 line 499\n"), 1u);
}

// Assertion reports turned into exceptions for each case.
class AssertHandlerTest : public ::testing::Test {
 protected:
  ThrowingAsserts throwing_;
};

TEST_F(AssertHandlerTest, HandlerSeesLineFileAndExpression) {
  int x = 0;
  int expectedLine = __LINE__ + 2;
  try {
    DbgAssertSrc(x > 0, "trails.cpp");
    FAIL() << "assertion did not reach the handler";
  } catch (const AssertFailed& a) {
    EXPECT_EQ(a.line, expectedLine);
    EXPECT_EQ(a.file, "trails.cpp");
    EXPECT_EQ(a.expression, "x > 0");
  }
  try {
    DbgAssert(x == 1);
    FAIL();
  } catch (const AssertFailed& a) {
    EXPECT_EQ(a.file, __FILE__);
    EXPECT_EQ(a.expression, "x == 1");
  }
}

TEST_F(AssertHandlerTest, PassingAssertionDoesNotCallHandler) {
  int x = 1;
  EXPECT_NO_THROW(DbgAssert(x == 1));
}

TEST(AssertHandler, RecordingHandlerReturnsAndIsRestored) {
  std::vector<int> lines;
  AssertHandler original = SetAssertHandler([&](int line, const char*, const char*) { lines.push_back(line); });
  assert1(7, "a.cpp", "a");
  AssertHandler inner = SetAssertHandler([&](int line, const char*, const char*) { lines.push_back(-line); });
  assert1(8, "b.cpp", "b");
  SetAssertHandler(inner);
  assert1(9, "c.cpp", "c");
  AssertHandler mine = SetAssertHandler(original);
  mine(10, "d.cpp", "d");
  EXPECT_EQ(lines, (std::vector<int>{7, -8, 9, 10}));
}

TEST(AssertHandlerDeathTest, DefaultPrintsAndAborts) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(assert1(123, "modifier.cpp", "count >= 0"),
               "Assertion failed: count >= 0, file modifier\\.cpp, line 123");
}

TEST(AssertHandlerDeathTest, EmptyHandlerRestoresDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  AssertHandler prev = SetAssertHandler([](int, const char*, const char*) {});
  AssertHandler recorder = SetAssertHandler(nullptr);
  EXPECT_DEATH(assert1(5, "x.cpp", "y"), "Assertion failed: y, file x\\.cpp, line 5");
  // The default handler handed back by SetAssertHandler aborts too.
  AssertHandler def = SetAssertHandler(prev);
  EXPECT_DEATH(def(6, "z.cpp", "w"), "Assertion failed: w, file z\\.cpp, line 6");
  SetAssertHandler(prev);
}

struct Counted : MaxHeapOperators {
  int payload[4] = {};
};

TEST(MaxHeap, LiveCountFollowsAllocations) {
  long base = MAX_heapLiveCount();
  void* a = MAX_malloc(16);
  void* b = MAX_malloc(0);
  void* c = MAX_malloc(0);
  ASSERT_TRUE(a && b && c);
  EXPECT_NE(b, c);  // zero-size blocks are still distinct, freeable blocks
  EXPECT_EQ(MAX_heapLiveCount(), base + 3);
  MAX_free(nullptr);
  EXPECT_EQ(MAX_heapLiveCount(), base + 3);
  MAX_free(a);
  MAX_free(b);
  MAX_free(c);
  EXPECT_EQ(MAX_heapLiveCount(), base);

  Counted* one = new Counted;
  Counted* many = new Counted[3];
  EXPECT_EQ(MAX_heapLiveCount(), base + 2);
  delete one;
  delete[] many;
  EXPECT_EQ(MAX_heapLiveCount(), base);
}

TEST(MaxHeap, CountStaysExactUnderConcurrency) {
  long base = MAX_heapLiveCount();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      std::vector<void*> keep;
      for (int i = 0; i < 2000; ++i) {
        keep.push_back(MAX_malloc(size_t(i % 64)));
        if (i % 2) {
          MAX_free(keep.back());
          keep.pop_back();
        }
      }
      for (void* p : keep) MAX_free(p);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(MAX_heapLiveCount(), base);
}

}  // namespace
