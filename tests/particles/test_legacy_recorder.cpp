// Recording legacy particle systems through the scripting runtime, on a worker thread as the
// regeneration does: lives found from ages, the order of lives, cancellation, failures, and the runtime's
// per-thread state left as it was found.
#include <gtest/gtest.h>

#include <max.h>

#include <climits>
#include <string>
#include <vector>

#include "particle_test_util.h"
#include "particles/ParticleStateBuilder.h"
#include "plugin_fixture.h"
#include "recorder_test_util.h"

namespace {

const std::string kLegacyException = "Exception thrown in ParticleStateBuilder::buildParticleSystemState\n";

// A life moving along +X one unit per tick from its birth.
LegacyParticleLife Life(TimeValue born, TimeValue dies) {
  LegacyParticleLife life;
  life.born = born;
  life.dies = dies;
  life.path.Set(born, Point3(0, 0, 0));
  // Near the largest time the path stands still rather than run past it.
  if (born <= INT_MAX - 4800) life.path.Set(born + 4800, Point3(4800, 0, 0));
  return life;
}

Point3 PositionOf(TimeValue born, TimeValue t) { return Point3(float(t - born), 0.0f, 0.0f); }

// The keys a slot's life records from `from` to `to` every 160 ticks: age 0 first, then its real ages.
ParticleState Expected(TimeValue born, TimeValue from, TimeValue to) {
  ParticleState life;
  for (TimeValue t = from; t <= to; t += 160)
    life.addKey(ParticlePositionKey(t, PositionOf(born, t), t == from ? 0 : t - born));
  return life;
}

class LegacyRecorderTest : public SceneTest {
 protected:
  INode* AddLegacy(const std::vector<LegacyParticleSlot>& slots) {
    LegacyParticleSystem* sys = new LegacyParticleSystem();
    for (const auto& s : slots) sys->AddSlot(s);
    return ip()->CreateObjectNode(sys);
  }
  // build() on a worker thread.
  BOOL Record(INode* node, TimeValue start, TimeValue end, IProgress* progress, int step = 160) {
    BOOL result = FALSE;
    OnWorker([&] { result = state.build(node, start, end, step, progress, nullptr); });
    return result;
  }
  ParticleStateBuilder state;
};

}  // namespace

TEST_F(LegacyRecorderTest, AParticleAliveThroughoutGivesOneLifeWithTheProgressCallsInOrder) {
  // Born two frames before the range: its first key still has age 0.
  INode* node = AddLegacy({{Life(-320, TIME_PosInfinity)}});
  DebugCapture debug;
  RecordingProgress progress;
  ASSERT_TRUE(Record(node, 0, 480, &progress));
  EXPECT_EQ(progress.calls, ProtocolFor({{0, 480}, {160, 480}, {320, 480}, {480, 480}}));
  EXPECT_EQ(debug.lines, std::vector<std::string>{"Particle 0 born at time 0.0\n"});
  EXPECT_EQ(state.isParticleFlow(), 0);
  ASSERT_EQ(state.numParticles(), 1);
  ExpectSameLife(state.particle(0), Expected(-320, 0, 480));
  EXPECT_EQ(state.particle(0).key(1).age, 480);
  EXPECT_EQ(state.getMaxLifeSpan(), 480);
  // The scene time is not what the samples moved.
  EXPECT_EQ(ip()->GetTime(), 0);
}

TEST_F(LegacyRecorderTest, AReusedSlotGivesTwoLivesAndADeathAddsNoKey) {
  // Slot 0: one life until 400 (not alive at 480). Slot 1: a life replaced at 320 by the next.
  INode* node = AddLegacy({{Life(0, 400)}, {Life(0, 320), Life(320, TIME_PosInfinity)}});
  // (A slot whose age stays the same from one sample to the next holds a new particle too: below.)
  DebugCapture debug;
  ASSERT_TRUE(Record(node, 0, 640, nullptr));
  EXPECT_EQ(debug.lines, (std::vector<std::string>{
                             "Particle 0 born at time 0.0\n",
                             "Particle 1 born at time 0.0\n",
                             "Particle 1 died at time 2.000000\n",
                             "Particle 1 born at time 2.0\n",
                             "Committed particle 0 at time 3.000000\n",
                             "Particle 0 died at time 3.000000\n",
                         }));
  // Closed in that order: slot 1's first life at 320, slot 0's at 480, then slot 1's running life.
  ASSERT_EQ(state.numParticles(), 3);
  ExpectSameLife(state.particle(0), Expected(0, 0, 160));
  ExpectSameLife(state.particle(1), Expected(0, 0, 320));
  ExpectSameLife(state.particle(2), Expected(320, 320, 640));
  EXPECT_EQ(state.getMaxLifeSpan(), 320);
}

