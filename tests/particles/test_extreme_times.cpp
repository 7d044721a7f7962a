// Recordings whose key times lie further apart than an int can count (a damaged or hostile scene file):
// lookup, interpolation, ages, life spans and the longest life stay in range and answer soundly.
#include <gtest/gtest.h>

#include <max.h>

#include <climits>
#include <cmath>
#include <vector>

#include "memory_chunks.h"
#include "particle_test_util.h"
#include "particles/ParticleSystemState.h"
#include "particles/TrailSource.h"

namespace {

constexpr int kMin = INT_MIN, kMax = INT_MAX;

// The times that reach the edges: both ends, their neighbours, the middle and the quarter points. One tick
// short of INT_MAX the single-precision guess rounds up to the key count.
const std::vector<TimeValue> kProbeTimes = {kMin, kMin + 1, kMin / 2, -2, -1, 0, 1, 2, kMax / 2 + 1, kMax - 1, kMax};

// Moves along X at an even pace: from -1 at INT_MIN through 0 at time 0 to 1 at INT_MAX.
ParticleState EdgeToEdgeLife() {
  ParticleState life;
  life.addKey(ParticlePositionKey(kMin, Point3(-1.0f, 0.0f, 0.0f), 0));
  life.addKey(ParticlePositionKey(0, Point3(0.0f, 0.0f, 0.0f), 0));
  life.addKey(ParticlePositionKey(kMax, Point3(1.0f, 0.0f, 0.0f), 0));
  return life;
}

ParticleState TwoKeyLife(TimeValue a, TimeValue b) {
  ParticleState life;
  life.addKey(ParticlePositionKey(a, Point3(0.0f, 0.0f, 0.0f), 0));
  life.addKey(ParticlePositionKey(b, Point3(5.0f, 0.0f, 0.0f), 0));
  return life;
}

}  // namespace

TEST(ExtremeKeyTimes, LookupAndInterpolationStayBetweenTheKeys) {
  ParticleSystemState state;
  state.addParticle(EdgeToEdgeLife());
  // Uneven: the middle key hugs the first, so the guess lands far from the right key.
  ParticleState uneven;
  uneven.addKey(ParticlePositionKey(kMin, Point3(0.0f, 0.0f, 0.0f), 0));
  uneven.addKey(ParticlePositionKey(kMin + 1, Point3(1.0f, 0.0f, 0.0f), 0));
  uneven.addKey(ParticlePositionKey(kMax, Point3(2.0f, 0.0f, 0.0f), 0));
  state.addParticle(uneven);
  ParticleTrailSource source(&state);
  TimeList times;

  float prev = -2.0f;
  for (TimeValue t : kProbeTimes) {
    SCOPED_TRACE(t);
    const float x = source.trailTM(0, t, times).GetTrans().x;
    ASSERT_TRUE(std::isfinite(x));
    EXPECT_GE(x, -1.0f - 1e-5f);
    EXPECT_LE(x, 1.0f + 1e-5f);
    EXPECT_GE(x, prev) << "the particle moves steadily forward";
    prev = x;
    const float y = source.trailTM(1, t, times).GetTrans().x;
    ASSERT_TRUE(std::isfinite(y));
    EXPECT_GE(y, -1e-5f);
  }
  // Evenly spaced, collinear keys: Catmull-Rom is linear, a quarter of the way at each quarter point.
  EXPECT_NEAR(source.trailTM(0, kMin / 2, times).GetTrans().x, -0.5f, 1e-5f);
  EXPECT_NEAR(source.trailTM(0, kMax / 2 + 1, times).GetTrans().x, 0.5f, 1e-5f);
  // On the keys themselves the stored transforms come back.
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    ExpectSameMatrixBits(source.trailTM(0, state.particle(0).key(k).time, times), state.particle(0).key(k).tm);
    ExpectSameMatrixBits(source.trailTM(1, state.particle(1).key(k).time, times), state.particle(1).key(k).tm);
  }
  EXPECT_FALSE(source.isTrailStationary(0, kMin, kMax, 160, times));
  EXPECT_FALSE(source.isTrailStationary(1, 0, kMax, 160, times));
}

