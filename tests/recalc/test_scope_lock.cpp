// The scope lock: its debug lines, release on every way out, re-entry, exclusion of other threads and
// misuse.
#include <gtest/gtest.h>

#include <max.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "plugin_fixture.h"
#include "recalc/ScopeLock.h"
#include "recalc_support.h"

namespace {

const std::string kEnter = "ScopeLock::EnterCriticalSection()\n";
const std::string kLeave = "ScopeLock::LeaveCriticalSection()\n";

// Derived from the scene fixture for its LockIsFree probe.
class ScopeLockTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    InitializeCriticalSection(&cs);
  }
  void TearDown() override {
    DeleteCriticalSection(&cs);
    SceneTest::TearDown();
  }
  CRITICAL_SECTION cs;
};

void Guarded(CRITICAL_SECTION* cs, bool fail) {
  ScopeLock lock(cs);
  if (fail) throw std::runtime_error("inside the guarded scope");
}

}  // namespace

TEST_F(ScopeLockTest, WritesEnterThenLeaveAndHoldsInBetween) {
  DebugCapture debug;
  {
    ScopeLock lock(&cs);
    EXPECT_EQ(debug.lines, std::vector<std::string>{kEnter});
    EXPECT_FALSE(LockIsFree(&cs));
  }
  EXPECT_EQ(debug.lines, (std::vector<std::string>{kEnter, kLeave}));
  EXPECT_TRUE(LockIsFree(&cs));
}

TEST_F(ScopeLockTest, AnExceptionLeavesTheLockFree) {
  DebugCapture debug;
  EXPECT_THROW(Guarded(&cs, true), std::runtime_error);
  EXPECT_TRUE(LockIsFree(&cs));
  EXPECT_EQ(debug.lines, (std::vector<std::string>{kEnter, kLeave}));
  // And it can be taken again normally.
  Guarded(&cs, false);
  EXPECT_TRUE(LockIsFree(&cs));
}

TEST_F(ScopeLockTest, TheOwningThreadReenters) {
  DebugCapture debug;
  {
    ScopeLock outer(&cs);
    {
      ScopeLock inner(&cs);  // would deadlock if the lock were not recursive
      EXPECT_FALSE(LockIsFree(&cs));
    }
    EXPECT_FALSE(LockIsFree(&cs)) << "the outer guard still holds it";
  }
  EXPECT_TRUE(LockIsFree(&cs));
  EXPECT_EQ(debug.lines, (std::vector<std::string>{kEnter, kEnter, kLeave, kLeave}));
}

TEST_F(ScopeLockTest, AnotherThreadWaitsUntilTheLockIsReleased) {
  std::atomic<bool> entered{false};
  std::promise<void> starting;
  std::future<void> started = starting.get_future();
  std::thread other;
  {
    ScopeLock held(&cs);
    other = std::thread([&] {
      starting.set_value();
      ScopeLock lock(&cs);
      entered = true;
    });
    ASSERT_EQ(started.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    // Give the other thread ample time to get past the lock if it could.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!entered.load() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_TRUE(entered.load());
  other.join();
  EXPECT_TRUE(LockIsFree(&cs));
}

TEST(ScopeLockMisuse, NullIsReportedThroughTheAssertionHandler) {
  AssertCapture asserts;
  { ScopeLock lock(nullptr); }
  ASSERT_EQ(asserts.Count(), 2u) << "once on entry, once on exit";
  for (const auto& e : asserts.Entries()) {
    EXPECT_EQ(e.file, "ScopeLock");
    EXPECT_EQ(e.expression, "m_cs != NULL");
  }
}

class CloneLockTest : public SceneTest {};

TEST_F(CloneLockTest, CloneTakesAndReleasesTheModifiersLock) {
  Wakeweave* mod = NewModifier();
  ASSERT_NE(mod, nullptr);
  RefTargetHandle copy = nullptr;
  {
    DebugCapture debug;
    RemapDir* remap = NewRemapDir();
    copy = mod->Clone(*remap);
    remap->DeleteThis();
    EXPECT_EQ(debug.Count(kEnter), 1);
    EXPECT_EQ(debug.Count(kLeave), 1);
  }
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(LockIsFree(mod));

  // While a regeneration holds the lock (its dialog runs on this thread), cloning on another thread waits.
  auto* particles = new HeldParticleObject(1);
  ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, ip()->CreateObjectNode(particles)));
  RefTargetHandle second = nullptr;
  ScriptedAgent agent;
  CallWhileRecording cloner(agent, particles, [&] {
    RemapDir* remap = NewRemapDir();
    second = mod->Clone(*remap);
    remap->DeleteThis();
  });
  mod->regenerateParticleTrails();
  cloner.Join();
  EXPECT_TRUE(cloner.looked);
  EXPECT_FALSE(cloner.returnedWhileHeld);
  EXPECT_TRUE(cloner.Returned());
  EXPECT_NE(second, nullptr);
  EXPECT_TRUE(LockIsFree(mod));

  for (RefTargetHandle c : {copy, second})
    if (c) c->DeleteThis();
  mod->DeleteThis();
}