TEST_F(LegacyRecorderTest, AnAgeThatDoesNotGrowStartsANewLife) {
  // Reborn exactly one sample later: age 0 at both samples.
  INode* node = AddLegacy({{Life(0, 160), Life(160, 480)}});
  DebugCapture debug;
  ASSERT_TRUE(Record(node, 0, 320, nullptr));
  ASSERT_EQ(state.numParticles(), 2);
  ExpectSameLife(state.particle(0), Expected(0, 0, 0));
  ExpectSameLife(state.particle(1), Expected(160, 160, 320));
  EXPECT_EQ(debug.Count("Particle 0 died at time 1.000000\n"), 1);
}

TEST_F(LegacyRecorderTest, ALongRecordingKeepsItsValuesThroughTheRuntimesCollections) {
  // Each sample makes two values per slot: many collections of the recorder's allocation frame.
  const TimeValue end = 160 * 6000;
  INode* node = AddLegacy({{Life(0, TIME_PosInfinity)}});
  ASSERT_TRUE(Record(node, 0, end, nullptr));
  ASSERT_EQ(state.numParticles(), 1);
  const ParticleState& life = state.particle(0);
  ASSERT_EQ(life.numKeys(), 6001);
  for (int k = 0; k < life.numKeys(); k += 1000) {
    EXPECT_EQ(life.key(k).time, 160 * k);
    EXPECT_EQ(life.key(k).age, 160 * k);
  }
}

TEST_F(LegacyRecorderTest, LivesAreInTheOrderTheyEndThenTheRunningOnesByIndex) {
  INode* node = AddLegacy({
      {Life(0, TIME_PosInfinity)},                    // 0: running at the end
      {Life(0, 300)},                                 // 1: ends at sample 320
      {Life(0, 100)},                                 // 2: ends at sample 160
      {Life(-100, 250)},                              // 3: ends at sample 320 too
      {Life(500, TIME_PosInfinity)},                  // 4: born late, running
      {Life(-50, 100), Life(200, TIME_PosInfinity)},  // 5: ends at 160, born again by 320, running
      {Life(-5000, -4000), Life(9000, 10000)},        // 6: never alive in the range
  });
  ASSERT_TRUE(Record(node, 0, 640, nullptr));
  ASSERT_EQ(state.numParticles(), 7);
  // Ended at 160: slots 2 and 5; at 320: slots 1 and 3; then running: slots 0, 4 and 5.
  ExpectSameLife(state.particle(0), Expected(0, 0, 0));
  ExpectSameLife(state.particle(1), Expected(-50, 0, 0));
  ExpectSameLife(state.particle(2), Expected(0, 0, 160));
  ExpectSameLife(state.particle(3), Expected(-100, 0, 160));
  ExpectSameLife(state.particle(4), Expected(0, 0, 640));
  ExpectSameLife(state.particle(5), Expected(500, 640, 640));
  ExpectSameLife(state.particle(6), Expected(200, 320, 640));
  EXPECT_EQ(state.getMaxLifeSpan(), 640);
}

TEST_F(LegacyRecorderTest, AStartAfterTheEndTakesNoSamplesAndNoLives) {
  INode* node = AddLegacy({{Life(0, TIME_PosInfinity)}, {Life(0, TIME_PosInfinity)}});
  RecordingProgress progress;
  ASSERT_TRUE(Record(node, 480, 320, &progress));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"start", "end"}));
  EXPECT_EQ(state.numParticles(), 0);
  EXPECT_EQ(state.getMaxLifeSpan(), -1);
}

TEST_F(LegacyRecorderTest, CancellingEndsTheReportTwiceEmptiesTheStateAndFails) {
  INode* node = AddLegacy({{Life(0, TIME_PosInfinity)}, {Life(0, 200)}});
  for (int cancelAt : {1, 3}) {
    SCOPED_TRACE(cancelAt);
    ASSERT_TRUE(Record(node, 0, 480, nullptr));
    ASSERT_GT(state.numParticles(), 0);
    RecordingProgress progress(cancelAt);
    DebugCapture debug;
    EXPECT_FALSE(Record(node, 0, 480, &progress));
    EXPECT_EQ(progress.calls, CancelledProtocol(cancelAt, 160, 480, 2));
    EXPECT_EQ(debug.Count(kLegacyException), 1);
    ExpectEmptied(state);
    EXPECT_EQ(state.isParticleFlow(), 0);
  }
}

