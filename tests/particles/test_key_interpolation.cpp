// Particle trails away from the origin and over uneven keys: the reflected neighbours of the end
// segments, and the lookup that lands exactly on the key after a short guess.
#include <gtest/gtest.h>

#include <max.h>

#include "particle_test_util.h"
#include "particles/ParticleSystemState.h"
#include "particles/TrailSource.h"

namespace {

Matrix3 ScaledAt(const Point3& scale, const Point3& pos) {
  Matrix3 m = ScaleMatrix(scale);
  m.SetTrans(pos);
  return m;
}

}  // namespace

TEST(ParticleKeyInterpolation, ReflectedNeighboursAwayFromTheOrigin) {
  // Two keys far from the origin, scaled: with both neighbours reflected the motion and the growth stay
  // straight and even. A neighbour reflected through the origin instead of through the key bends both.
  const Point3 a(100, 50, -20), b(110, 70, -40);
  const Point3 ka(2, 2, 2), kb(4, 3, 1);
  ParticleSystemState state;
  ParticleState two;
  two.addKey(ParticlePositionKey(1000, ScaledAt(ka, a), 0));
  two.addKey(ParticlePositionKey(1100, ScaledAt(kb, b), 100));
  state.addParticle(two);
  // Four keys off the origin: the first and last segments use one reflected neighbour each.
  const Point3 k[4] = {Point3(-40, 30, 7), Point3(-30, 31, 9), Point3(-28, 39, 6), Point3(-36, 45, 13)};
  state.addParticle(LifeAt({{500, k[0]}, {600, k[1]}, {700, k[2]}, {800, k[3]}}));
  ParticleTrailSource source(&state);
  TimeList times;

  for (TimeValue t : {1010, 1025, 1050, 1090}) {
    SCOPED_TRACE(t);
    const float u = float(t - 1000) / 100.0f;
    const Matrix3 m = source.trailTM(0, t, times);
    EXPECT_TRUE(Near(m.GetTrans(), a + (b - a) * u));
    const Point3 scale = ka + (kb - ka) * u;
    EXPECT_TRUE(Near(m.GetRow(0), Point3(scale.x, 0.0f, 0.0f)));
    EXPECT_TRUE(Near(m.GetRow(1), Point3(0.0f, scale.y, 0.0f)));
    EXPECT_TRUE(Near(m.GetRow(2), Point3(0.0f, 0.0f, scale.z)));
  }
  for (TimeValue t : {520, 560, 590}) {
    SCOPED_TRACE(t);
    const float u = float(t - 500) / 100.0f;
    EXPECT_TRUE(Near(source.trailTM(1, t, times).GetTrans(), CatmullRom(k[0] - (k[1] - k[0]), k[0], k[1], k[2], u)));
  }
  for (TimeValue t : {710, 740, 780}) {
    SCOPED_TRACE(t);
    const float u = float(t - 700) / 100.0f;
    EXPECT_TRUE(Near(source.trailTM(1, t, times).GetTrans(), CatmullRom(k[1], k[2], k[3], k[3] + (k[3] - k[2]), u)));
  }
}

TEST(ParticleKeyInterpolation, ShortGuessThatLandsExactlyOnTheNextKey) {
  // Keys at 0, 100, 110, 1000: at t = 100 the proportional guess is key 0, and the key after it lies
  // exactly at t, so that key's own transform is the answer.
  const float r1[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 7, 8, 9};
  ParticleSystemState state;
  ParticleState life;
  life.addKey(ParticlePositionKey(0, Point3(0, 0, 0), 0));
  life.addKey(ParticlePositionKey(100, RawMatrix(r1, 0), 100));
  life.addKey(ParticlePositionKey(110, Point3(20, 0, 0), 110));
  life.addKey(ParticlePositionKey(1000, Point3(30, 0, 0), 1000));
  state.addParticle(life);
  ParticleTrailSource source(&state);
  TimeList times;
  ExpectSameMatrixBits(source.trailTM(0, 100, times), life.key(1).tm);
  // The same guess one tick earlier interpolates between keys 0 and 1.
  const Point3 before = source.trailTM(0, 99, times).GetTrans();
  EXPECT_GT(before.x, 5.0f);
  EXPECT_LT(before.x, 8.0f);
}
