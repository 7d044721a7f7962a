// Trails read from a particle recording: key lookup and interpolation, ages, standing still.
#include <gtest/gtest.h>

#include <max.h>

#include <cmath>

#include "particle_test_util.h"
#include "particles/ParticleSystemState.h"
#include "particles/TrailSource.h"

namespace {

constexpr float kPi = 3.14159265358979f;

::testing::AssertionResult SameMatrix(const Matrix3& got, const Matrix3& want, float eps) {
  if (got.Equals(want, eps)) return ::testing::AssertionSuccess();
  ::testing::AssertionResult r = ::testing::AssertionFailure();
  for (int i = 0; i < 4; ++i)
    r << "\n  row " << i << ": got (" << got.GetRow(i).x << ", " << got.GetRow(i).y << ", " << got.GetRow(i).z
      << ") want (" << want.GetRow(i).x << ", " << want.GetRow(i).y << ", " << want.GetRow(i).z << ")";
  return r;
}

Matrix3 Srt(const Point3& scale, float angleZ, const Point3& pos) {
  Matrix3 m = ScaleMatrix(scale) * RotateZMatrix(angleZ);
  m.SetTrans(pos);
  return m;
}

}  // namespace

TEST(ParticleTrailSource, WithoutStateOrLivesItIsAnEmptySystem) {
  TimeList times;
  times.Add(0);
  times.Add(160);
  ParticleTrailSource none(nullptr);
  EXPECT_EQ(none.numTrails(), 0);
  EXPECT_TRUE(none.trailTM(0, 160, times) == Matrix3());
  EXPECT_TRUE(none.trailTM(0, 160, times).IsIdentity());
  EXPECT_EQ(none.trailAge(0, 160), -1);
  EXPECT_EQ(none.trailLifeSpan(0), -1);
  EXPECT_TRUE(none.isTrailStationary(0, 0, 1600, 160, times));
  EXPECT_EQ(none.countStillSamples(0, times), 0);

  ParticleSystemState empty;
  ParticleTrailSource emptySource(&empty);
  EXPECT_EQ(emptySource.numTrails(), 0);

  // A life without keys has no position: identity.
  ParticleSystemState keyless;
  keyless.resize(2);
  keyless.particle(1).addKey(ParticlePositionKey(0, Point3(1, 2, 3), 0));
  ParticleTrailSource source(&keyless);
  EXPECT_EQ(source.numTrails(), 2);
  EXPECT_TRUE(source.trailTM(0, 0, times) == Matrix3());
}

TEST(ParticleTrailSource, OutsideAndOnKeysTheStoredTransformIsReturned) {
  ParticleSystemState state;
  // One key: that transform at every time, flags and all.
  const float raw[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 3, 4, 5};
  ParticleState single;
  single.addKey(ParticlePositionKey(480, RawMatrix(raw, 0), 0));
  state.addParticle(single);
  // Three keys with rotations.
  ParticleState three;
  three.addKey(ParticlePositionKey(160, Srt(Point3(1, 1, 1), 0.3f, Point3(1, 0, 0)), 0));
  three.addKey(ParticlePositionKey(320, Srt(Point3(2, 1, 1), 0.9f, Point3(2, 5, 0)), 160));
  three.addKey(ParticlePositionKey(480, Srt(Point3(1, 3, 1), 1.4f, Point3(0, 7, -2)), 320));
  state.addParticle(three);

  ParticleTrailSource source(&state);
  TimeList times;
  ASSERT_EQ(source.numTrails(), 2);
  for (TimeValue t : {-100000, 0, 479, 480, 481, 100000}) {
    SCOPED_TRACE(t);
    ExpectSameMatrixBits(source.trailTM(0, t, times), single.key(0).tm);
  }
  // No extrapolation before the first key or after the last.
  ExpectSameMatrixBits(source.trailTM(1, 0, times), three.key(0).tm);
  ExpectSameMatrixBits(source.trailTM(1, 159, times), three.key(0).tm);
  ExpectSameMatrixBits(source.trailTM(1, 481, times), three.key(2).tm);
  ExpectSameMatrixBits(source.trailTM(1, 1 << 30, times), three.key(2).tm);
  // Exactly on a key.
  for (int k = 0; k < 3; ++k) ExpectSameMatrixBits(source.trailTM(1, three.key(k).time, times), three.key(k).tm);
}