TEST_F(LegacyRecorderTest, AnExceptionWhileRecordingEmptiesTheStateAndEndsTheReport) {
  INode* node = AddLegacy({{Life(0, TIME_PosInfinity)}});
  {  // Out of memory in the reporter at the second sample.
    RecordingProgress progress;
    progress.FailUpdate(2, RecordingProgress::Failure::kBadAlloc);
    DebugCapture debug;
    EXPECT_FALSE(Record(node, 0, 480, &progress));
    EXPECT_EQ(progress.calls, ProtocolFor({{0, 480}, {160, 480}}));
    EXPECT_EQ(debug.lines.back(), kLegacyException);
    EXPECT_EQ(debug.Count(kLegacyException), 1);
    ExpectEmptied(state);
  }
  {  // A node whose object is no legacy system: its particle count is undefined, which is no integer.
    SplineShape* shape = new SplineShape();
    INode* notParticles = ip()->CreateObjectNode(shape);
    RecordingProgress progress;
    DebugCapture debug;
    EXPECT_FALSE(Record(notParticles, 0, 480, &progress));
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"start", "end"}));
    EXPECT_EQ(debug.lines, std::vector<std::string>{kLegacyException});
    EXPECT_EQ(state.numParticles(), 0);
  }
}

TEST_F(LegacyRecorderTest, ANullNodeOrAStepThatIsNotPositiveIsRefusedBeforeAnyReport) {
  INode* node = AddLegacy({{Life(0, TIME_PosInfinity)}});
  struct Case {
    INode* node;
    int step;
  };
  for (Case c : {Case{nullptr, 160}, Case{node, 0}, Case{node, -160}}) {
    ASSERT_TRUE(Record(node, 0, 160, nullptr));
    RecordingProgress progress;
    DebugCapture debug;
    EXPECT_FALSE(Record(c.node, 0, 160, &progress, c.step));
    EXPECT_TRUE(progress.calls.empty());
    EXPECT_TRUE(debug.lines.empty());
    ExpectEmptied(state);
  }
}

TEST_F(LegacyRecorderTest, TimesNearTheLargestTimeEndTheWalk) {
  INode* node = AddLegacy({{Life(INT_MAX - 400, TIME_PosInfinity)}});
  RecordingProgress progress;
  ASSERT_TRUE(Record(node, INT_MAX - 320, INT_MAX, &progress));
  EXPECT_EQ(progress.calls, ProtocolFor({{0, 320}, {160, 320}, {320, 320}}));
  ASSERT_EQ(state.numParticles(), 1);
  ASSERT_EQ(state.particle(0).numKeys(), 3);
  EXPECT_EQ(state.particle(0).key(2).time, INT_MAX);
  EXPECT_EQ(state.particle(0).key(2).age, 400);
}

namespace {

struct RuntimeSnapshot {
  ScriptLocalFrame* locals;
  int allocDepth;
  BOOL useTimeContext;
  TimeValue currentTime;
  size_t liveValues;
};

RuntimeSnapshot Snapshot() {
  ScriptThreadLocals* tl = thread_locals();
  return {tl->locals, tl->alloc_depth, tl->use_time_context, tl->current_time, live_value_count()};
}

void ExpectSame(const RuntimeSnapshot& a, const RuntimeSnapshot& b) {
  EXPECT_EQ(a.locals, b.locals);
  EXPECT_EQ(a.allocDepth, b.allocDepth);
  EXPECT_EQ(a.useTimeContext, b.useTimeContext);
  EXPECT_EQ(a.currentTime, b.currentTime);
  EXPECT_EQ(a.liveValues, b.liveValues);
}

}  // namespace

