// Track values: held outside the keys, linear (or spherical) between, exact on the keys, and sound at the
// ends of the time range.
#include <cmath>

#include "particles_fixture.h"

namespace {

TEST(TrackValueTest, PointTrackHoldsOutsideAndInterpolatesBetween) {
  KeyTable<Point3> k;
  const Point3 fallback(7, 7, 7);
  EXPECT_TRUE(Near(TrackValue(k, 123, fallback), fallback));

  k.Set(100, Point3(0, 10, -4));
  EXPECT_TRUE(Near(TrackValue(k, -1000000, fallback), Point3(0, 10, -4)));  // one key: held both ways
  EXPECT_TRUE(Near(TrackValue(k, 1000000, fallback), Point3(0, 10, -4)));

  k.Set(300, Point3(20, 30, 4));
  k.Set(400, Point3(20, 30, 14));
  EXPECT_TRUE(Near(TrackValue(k, 99, fallback), Point3(0, 10, -4)));
  EXPECT_TRUE(Near(TrackValue(k, 100, fallback), Point3(0, 10, -4)));
  EXPECT_TRUE(Near(TrackValue(k, 150, fallback), Point3(5, 15, -2)));
  EXPECT_TRUE(Near(TrackValue(k, 300, fallback), Point3(20, 30, 4)));  // on a middle key: that key
  EXPECT_TRUE(Near(TrackValue(k, 350, fallback), Point3(20, 30, 9)));  // the segment after it
  EXPECT_TRUE(Near(TrackValue(k, 400, fallback), Point3(20, 30, 14)));
  EXPECT_TRUE(Near(TrackValue(k, 401, fallback), Point3(20, 30, 14)));
}

TEST(TrackValueTest, PointTrackAcrossTheWholeTimeRange) {
  // Keys 2^32 - 1 ticks apart: a difference in int would overflow.
  KeyTable<Point3> k;
  k.Set(TIME_NegInfinity, Point3(-100, 0, 0));
  k.Set(TIME_PosInfinity, Point3(100, 0, 0));
  EXPECT_TRUE(Near(TrackValue(k, 0, Point3()), Point3(0, 0, 0), 1e-3f));
  EXPECT_TRUE(Near(TrackValue(k, TIME_NegInfinity, Point3()), Point3(-100, 0, 0)));
  EXPECT_TRUE(Near(TrackValue(k, TIME_PosInfinity, Point3()), Point3(100, 0, 0)));
  EXPECT_TRUE(Near(TrackValue(k, 1 << 30, Point3()), Point3(50, 0, 0), 1e-3f));
}

TEST(TrackValueTest, QuatTrackSlerpsTheShortWay) {
  KeyTable<Quat> k;
  const Quat fallback(0, 0, 0, 1);
  EXPECT_EQ(TrackValue(k, 5, fallback), fallback);

  const Quat a = QFromAngAxis(0.0f, Point3(0, 0, 1));
  // 90 degrees about Z, stored on the far hemisphere: interpolation must still take the short way.
  const Quat b = -QFromAngAxis(float(PI) / 2, Point3(0, 0, 1));
  k.Set(0, a);
  k.Set(100, b);
  EXPECT_EQ(TrackValue(k, -5, fallback), a);
  EXPECT_EQ(TrackValue(k, 500, fallback), b);
  Quat mid = TrackValue(k, 50, fallback);
  float angle;
  Point3 axis;
  AngAxisFromQ(mid, &angle, axis);
  EXPECT_NEAR(angle, float(PI) / 4, 1e-4f);  // the long way would be 135 degrees
  EXPECT_TRUE(Near(axis, Point3(0, 0, 1)));
  EXPECT_NEAR(mid.Length(), 1.0f, 1e-5f);
}

TEST(TrackValueTest, IntTrackSteps) {
  KeyTable<int> k;
  EXPECT_EQ(TrackValue(k, 0, 9), 9);
  k.Set(100, 2);
  k.Set(200, 5);
  EXPECT_EQ(TrackValue(k, TIME_NegInfinity, 9), 2);  // before the first key: the first key's value
  EXPECT_EQ(TrackValue(k, 100, 9), 2);
  EXPECT_EQ(TrackValue(k, 199, 9), 2);  // no interpolation
  EXPECT_EQ(TrackValue(k, 200, 9), 5);
  EXPECT_EQ(TrackValue(k, TIME_PosInfinity, 9), 5);
}

}  // namespace
