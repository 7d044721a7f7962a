#include <cmath>
#include <vector>

#include "geom_test_util.h"

using namespace geomtest;

TEST(QuatConvention, AngAxisRotationMatchesTheAxisMatrices) {
  for (float a : {0.3f, HALFPI, 2.0f, PI, -1.2f, 5.0f}) {
    EXPECT_TRUE(MatrixNear(RotationMatrix(QFromAngAxis(a, Point3(0, 0, 1))), RotateZMatrix(a), 1e-6f)) << a;
    EXPECT_TRUE(MatrixNear(RotationMatrix(QFromAngAxis(a, Point3(1, 0, 0))), RotateXMatrix(a), 1e-6f)) << a;
    EXPECT_TRUE(MatrixNear(RotationMatrix(QFromAngAxis(a, Point3(0, 3, 0))), RotateYMatrix(a), 1e-6f)) << a;
    Matrix3 viaAngAxis;
    viaAngAxis.SetRotate(AngAxis(Point3(0, 0, 2), a));
    EXPECT_TRUE(MatrixNear(viaAngAxis, RotateZMatrix(a), 1e-6f)) << a;
  }
  EXPECT_TRUE(QFromAngAxis(1.0f, Point3(0, 0, 0)).IsIdentity());
}

TEST(QuatConvention, ProductComposesLikeMatrices) {
  std::mt19937 rng(21);
  for (int i = 0; i < 30; ++i) {
    const Quat a = RandomRotation(rng), b = RandomRotation(rng);
    EXPECT_TRUE(MatrixNear(RotationMatrix(a * b), RotationMatrix(a) * RotationMatrix(b), 1e-5f));
    Quat c = a;
    c *= b;
    EXPECT_EQ(c, a * b);
  }
  // Concretely: a quarter turn about X, then one about Z. Y goes to Z (which the second keeps);
  // the reverse order would send Y to -X.
  const Quat q = QFromAngAxis(HALFPI, Point3(1, 0, 0)) * QFromAngAxis(HALFPI, Point3(0, 0, 1));
  EXPECT_TRUE(PointNear(Point3(0, 1, 0) * RotationMatrix(q), Point3(0, 0, 1), 1e-6f));
  EXPECT_TRUE(PointNear(Point3(1, 0, 0) * RotationMatrix(q), Point3(0, 1, 0), 1e-6f));
}

TEST(QuatMatrix, RoundTripsIncludingHalfTurns) {
  std::mt19937 rng(4);
  std::vector<Quat> cases;
  for (int i = 0; i < 40; ++i) cases.push_back(RandomRotation(rng));
  for (const Point3& axis :
       {Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(1.0f, -2.0f, 0.5f), Point3(-1, -1, -1)})
    for (float a : {PI, PI - 1e-3f, PI + 1e-3f, 1e-4f, 0.0f}) cases.push_back(QFromAngAxis(a, axis));
  for (const Quat& q : cases) {
    const Matrix3 m = RotationMatrix(q);
    EXPECT_TRUE(SameRotation(Quat(m), q, 2e-6f));
    // Scale and translation do not disturb the rotation read back.
    EXPECT_TRUE(SameRotation(Quat(ScaleMatrix(Point3(3.0f, 0.5f, 2.0f)) * m * TransMatrix(Point3(4, 5, 6))), q, 2e-6f));
    // A mirroring matrix reads as its negation.
    EXPECT_TRUE(SameRotation(Quat(ScaleMatrix(Point3(-1, -1, -1)) * m), q, 2e-6f));
    Matrix3 kept = TransMatrix(Point3(1, 2, 3));
    q.MakeMatrix(kept, true);
    EXPECT_EQ(kept.GetTrans(), Point3(1, 2, 3));
    EXPECT_TRUE(MatrixNear(kept, m * TransMatrix(Point3(1, 2, 3)), 1e-6f));
  }
}

TEST(QuatAngAxis, RoundTrip) {
  float angle = -1.0f;
  Point3 axis;
  AngAxisFromQ(QFromAngAxis(2.5f, Point3(0, 3, 4)), &angle, axis);
  EXPECT_NEAR(angle, 2.5f, 1e-6f);
  EXPECT_TRUE(PointNear(axis, Point3(0.0f, 0.6f, 0.8f), 1e-6f));

  AngAxisFromQ(QFromAngAxis(1e-5f, Point3(1, 0, 0)), &angle, &axis);  // small angles stay accurate
  EXPECT_NEAR(angle, 1e-5f, 1e-10f);

  const AngAxis none{Quat()};
  EXPECT_EQ(none.angle, 0.0f);
  EXPECT_NEAR(none.axis.Length(), 1.0f, 1e-6f);

  const Quat q(AngAxis(Point3(1, 1, 0), 0.8f));
  EXPECT_TRUE(q.Equals(QFromAngAxis(0.8f, Point3(1, 1, 0))));
}