TEST(ParticleTrailSource, PositionsFollowCatmullRomBetweenKeys) {
  ParticleSystemState state;
  // Two keys, no neighbours: the reflected neighbours make straight motion stay straight and even.
  state.addParticle(LifeAt({{0, Point3(0, 0, 0)}, {100, Point3(10, 20, -30)}}));
  const Point3 k[4] = {Point3(0, 0, 0), Point3(10, 0, 2), Point3(12, 8, -1), Point3(4, 14, 6)};
  state.addParticle(LifeAt({{0, k[0]}, {100, k[1]}, {200, k[2]}, {300, k[3]}}));
  ParticleTrailSource source(&state);
  TimeList times;

  for (TimeValue t : {25, 50, 90}) {
    SCOPED_TRACE(t);
    float u = float(t) / 100.0f;
    EXPECT_TRUE(Near(source.trailTM(0, t, times).GetTrans(), Point3(10, 20, -30) * u));
  }

  // Inner segment: both neighbours are real keys.
  for (TimeValue t : {130, 150, 175}) {
    SCOPED_TRACE(t);
    float u = float(t - 100) / 100.0f;
    EXPECT_TRUE(Near(source.trailTM(1, t, times).GetTrans(), CatmullRom(k[0], k[1], k[2], k[3], u)));
  }
  // First segment: the missing neighbour is k0 reflected about k1's direction.
  EXPECT_TRUE(Near(source.trailTM(1, 40, times).GetTrans(), CatmullRom(k[0] - (k[1] - k[0]), k[0], k[1], k[2], 0.4f)));
  // Last segment: the missing neighbour is k3 continued.
  EXPECT_TRUE(Near(source.trailTM(1, 260, times).GetTrans(), CatmullRom(k[1], k[2], k[3], k[3] + (k[3] - k[2]), 0.6f)));
  // A pure translation stays one: no rotation or scale creeps in.
  Matrix3 mid = source.trailTM(1, 150, times);
  EXPECT_TRUE(Near(mid.GetRow(0), Point3(1, 0, 0)));
  EXPECT_TRUE(Near(mid.GetRow(1), Point3(0, 1, 0)));
  EXPECT_TRUE(Near(mid.GetRow(2), Point3(0, 0, 1)));
}

TEST(ParticleTrailSource, UnevenKeysSettleOnTheEarlierKeyWhenTheGuessFallsShort) {
  // Keys bunched at the start: at t = 15 the proportional guess lands on key 0, whose successor
  // (t = 10) lies before t, so the lookup keeps key 0 alone.
  ParticleSystemState state;
  state.addParticle(
      LifeAt({{0, Point3(0, 0, 0)}, {10, Point3(1, 0, 0)}, {20, Point3(2, 0, 0)}, {1000, Point3(3, 0, 0)}}));
  ParticleTrailSource source(&state);
  TimeList times;
  ExpectSameMatrixBits(source.trailTM(0, 15, times), state.particle(0).key(0).tm);
  // Where the guess is right, the keys around t are interpolated.
  Point3 p = source.trailTM(0, 500, times).GetTrans();
  EXPECT_GT(p.x, 2.0f);
  EXPECT_LT(p.x, 3.0f);
  // Evenly spaced keys are always found.
  ParticleSystemState even;
  even.addParticle(LifeAt({{0, Point3(0, 0, 0)}, {10, Point3(1, 0, 0)}, {20, Point3(2, 0, 0)}, {30, Point3(3, 0, 0)}}));
  ParticleTrailSource evenSource(&even);
  for (TimeValue t = 1; t < 30; ++t) {
    SCOPED_TRACE(t);
    EXPECT_TRUE(Near(evenSource.trailTM(0, t, times).GetTrans(), Point3(float(t) / 10.0f, 0.0f, 0.0f)));
  }
}