TEST_F(LegacyRecorderTest, TheRuntimesFramesAndTimeContextAreLeftAsTheyWereOnEveryPath) {
  INode* node = AddLegacy({{Life(0, TIME_PosInfinity)}, {Life(0, 300)}});
  SplineShape* shape = new SplineShape();
  INode* notParticles = ip()->CreateObjectNode(shape);
  OnWorker([&] {
    // The thread already runs scripts: a frame of its own, an allocation frame and a time context.
    init_thread_locals();
    push_alloc_frame();
    Value* mine[1] = {Integer::heap_new(12345)};
    ScriptLocalFrame frame{thread_locals()->locals, mine, 1};
    thread_locals()->locals = &frame;
    thread_locals()->use_time_context = TRUE;
    thread_locals()->current_time = 77;
    // Interns the indices once, so that later runs make no value that outlives them.
    ASSERT_TRUE(state.build(node, 0, 480, 160, nullptr, nullptr));
    const RuntimeSnapshot before = Snapshot();
    ASSERT_EQ(before.locals, &frame);

    ASSERT_TRUE(state.build(node, 0, 480, 160, nullptr, nullptr));
    ExpectSame(Snapshot(), before);
    RecordingProgress cancel(2);
    ASSERT_FALSE(state.build(node, 0, 480, 160, &cancel, nullptr));
    ExpectSame(Snapshot(), before);
    RecordingProgress failing;
    failing.FailUpdate(1, RecordingProgress::Failure::kRuntimeError);
    ASSERT_FALSE(state.build(node, 0, 480, 160, &failing, nullptr));
    ExpectSame(Snapshot(), before);
    ASSERT_FALSE(state.build(notParticles, 0, 480, 160, nullptr, nullptr));
    ExpectSame(Snapshot(), before);
    // A thread without a time context of its own is left without one.
    thread_locals()->use_time_context = FALSE;
    ASSERT_TRUE(state.build(node, 0, 480, 160, nullptr, nullptr));
    EXPECT_FALSE(thread_locals()->use_time_context);
    EXPECT_EQ(thread_locals()->current_time, 77);
    // The value the thread holds survived every collection.
    EXPECT_EQ(mine[0]->to_int(), 12345);

    thread_locals()->locals = frame.prev;
    pop_alloc_frame();
  });
}

TEST_F(LegacyRecorderTest, AgesAndPositionsOfSlotsThatCannotBeRead) {
  INode* node = AddLegacy({{Life(0, 100)}});
  OnWorker([&] {
    init_thread_locals();
    push_alloc_frame();
    Value* nodeValue = MAXNode::intern(node);
    Value* slots[1] = {nodeValue};
    ScriptLocalFrame frame{thread_locals()->locals, slots, 1};
    thread_locals()->locals = &frame;
    thread_locals()->use_time_context = TRUE;
    thread_locals()->current_time = 0;
    {
      DebugCapture debug;
      EXPECT_EQ(ParticleStateBuilder::particleAge(nodeValue, 0), 0);
      EXPECT_TRUE(Near(ParticleStateBuilder::particlePos(nodeValue, 0), Point3(0, 0, 0)));
      // Not alive, or no such slot: undefined, which converts to no time, without a word.
      thread_locals()->current_time = 160;
      EXPECT_EQ(ParticleStateBuilder::particleAge(nodeValue, 0), ParticleStateBuilder::kNotAlive);
      EXPECT_EQ(ParticleStateBuilder::particleAge(nodeValue, 5), ParticleStateBuilder::kNotAlive);
      EXPECT_TRUE(debug.lines.empty());
      // An argument of the wrong kind makes the script function throw.
      EXPECT_EQ(ParticleStateBuilder::particleAge(Integer::intern(3), 0), ParticleStateBuilder::kNotAlive);
      EXPECT_EQ(debug.lines, std::vector<std::string>{"UNKNOWN Exception in ParticleStateBuilder::particleAge\n"});
      // particlePos leaves it to the recorder.
      EXPECT_THROW(ParticleStateBuilder::particlePos(Integer::intern(3), 0), ScriptError);
    }
    {
      AssertCapture asserts;
      EXPECT_EQ(ParticleStateBuilder::particleAge(nullptr, 0), ParticleStateBuilder::kNotAlive);
      EXPECT_TRUE(Near(ParticleStateBuilder::particlePos(nullptr, 0), Point3(-1, -1, -1)));
      ASSERT_EQ(asserts.Count(), 2u);
      for (const auto& e : asserts.Entries()) {
        EXPECT_EQ(e.expression, "pMaxNode != NULL");
        EXPECT_EQ(e.file, "ParticleStateBuilder");
      }
    }
    thread_locals()->locals = frame.prev;
    pop_alloc_frame();
  });
}