TEST(ExtremeKeyTimes, AgesAndSpansThatDoNotFitAnIntDoNotApply) {
  ParticleSystemState state;
  state.addParticle(TwoKeyLife(kMin, kMax));  // 2^32 - 1 ticks
  state.addParticle(TwoKeyLife(kMin, 0));     // 2^31 ticks: one too many
  state.addParticle(TwoKeyLife(0, kMax));     // exactly INT_MAX
  state.addParticle(TwoKeyLife(kMin, -1));    // exactly INT_MAX, below zero
  ParticleTrailSource source(&state);

  for (int life : {0, 1}) {
    SCOPED_TRACE(life);
    EXPECT_EQ(source.trailLifeSpan(life), -1);
    for (TimeValue t : kProbeTimes) EXPECT_EQ(source.trailAge(life, t), -1) << "t " << t;
  }
  EXPECT_EQ(source.trailLifeSpan(2), kMax);
  EXPECT_EQ(source.trailAge(2, 0), 0);
  EXPECT_EQ(source.trailAge(2, kMax), kMax);
  EXPECT_EQ(source.trailAge(2, -1), -1);
  EXPECT_EQ(source.trailLifeSpan(3), kMax);
  EXPECT_EQ(source.trailAge(3, kMin), 0);
  EXPECT_EQ(source.trailAge(3, -1), kMax);
  EXPECT_EQ(source.trailAge(3, 0), -1);

  // Lives without keys keep whatever start and end they were given.
  ParticleState reversed;
  reversed.setStart(kMax);
  reversed.setEnd(kMin);
  state.addParticle(reversed);
  ParticleState ordinary;
  ordinary.setStart(77);
  ordinary.setEnd(-5);
  state.addParticle(ordinary);
  EXPECT_EQ(source.trailLifeSpan(4), -1);
  EXPECT_EQ(source.trailAge(4, 0), -1);
  EXPECT_EQ(source.trailLifeSpan(5), -82);
}

TEST(ExtremeKeyTimes, LongestLifeSkipsLivesTooLongToCount) {
  ParticleSystemState state;
  state.addParticle(TwoKeyLife(kMin, kMax));
  state.addParticle(TwoKeyLife(0, 480));
  // Lives without keys whose end lies more than INT_MAX before their start.
  for (TimeValue start : {kMax, 1}) {
    ParticleState reversed;
    reversed.setStart(start);
    reversed.setEnd(kMin);
    state.addParticle(reversed);
  }
  state.computeMaxLifeSpan();
  EXPECT_EQ(state.getMaxLifeSpan(), 480);

  state.addParticle(TwoKeyLife(kMin, -1));
  state.computeMaxLifeSpan();
  EXPECT_EQ(state.getMaxLifeSpan(), kMax);

  ParticleSystemState onlyTooLong;
  onlyTooLong.addParticle(TwoKeyLife(kMin, 0));
  onlyTooLong.computeMaxLifeSpan();
  EXPECT_EQ(onlyTooLong.getMaxLifeSpan(), -1);
}

TEST(ExtremeKeyTimes, LoadedRecordingKeepsItsKeysAndAnswersSoundly) {
  // As a hostile file would hold it: header fields that disagree with the keys, extreme key times.
  const float tm0[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, -1, 0, 0};
  const float tm1[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  const float tm2[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0};
  LeBytes body;
  body.i32(1).i32(0).i32(1).i32(40).i32(12345).i32(1).i32(2);
  body.i32(0).i32(0).i32(3);
  body.key(tm0, 0, kMin, 0).key(tm1, 0, 0, 0).key(tm2, 0, kMax, kMax);
  body.i32(kMax).i32(kMin).i32(0);  // a life without keys, end before start
  MemLoad in({MemChunk{ParticleSystemState::kChunkId, body.bytes}});
  ParticleSystemState state;
  ASSERT_EQ(state.load(&in), IO_OK);
  ASSERT_EQ(state.numParticles(), 2);
  // The saved form is kept as it was: the stored longest life and the keys' own times.
  EXPECT_EQ(state.getMaxLifeSpan(), 12345);
  EXPECT_EQ(state.particle(0).getStart(), kMin);
  EXPECT_EQ(state.particle(0).getEnd(), kMax);
  EXPECT_EQ(state.particle(1).getStart(), kMax);
  EXPECT_EQ(state.particle(1).getEnd(), kMin);

  ParticleTrailSource source(&state);
  TimeList times;
  EXPECT_EQ(source.trailLifeSpan(0), -1);
  EXPECT_EQ(source.trailLifeSpan(1), -1);
  EXPECT_EQ(source.trailAge(0, 0), -1);
  EXPECT_NEAR(source.trailTM(0, kMin / 2, times).GetTrans().x, -0.5f, 1e-5f);
  EXPECT_NEAR(source.trailTM(0, kMax / 2 + 1, times).GetTrans().x, 0.5f, 1e-5f);
  for (TimeValue t : kProbeTimes) EXPECT_TRUE(source.trailTM(1, t, times).IsIdentity()) << "t " << t;
  state.computeMaxLifeSpan();
  EXPECT_EQ(state.getMaxLifeSpan(), -1);

  // And it saves back byte for byte.
  MemSave out;
  ASSERT_EQ(state.save(&out), IO_OK);
  ASSERT_EQ(out.chunks.size(), 1u);
  std::vector<uint8_t> resaved = out.chunks[0].data;
  LeBytes expected;
  expected.i32(1).i32(0).i32(1).i32(40).i32(-1).i32(1).i32(2);
  expected.i32(kMin).i32(kMax).i32(3);
  expected.key(tm0, 0, kMin, 0).key(tm1, 0, 0, 0).key(tm2, 0, kMax, kMax);
  expected.i32(kMax).i32(kMin).i32(0);
  EXPECT_EQ(resaved, expected.bytes);
}