TEST(ParticleTrailSource, RotationTakesTheShortWayAndScaleIsInterpolated) {
  ParticleSystemState state;
  // 10 degrees to 350 degrees about Z: the short way passes through 0, not 180.
  ParticleState turn;
  turn.addKey(ParticlePositionKey(0, Srt(Point3(1, 1, 1), 10.0f * kPi / 180.0f, Point3(0, 0, 0)), 0));
  turn.addKey(ParticlePositionKey(100, Srt(Point3(1, 1, 1), 350.0f * kPi / 180.0f, Point3(0, 0, 0)), 100));
  state.addParticle(turn);
  // 150 to 240 degrees: the decomposed quaternions lie on opposite hemispheres, yet the short way
  // (through 195) is taken.
  ParticleState flip;
  flip.addKey(ParticlePositionKey(0, Srt(Point3(1, 1, 1), 150.0f * kPi / 180.0f, Point3(0, 0, 0)), 0));
  flip.addKey(ParticlePositionKey(100, Srt(Point3(1, 1, 1), 240.0f * kPi / 180.0f, Point3(0, 0, 0)), 100));
  state.addParticle(flip);
  // Rotation, scale and translation together.
  ParticleState grow;
  grow.addKey(ParticlePositionKey(0, Srt(Point3(1, 1, 1), 0.0f, Point3(0, 0, 0)), 0));
  grow.addKey(ParticlePositionKey(100, Srt(Point3(3, 2, 1), kPi / 2, Point3(10, 0, 0)), 100));
  state.addParticle(grow);
  ParticleTrailSource source(&state);
  TimeList times;

  EXPECT_TRUE(SameMatrix(source.trailTM(0, 50, times), Matrix3(), 1e-4f));
  EXPECT_TRUE(SameMatrix(source.trailTM(0, 25, times), RotateZMatrix(5.0f * kPi / 180.0f), 1e-4f));

  EXPECT_TRUE(SameMatrix(source.trailTM(1, 50, times), RotateZMatrix(195.0f * kPi / 180.0f), 1e-4f));
  EXPECT_TRUE(SameMatrix(source.trailTM(1, 75, times), RotateZMatrix(217.5f * kPi / 180.0f), 1e-4f));

  EXPECT_TRUE(SameMatrix(source.trailTM(2, 50, times), Srt(Point3(2.0f, 1.5f, 1.0f), kPi / 4, Point3(5, 0, 0)), 1e-4f));
  // Slerp moves at an even angular rate.
  EXPECT_TRUE(SameMatrix(source.trailTM(2, 25, times),
                         Srt(Point3(1.5f, 1.25f, 1.0f), kPi / 8, Point3(2.5f, 0.0f, 0.0f)), 1e-4f));
}

TEST(ParticleTrailSource, AgesAndLifeSpan) {
  ParticleSystemState state;
  state.addParticle(LifeAt({{160, Point3(0, 0, 0)}, {320, Point3(1, 0, 0)}, {480, Point3(2, 0, 0)}}));
  state.addParticle(LifeAt({{-160, Point3(0, 0, 0)}}));
  ParticleTrailSource source(&state);
  EXPECT_EQ(source.trailLifeSpan(0), 320);
  EXPECT_EQ(source.trailAge(0, 160), 0);
  EXPECT_EQ(source.trailAge(0, 300), 140);
  EXPECT_EQ(source.trailAge(0, 480), source.trailLifeSpan(0));
  EXPECT_EQ(source.trailAge(0, 159), -1);
  EXPECT_EQ(source.trailAge(0, 481), -1);
  EXPECT_EQ(source.trailLifeSpan(1), 0);
  EXPECT_EQ(source.trailAge(1, -160), 0);
  EXPECT_EQ(source.trailAge(1, -159), -1);
}

