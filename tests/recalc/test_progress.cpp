// The progress side of the regeneration dialog: what each report leaves in the fields the dialog polls,
// and a worker reporting while another thread reads and cancels.
#include <gtest/gtest.h>

#include <max.h>

#include <atomic>
#include <thread>

#include "particles/ParticleStateBuilder.h"
#include "plugin_fixture.h"
#include "recalc/DlgProgress.h"

namespace {
class ProgressSceneTest : public SceneTest {};
}  // namespace

TEST(DlgProgress, StartsAtNothingDoneOfAHundred) {
  DlgProgress p;
  EXPECT_EQ(p.current(), 0);
  EXPECT_EQ(p.total(), 100);
  EXPECT_EQ(p.state(), DlgProgress::kNotStarted);
  EXPECT_EQ(p.state(), 0);
  EXPECT_FALSE(p.isCancelled());
}

TEST(DlgProgress, ReportsMoveTheStateAndKeepTheLastNumbers) {
  DlgProgress p;
  p.update(30, 480);
  EXPECT_EQ(p.state(), 1);  // an update alone starts it
  EXPECT_EQ(p.current(), 30);
  EXPECT_EQ(p.total(), 480);
  // start begins again from nothing done, keeping the total.
  p.start();
  EXPECT_EQ(p.state(), 1);
  EXPECT_EQ(p.current(), 0);
  EXPECT_EQ(p.total(), 480);
  p.update(160, 480);
  p.end();
  EXPECT_EQ(p.state(), 2);
  EXPECT_EQ(p.current(), 160);
  EXPECT_EQ(p.total(), 480);
  // An update after the end runs again; a second end finishes again.
  p.update(320, 640);
  EXPECT_EQ(p.state(), 1);
  EXPECT_EQ(p.current(), 320);
  EXPECT_EQ(p.total(), 640);
  p.end();
  p.end();
  EXPECT_EQ(p.state(), 2);
  EXPECT_EQ(p.current(), 320);
}

TEST(DlgProgress, EndWithoutAnyUpdateFinishes) {
  DlgProgress p;
  p.start();
  p.end();
  EXPECT_EQ(p.state(), 2);
  EXPECT_EQ(p.current(), 0);
  EXPECT_EQ(p.total(), 100);
  DlgProgress never;
  never.end();
  EXPECT_EQ(never.state(), 2);
}

TEST(DlgProgress, ATotalOfZeroAndNegativeNumbersAreStoredAsGiven) {
  DlgProgress p;
  p.start();
  p.update(0, 0);
  EXPECT_EQ(p.current(), 0);
  EXPECT_EQ(p.total(), 0);
  p.update(-5, -1);
  EXPECT_EQ(p.current(), -5);
  EXPECT_EQ(p.total(), -1);
}

TEST(DlgProgress, ACancelSticksThroughLaterReports) {
  DlgProgress p;
  p.start();
  EXPECT_FALSE(p.isCancelled());
  p.setCancel(true);
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(p.isCancelled());
    p.update(k, 3);
  }
  p.end();
  EXPECT_TRUE(p.isCancelled());
  EXPECT_EQ(p.state(), 2);
  // Only the dialog clears it, when a run begins.
  p.setCancel(false);
  EXPECT_FALSE(p.isCancelled());
}

TEST(DlgProgress, AWorkerReportsWhileTheDialogThreadReadsAndCancels) {
  DlgProgress p;
  const int kTotal = 1 << 30;
  std::atomic<int> stoppedAt{-1};
  std::thread worker([&] {
    p.start();
    for (int k = 0; k < kTotal; ++k) {
      if (p.isCancelled()) {
        p.end();
        stoppedAt = k;
        return;
      }
      p.update(k, kTotal);
    }
    p.end();
  });
  // The dialog's side: polls until the worker is well under way, then cancels.
  int last = 0;
  bool ordered = true;
  while (p.current() < 1000) {
    const int now = p.current();
    ordered = ordered && now >= last;
    last = now;
    std::this_thread::yield();
  }
  EXPECT_NE(p.state(), 0);
  p.setCancel(true);
  worker.join();
  EXPECT_TRUE(ordered) << "the current count went backwards";
  EXPECT_GT(stoppedAt.load(), 1000);
  EXPECT_LT(stoppedAt.load(), kTotal);
  EXPECT_EQ(p.state(), 2);
  EXPECT_EQ(p.current(), stoppedAt.load() - 1);
  EXPECT_EQ(p.total(), kTotal);
}

// The regeneration's two sides: the builder on a worker reporting into the dialog's fields, the dialog
// thread polling them and pressing Cancel.
TEST_F(ProgressSceneTest, ACancelFromTheDialogThreadStopsTheBuilderOnTheWorker) {
  LegacyParticleSystem* sys = new LegacyParticleSystem();
  LegacyParticleLife life;
  life.born = 0;
  life.path.Set(0, Point3(0.0f, 0.0f, 0.0f));
  sys->AddSlot({life});
  INode* node = ip()->CreateObjectNode(sys);

  // Far more samples than a cancel lets it reach.
  const TimeValue end = 160 * 2000000;
  DlgProgress progress;
  ParticleStateBuilder builder;
  BOOL result = TRUE;
  std::thread worker([&] { result = builder.build(node, 0, end, 160, &progress, nullptr); });
  while (progress.current() < 160 * 100) std::this_thread::yield();
  EXPECT_EQ(progress.state(), DlgProgress::kRunning);
  EXPECT_EQ(progress.total(), end);
  progress.setCancel(true);
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(progress.state(), DlgProgress::kFinished);
  EXPECT_LT(progress.current(), end);
  EXPECT_EQ(builder.numParticles(), 0);
  EXPECT_EQ(builder.getMaxLifeSpan(), -1);
}
