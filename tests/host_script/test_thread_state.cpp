// The per-thread state: setting a thread up, allocation frames, misuse reported through the assertion
// handler, and the time context of each thread.
#include "iface.h"
#include "script_fixture.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

TEST(ScriptThread, SetUpOnceAndFramesNest) {
  std::thread([] {
    init_thread_locals();
    ScriptThreadLocals* tl = thread_locals();
    EXPECT_TRUE(tl->initialised);
    EXPECT_EQ(tl->use_time_context, FALSE);
    EXPECT_EQ(tl->locals, nullptr);
    tl->use_time_context = TRUE;
    tl->current_time = 480;
    push_alloc_frame();
    // Setting up again changes nothing the thread has set.
    init_thread_locals();
    EXPECT_EQ(thread_locals(), tl);
    EXPECT_EQ(tl->use_time_context, TRUE);
    EXPECT_EQ(tl->current_time, 480);
    EXPECT_EQ(tl->alloc_depth, 1);
    push_alloc_frame();
    EXPECT_EQ(tl->alloc_depth, 2);
    pop_alloc_frame();
    EXPECT_EQ(tl->alloc_depth, 1);
    pop_alloc_frame();
    EXPECT_EQ(tl->alloc_depth, 0);
  }).join();
}

TEST(ScriptThread, UninitialisedThreadIsReported) {
  AssertCapture asserts;
  std::thread([&] {
    ScriptThreadLocals* tl = thread_locals();
    ASSERT_NE(tl, nullptr);  // still answered: the report is the caller's to act on
    EXPECT_FALSE(tl->initialised);
    EXPECT_EQ(asserts.Expressions(), std::vector<std::string>{"initialised"});
    push_alloc_frame();
    EXPECT_EQ(asserts.Count(), 2u);
    // The value is still made and read, and goes with the thread.
    EXPECT_EQ(Integer::heap_new(3)->to_int(), 3);
    EXPECT_EQ(asserts.Count(), 3u);
    EXPECT_EQ(live_value_count(), 1u);
    init_thread_locals();
    pop_alloc_frame();
    EXPECT_EQ(asserts.Count(), 3u);
    EXPECT_EQ(live_value_count(), 0u);
  }).join();
  for (const std::string& r : asserts.Expressions()) EXPECT_EQ(r, "initialised");
}

TEST(ScriptThread, PopWithoutPushIsReportedAndChangesNothing) {
  AssertCapture asserts;
  init_thread_locals();
  ASSERT_EQ(thread_locals()->alloc_depth, 0);
  pop_alloc_frame();
  EXPECT_EQ(asserts.Expressions(), std::vector<std::string>{"alloc_frame_pushed"});
  EXPECT_EQ(thread_locals()->alloc_depth, 0);
  push_alloc_frame();
  Value* v = Integer::heap_new(9);
  pop_alloc_frame();
  pop_alloc_frame();
  EXPECT_EQ(asserts.Count(), 2u);
  EXPECT_EQ(thread_locals()->alloc_depth, 0);
  EXPECT_EQ(live_value_count(), 0u);
  (void)v;
}

TEST(ScriptThread, ValueOutsideAFrameIsReportedAndHeldUntilTheNextOutermostPop) {
  init_thread_locals();
  ASSERT_EQ(live_value_count(), 0u);
  {
    AssertCapture asserts;
    Value* v = Integer::heap_new(12);
    EXPECT_EQ(asserts.Expressions(), std::vector<std::string>{"in_alloc_frame"});
    EXPECT_EQ(v->to_int(), 12);
    EXPECT_EQ(live_value_count(), 1u);
  }
  push_alloc_frame();
  EXPECT_EQ(live_value_count(), 1u);
  pop_alloc_frame();
  EXPECT_EQ(live_value_count(), 0u);
}

TEST(ScriptThread, ThrowingHandlerLeavesNoValueBehind) {
  init_thread_locals();
  ThrowingAsserts throwing;
  EXPECT_THROW(Integer::heap_new(1), AssertFailed);
  EXPECT_THROW(Point3Value::heap_new(Point3(1, 1, 1)), AssertFailed);
  EXPECT_THROW(pop_alloc_frame(), AssertFailed);
  EXPECT_EQ(live_value_count(), 0u);  // and the leak check of the sanitizer lane sees none lost
  EXPECT_EQ(thread_locals()->alloc_depth, 0);
}

TEST(ScriptThread, TimeContextIsEachThreadsOwnAndLeavesTheSceneTime) {
  GetCOREInterface()->SetTime(3200);
  init_thread_locals();
  ScriptThreadLocals* mainTl = thread_locals();
  mainTl->use_time_context = FALSE;
  mainTl->current_time = 0;
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  TimeValue seen[2] = {};
  BOOL seenUse[2] = {};
  std::vector<std::thread> threads;
  for (int k = 0; k < 2; ++k)
    threads.emplace_back([&, k] {
      init_thread_locals();
      ScriptThreadLocals* tl = thread_locals();
      EXPECT_EQ(tl->use_time_context, FALSE);  // a new thread starts without a context
      tl->use_time_context = TRUE;
      tl->current_time = 160 * (k + 1);
      ++ready;
      while (!go) std::this_thread::yield();
      // Both threads have set their contexts by now: each still sees its own.
      seen[k] = thread_locals()->current_time;
      seenUse[k] = thread_locals()->use_time_context;
    });
  while (ready < 2) std::this_thread::yield();
  EXPECT_EQ(mainTl->use_time_context, FALSE);
  EXPECT_EQ(mainTl->current_time, 0);
  EXPECT_EQ(GetCOREInterface()->GetTime(), 3200);
  go = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(seen[0], 160);
  EXPECT_EQ(seen[1], 320);
  EXPECT_EQ(seenUse[0], TRUE);
  EXPECT_EQ(seenUse[1], TRUE);
  EXPECT_EQ(GetCOREInterface()->GetTime(), 3200);
  GetCOREInterface()->SetTime(0);
}

}  // namespace