TEST(ParticleTrailSource, StationaryComparesTheEndPointsOfTheOverlap) {
  ParticleSystemState state;
  state.addParticle(LifeAt({{160, Point3(0, 0, 0)}, {480, Point3(50, 0, 0)}}));                       // moving
  state.addParticle(LifeAt({{0, Point3(0, 0, 0)}, {100, Point3(0.001f, 0.0f, 0.0f)}}));               // exactly 0.001
  state.addParticle(LifeAt({{0, Point3(0, 0, 0)}, {100, Point3(0.0f, 0.0009f, 0.0f)}}));              // closer
  state.addParticle(LifeAt({{0, Point3(0, 0, 0)}, {50, Point3(30, 0, 0)}, {100, Point3(0, 0, 0)}}));  // returns
  ParticleTrailSource source(&state);
  TimeList times;

  EXPECT_FALSE(source.isTrailStationary(0, 0, 1000, 160, times));
  // No overlap with the life: stationary, however far it travels.
  EXPECT_TRUE(source.isTrailStationary(0, 500, 1000, 160, times));
  EXPECT_TRUE(source.isTrailStationary(0, -1000, 159, 160, times));
  // Overlap of a single tick: both ends clamp to the last key.
  EXPECT_TRUE(source.isTrailStationary(0, 480, 900, 160, times));

  EXPECT_FALSE(source.isTrailStationary(1, 0, 100, 160, times));
  EXPECT_TRUE(source.isTrailStationary(2, 0, 100, 160, times));
  // Only the two end points count, not the path between them.
  EXPECT_TRUE(source.isTrailStationary(3, 0, 100, 10, times));
  EXPECT_FALSE(source.isTrailStationary(3, 0, 50, 10, times));
}

TEST(ParticleTrailSource, CountStillSamplesCountsTheUnmovingOldEnd) {
  ParticleSystemState state;
  const Point3 a(0, 0, 0), b(5, 0, 0), c(5, 2, 0);
  state.addParticle(LifeAt({{0, a}, {100, b}, {200, c}, {300, c}, {400, c}}));
  ParticleTrailSource source(&state);
  auto list = [](std::initializer_list<int> ts) {
    TimeList l;
    for (int t : ts) l.Add(t);
    return l;
  };

  TimeList none;
  EXPECT_EQ(source.countStillSamples(0, none), 0);
  TimeList one = list({0});
  EXPECT_EQ(source.countStillSamples(0, one), 0);
  TimeList two = list({0, 400});
  EXPECT_EQ(source.countStillSamples(0, two), 0);
  TimeList allEqual = list({200, 300, 400, 500});
  EXPECT_EQ(source.countStillSamples(0, allEqual), 0);
  // Newest first: the last three entries stand still and the one before them (index 2) differs.
  TimeList moving = list({400, 0, 100, 200, 300, 400});
  EXPECT_EQ(source.countStillSamples(0, moving), 2);
  // The differing entry at index 1.
  TimeList atOne = list({300, 100, 300, 400, 500, 600});
  EXPECT_EQ(source.countStillSamples(0, atOne), 3);
  // A difference at index 0 is never looked at.
  TimeList atZero = list({0, 200, 300, 400});
  EXPECT_EQ(source.countStillSamples(0, atZero), 0);
  // Only the last entries count: equal ones earlier in the list do not.
  TimeList interrupted = list({0, 300, 400, 100, 300});
  EXPECT_EQ(source.countStillSamples(0, interrupted), 0);
}

TEST(HermiteInterpolate, CatmullRomCaseAndTensionBias) {
  // Tension 0 and bias 0 give Catmull-Rom; the ends are hit exactly.
  EXPECT_FLOAT_EQ(HermiteInterpolate(0, 1, 3, 4, 0.0f, 0, 0), 1.0f);
  EXPECT_FLOAT_EQ(HermiteInterpolate(0, 1, 3, 4, 1.0f, 0, 0), 3.0f);
  EXPECT_NEAR(HermiteInterpolate(-2, 1, 3, 10, 0.3f, 0, 0),
              CatmullRom(Point3(-2, 0, 0), Point3(1, 0, 0), Point3(3, 0, 0), Point3(10, 0, 0), 0.3f).x, 1e-5);
  // Full tension removes the tangents: smoothstep between p1 and p2.
  EXPECT_NEAR(HermiteInterpolate(-50, 1, 3, 90, 0.25f, 1.0f, 0), 1 + 2 * (3 * 0.0625f - 2 * 0.015625f), 1e-5);
  // Bias 1 takes both tangents from the preceding chord.
  float u = 0.5f;
  float t1 = (1 - 0) * 2.0f / 2, t2 = (3 - 1) * 2.0f / 2;
  float want = (2 * u * u * u - 3 * u * u + 1) * 1 + (u * u * u - 2 * u * u + u) * t1 + (u * u * u - u * u) * t2 +
               (-2 * u * u * u + 3 * u * u) * 3;
  EXPECT_NEAR(HermiteInterpolate(0, 1, 3, 100, u, 0, 1.0f), want, 1e-5);
}
