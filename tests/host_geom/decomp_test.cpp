#include <cmath>

#include "geom_test_util.h"

using namespace geomtest;

namespace {

// The matrix the parts describe (row vectors): stretch about u's axes, sign, rotation, translation.
Matrix3 Rebuild(const AffineParts& ap) {
  return RotationMatrix(ap.u.Inverse()) * ScaleMatrix(ap.k) * RotationMatrix(ap.u) *
         ScaleMatrix(Point3(ap.f, ap.f, ap.f)) * RotationMatrix(ap.q) * TransMatrix(ap.t);
}

bool Finite(const AffineParts& ap) {
  const float v[] = {ap.t.x, ap.t.y, ap.t.z, ap.q.x, ap.q.y, ap.q.z, ap.q.w, ap.u.x,
                     ap.u.y, ap.u.z, ap.u.w, ap.k.x, ap.k.y, ap.k.z, ap.f};
  for (float x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

}  // namespace

TEST(DecompAffine, RecoversScaleRotationTranslationOfComposedMatrices) {
  std::mt19937 rng(17);
  std::vector<Quat> rotations = {Quat(),
                                 QFromAngAxis(0.4f, Point3(0, 0, 1)),
                                 QFromAngAxis(PI, Point3(0, 1, 0)),
                                 QFromAngAxis(PI - 1e-3f, Point3(1.0f, 2.0f, -0.5f)),
                                 QFromAngAxis(PI + 1e-3f, Point3(-1, 1, 1)),
                                 QFromAngAxis(PI, Point3(1, 1, 0))};
  for (int i = 0; i < 20; ++i) rotations.push_back(RandomRotation(rng));
  const Point3 scales[] = {Point3(1, 1, 1), Point3(2, 2, 2), Point3(2, 3, 4), Point3(5.0f, 0.2f, 1.0f),
                           Point3(0.5f, 7.0f, 0.05f)};
  for (const Quat& q : rotations) {
    for (const Point3& k : scales) {
      const Point3 t = RandomPoint(rng, 50);
      AffineParts ap;
      decomp_affine(ScaleMatrix(k) * RotationMatrix(q) * TransMatrix(t), &ap);
      EXPECT_EQ(ap.t, t);
      EXPECT_TRUE(PointNear(ap.k, k, 1e-5f * k.Length()));
      EXPECT_TRUE(SameRotation(ap.q, q, 1e-5f));
      EXPECT_EQ(ap.f, 1.0f);
      if (k.x != k.y && k.y != k.z && k.x != k.z) {
        EXPECT_TRUE(SameRotation(ap.u, Quat(), 1e-5f));
      }
    }
  }
}

TEST(DecompAffine, PartsRebuildGeneralMatrices) {
  std::mt19937 rng(23);
  for (int i = 0; i < 60; ++i) {
    // Random axis rows: shear, mirroring and all.
    Matrix3 m(RandomPoint(rng, 3), RandomPoint(rng, 3), RandomPoint(rng, 3), RandomPoint(rng, 10));
    AffineParts ap;
    decomp_affine(m, &ap);
    EXPECT_TRUE(MatrixNear(Rebuild(ap), m, 1e-4f)) << i;
    const float det = DotProd(m[0] ^ m[1], m[2]);
    EXPECT_EQ(ap.f, det < 0 ? -1.0f : 1.0f);
    EXPECT_GE(ap.k.x, 0.0f);
    EXPECT_GE(ap.k.y, 0.0f);
    EXPECT_GE(ap.k.z, 0.0f);
    EXPECT_NEAR(ap.q.Length(), 1.0f, 1e-5f);
    EXPECT_NEAR(ap.u.Length(), 1.0f, 1e-5f);
  }
}

TEST(DecompAffine, MirroringGivesNegativeSign) {
  const Quat q = QFromAngAxis(0.7f, Point3(1, 2, 3));
  const Matrix3 m = ScaleMatrix(Point3(-2.0f, 3.0f, 4.0f)) * RotationMatrix(q) * TransMatrix(Point3(1, 2, 3));
  AffineParts ap;
  decomp_affine(m, &ap);
  EXPECT_EQ(ap.f, -1.0f);
  EXPECT_TRUE(PointNear(ap.k, Point3(2, 3, 4), 1e-5f));
  EXPECT_TRUE(MatrixNear(Rebuild(ap), m, 1e-5f));
}

TEST(DecompAffine, DegenerateMatricesDecomposeWithoutNaN) {
  AffineParts ap;
  decomp_affine(Matrix3(), &ap);
  EXPECT_TRUE(Finite(ap));
  EXPECT_TRUE(SameRotation(ap.q, Quat(), 1e-7f));
  EXPECT_EQ(ap.k, Point3(1, 1, 1));
  EXPECT_EQ(ap.t, Point3(0, 0, 0));

  decomp_affine(TransMatrix(Point3(4, -5, 6)), &ap);
  EXPECT_TRUE(Finite(ap));
  EXPECT_EQ(ap.t, Point3(4, -5, 6));
  EXPECT_TRUE(SameRotation(ap.q, Quat(), 1e-7f));
  EXPECT_EQ(ap.k, Point3(1, 1, 1));

  // One axis squashed flat: the rotation is still fully determined.
  const Quat q = QFromAngAxis(1.1f, Point3(0.3f, -1.0f, 0.4f));
  Matrix3 flat = ScaleMatrix(Point3(2, 0, 3)) * RotationMatrix(q) * TransMatrix(Point3(1, 1, 1));
  decomp_affine(flat, &ap);
  ASSERT_TRUE(Finite(ap));
  EXPECT_TRUE(SameRotation(ap.q, q, 1e-5f));
  EXPECT_TRUE(PointNear(ap.k, Point3(2, 0, 3), 1e-5f));
  EXPECT_EQ(ap.f, 1.0f);
  EXPECT_TRUE(MatrixNear(Rebuild(ap), flat, 1e-5f));

  // Two axes gone, and everything gone.
  const Matrix3 line = ScaleMatrix(Point3(0, 0, 3)) * RotationMatrix(q);
  decomp_affine(line, &ap);
  ASSERT_TRUE(Finite(ap));
  EXPECT_TRUE(MatrixNear(Rebuild(ap), line, 1e-5f));
  EXPECT_NEAR(ap.k.x + ap.k.y + ap.k.z, 3.0f, 1e-5f);

  Matrix3 zero(FALSE);
  zero.SetTrans(Point3(7, 8, 9));
  decomp_affine(zero, &ap);
  ASSERT_TRUE(Finite(ap));
  EXPECT_EQ(ap.k, Point3(0, 0, 0));
  EXPECT_EQ(ap.t, Point3(7, 8, 9));
  EXPECT_NEAR(ap.q.Length(), 1.0f, 1e-6f);
}