TEST(QuatAlgebra, InverseConjugateNormalize) {
  std::mt19937 rng(8);
  for (int i = 0; i < 20; ++i) {
    const Quat q = RandomRotation(rng);
    EXPECT_TRUE(SameRotation(q * q.Inverse(), Quat(), 1e-6f));
    EXPECT_TRUE(MatrixNear(RotationMatrix(q.Inverse()), Inverse(RotationMatrix(q)), 1e-5f));
    EXPECT_TRUE(q.Conjugate().Equals(q.Inverse(), 1e-6f));  // unit length
    const Quat big = q * 3.0f;
    EXPECT_TRUE(big.Inverse().Equals(q.Inverse() / 3.0f, 1e-6f));
    EXPECT_TRUE(MatrixNear(RotationMatrix(big), RotationMatrix(q), 1e-6f));  // length does not matter
    Quat n = big;
    EXPECT_NEAR(n.Normalize().Length(), 1.0f, 1e-6f);
    EXPECT_TRUE(n.Equals(q, 1e-6f));
  }
  Quat zero(0, 0, 0, 0);
  EXPECT_TRUE(zero.Normalize().IsIdentity());
  EXPECT_TRUE(Quat(0, 0, 0, -1).IsIdentity());
  EXPECT_FALSE(Quat(1e-7f, 0, 0, 1).IsIdentity());
}

TEST(QuatCompare, EqualsToleranceAndExactEquality) {
  const Quat q(0.1f, 0.2f, 0.3f, 0.5f);
  for (int i = 0; i < 4; ++i) {
    Quat r = q;
    r[i] += 0.25f;
    EXPECT_TRUE(q.Equals(r, 0.2501f)) << i;
    EXPECT_FALSE(q.Equals(r, 0.2499f)) << i;
    EXPECT_NE(q, r);
  }
  EXPECT_EQ(q, Quat(0.1f, 0.2f, 0.3f, 0.5f));
  EXPECT_FALSE(q.Equals(-q, 0.1f));  // same rotation, different quaternion
}

TEST(QuatMakeClosest, FlipsOntoTheSameHemisphereOnly) {
  const Quat ref = QFromAngAxis(0.2f, Point3(0, 0, 1));
  Quat q = -QFromAngAxis(1.0f, Point3(0, 0, 1));
  ASSERT_LT(DotProd(q, ref), 0.0f);
  q.MakeClosest(ref);
  EXPECT_GT(DotProd(q, ref), 0.0f);
  EXPECT_TRUE(q.Equals(QFromAngAxis(1.0f, Point3(0, 0, 1))));
  const Quat before = q;
  EXPECT_EQ(q.MakeClosest(ref), before);  // already on the same side: untouched
}

TEST(QuatSlerp, EndpointsAndMidpointFollowTheArc) {
  const Quat p = QFromAngAxis(0.0f, Point3(0, 0, 1));
  const Quat q = QFromAngAxis(HALFPI, Point3(0, 0, 1));
  EXPECT_TRUE(Slerp(p, q, 0.0f).Equals(p, 1e-6f));
  EXPECT_TRUE(Slerp(p, q, 1.0f).Equals(q, 1e-6f));
  EXPECT_TRUE(Slerp(p, q, 0.5f).Equals(QFromAngAxis(PI / 4, Point3(0, 0, 1)), 1e-6f));
  EXPECT_TRUE(Slerp(p, q, 0.25f).Equals(QFromAngAxis(PI / 8, Point3(0, 0, 1)), 1e-6f));
  std::mt19937 rng(9);
  for (int i = 0; i < 20; ++i) {
    const Quat a = RandomRotation(rng), b = RandomRotation(rng);
    EXPECT_NEAR(Slerp(a, b, 0.37f).Length(), 1.0f, 1e-5f);
    // Constant speed: equal steps in t cover equal angles.
    const float d1 = std::acos(std::fmin(1.0f, DotProd(Slerp(a, b, 0.0f), Slerp(a, b, 0.3f))));
    const float d2 = std::acos(std::fmin(1.0f, DotProd(Slerp(a, b, 0.5f), Slerp(a, b, 0.8f))));
    EXPECT_NEAR(d1, d2, 1e-3f);
  }
}

TEST(QuatSlerp, DoesNotTakeTheShortWayByItself) {
  const Quat p;
  const Quat q = -QFromAngAxis(HALFPI, Point3(0, 0, 1));  // a quarter turn, on the far hemisphere
  // Long way: from 0 to -270 degrees, the middle is at -135 degrees.
  EXPECT_TRUE(SameRotation(Slerp(p, q, 0.5f), QFromAngAxis(-3 * PI / 4, Point3(0, 0, 1)), 1e-6f));
  Quat near = q;
  near.MakeClosest(p);
  EXPECT_TRUE(SameRotation(Slerp(p, near, 0.5f), QFromAngAxis(PI / 4, Point3(0, 0, 1)), 1e-6f));
}

TEST(QuatSlerp, NearlyParallelAndOppositeInputsStayFinite) {
  const Quat p = QFromAngAxis(1.0f, Point3(1, 2, 3));
  const Quat q = QFromAngAxis(1.0f + 1e-6f, Point3(1, 2, 3));
  for (float t : {0.0f, 0.5f, 1.0f}) {
    const Quat r = Slerp(p, q, t);
    EXPECT_NEAR(r.Length(), 1.0f, 1e-6f);
    EXPECT_TRUE(r.Equals(p, 1e-5f));
  }
  const Quat opposite = -p;
  for (float t : {0.0f, 0.3f, 0.5f, 1.0f}) {
    const Quat r = Slerp(p, opposite, t);
    EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.w));
    EXPECT_NEAR(r.Length(), 1.0f, 1e-6f);
  }
  EXPECT_TRUE(Slerp(p, opposite, 0.0f).Equals(p, 1e-6f));
  EXPECT_TRUE(Slerp(p, opposite, 1.0f).Equals(opposite, 1e-6f));
}
