// The collector: what a collection of the innermost allocation frame frees and keeps.
#include "script_fixture.h"

#include <algorithm>
#include <thread>

namespace {

// Links a frame of protected slots into the calling thread's chain for the lifetime of the object.
class Protect {
 public:
  Protect(Value** slots, int count) {
    frame_.prev = thread_locals()->locals;
    frame_.slots = slots;
    frame_.count = count;
    thread_locals()->locals = &frame_;
  }
  ~Protect() { thread_locals()->locals = frame_.prev; }

 private:
  ScriptLocalFrame frame_;
};

class Collector : public ::testing::Test {
 protected:
  void SetUp() override {
    init_thread_locals();
    ASSERT_EQ(thread_locals()->alloc_depth, 0);
    ASSERT_EQ(live_value_count(), 0u);
  }
  void TearDown() override {
    EXPECT_EQ(thread_locals()->alloc_depth, 0);
    EXPECT_EQ(live_value_count(), 0u);
  }
};

TEST_F(Collector, PopFreesWhatTheFrameMade) {
  push_alloc_frame();
  for (int i = 0; i < 10; ++i) Integer::heap_new(i);
  Point3Value::heap_new(Point3(1, 2, 3));
  EXPECT_EQ(live_value_count(), 11u);
  pop_alloc_frame();
  EXPECT_EQ(live_value_count(), 0u);
}

TEST_F(Collector, AMillionValuesKeepTheLiveSetSmallAndSlotsIntact) {
  push_alloc_frame();
  Value* slots[3] = {};
  Protect p(slots, 3);
  slots[0] = Integer::heap_new(11);
  slots[1] = Point3Value::heap_new(Point3(4, 5, 6));
  slots[2] = Integer::intern(1);
  size_t most = 0;
  for (int i = 0; i < 1000000; ++i) {
    // Two values per step, as a recording makes per particle and frame; each is read before the next.
    Value* age = Integer::heap_new(i);
    ASSERT_EQ(age->to_int(), i);
    Value* pos = Point3Value::heap_new(Point3(float(i), 0.0f, 0.0f));
    ASSERT_EQ(pos->to_point3().x, float(i));
    most = std::max(most, live_value_count());
  }
  // A few thousand at most: a collector that ran only at pop would hold two million.
  EXPECT_LE(most, 10000u);
  EXPECT_GT(most, 2u);
  EXPECT_EQ(slots[0]->to_int(), 11);
  EXPECT_EQ(slots[1]->to_point3(), Point3(4, 5, 6));
  EXPECT_EQ(slots[2], Integer::intern(1));
  EXPECT_EQ(slots[2]->to_int(), 1);
  slots[0] = slots[1] = nullptr;
  pop_alloc_frame();
}

TEST_F(Collector, EverySlotOfTheChainIsKept) {
  push_alloc_frame();
  Value* outer[2] = {};
  Protect po(outer, 2);
  Value* inner[4] = {};
  Protect pi(inner, 4);
  // A frame without slots in the chain is passed over.
  Protect empty(nullptr, 5);
  outer[1] = Integer::heap_new(-1);
  inner[0] = Integer::heap_new(-2);
  inner[3] = Integer::heap_new(-3);
  inner[2] = inner[0];  // held twice, kept once
  for (int i = 0; i < 20000; ++i) Integer::heap_new(i);
  EXPECT_EQ(outer[1]->to_int(), -1);
  EXPECT_EQ(inner[0]->to_int(), -2);
  EXPECT_EQ(inner[3]->to_int(), -3);
  // Of the last round only what came after its collection is left, besides the three held values.
  EXPECT_LE(live_value_count(), 3u + 4096u);
  pop_alloc_frame();
  // Still held: they outlive the frame.
  EXPECT_EQ(live_value_count(), 3u);
  EXPECT_EQ(inner[3]->to_int(), -3);
  outer[1] = inner[0] = inner[2] = inner[3] = nullptr;
  // Let go, they are reclaimed when the thread next leaves its outermost frame.
  push_alloc_frame();
  pop_alloc_frame();
}

TEST_F(Collector, InnerCollectionsLeaveOuterFramesAlone) {
  push_alloc_frame();
  std::vector<Value*> outer;
  for (int i = 0; i < 5; ++i) outer.push_back(Integer::heap_new(100 + i));  // held by nobody
  push_alloc_frame();
  EXPECT_EQ(thread_locals()->alloc_depth, 2);
  for (int i = 0; i < 50000; ++i) Integer::heap_new(i);  // many automatic collections
  for (int i = 0; i < 5; ++i) EXPECT_EQ(outer[size_t(i)]->to_int(), 100 + i);
  pop_alloc_frame();
  EXPECT_EQ(live_value_count(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(outer[size_t(i)]->to_int(), 100 + i);
  pop_alloc_frame();
}

TEST_F(Collector, HeldValueOfAnInnerFrameMovesOutAndGoesOnceLetGo) {
  push_alloc_frame();
  Value* slot[1] = {};
  Protect p(slot, 1);
  push_alloc_frame();
  slot[0] = Integer::heap_new(77);
  Integer::heap_new(78);
  pop_alloc_frame();
  EXPECT_EQ(live_value_count(), 1u);
  EXPECT_EQ(slot[0]->to_int(), 77);
  // Now the outer frame's: its own collections keep it while held, and free it once it is not.
  for (int i = 0; i < 10000; ++i) Integer::heap_new(i);
  EXPECT_EQ(slot[0]->to_int(), 77);
  slot[0] = nullptr;
  pop_alloc_frame();
}

TEST_F(Collector, ThreadsCollectOnlyTheirOwnValues) {
  push_alloc_frame();
  Value* mine = Integer::heap_new(5);
  Value* slot[1] = {mine};
  Protect p(slot, 1);
  size_t workerMost = 0, workerEnd = 0;
  std::thread worker([&] {
    init_thread_locals();
    EXPECT_EQ(live_value_count(), 0u);
    push_alloc_frame();
    for (int i = 0; i < 30000; ++i) {
      Integer::heap_new(i);
      workerMost = std::max(workerMost, live_value_count());
    }
    workerEnd = live_value_count();
    // Left without popping: the thread's end frees what it still holds.
  });
  worker.join();
  EXPECT_LE(workerMost, 10000u);
  EXPECT_GT(workerEnd, 0u);
  EXPECT_EQ(live_value_count(), 1u);
  EXPECT_EQ(mine->to_int(), 5);
  slot[0] = nullptr;
  pop_alloc_frame();
}

}  // namespace
