// What callers may read from a transform without decomposing it: the translation is the matrix's own
// row, and an axis part that is exactly the identity gives unit stretch and no rotation, to the bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "geom_test_util.h"

namespace {

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

::testing::AssertionResult SameBits(const Point3& a, const Point3& b) {
  if (Bits(a.x) == Bits(b.x) && Bits(a.y) == Bits(b.y) && Bits(a.z) == Bits(b.z)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y
                                       << ", " << b.z << ")";
}

// Translations that are awkward to carry through arithmetic: signed zeros, huge, tiny, not finite.
std::vector<Point3> AwkwardTranslations() {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const float tiny = std::numeric_limits<float>::denorm_min(), big = std::numeric_limits<float>::max();
  return {Point3(0.0f, 0.0f, 0.0f),         Point3(-0.0f, 0.0f, -0.0f), Point3(tiny, -tiny, 1e-30f),
          Point3(big, -big, 3e38f),         Point3(inf, -inf, 1.0f),    Point3(nan, 2.0f, -nan),
          Point3(1.0f / 3.0f, -7.25f, 1e7f)};
}

}  // namespace

TEST(DecompShortcuts, TranslationIsTheMatrixRowWhateverTheAxes) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> d(-3.0f, 3.0f);
  std::vector<Matrix3> axes;
  for (int i = 0; i < 40; ++i) {
    const Point3 s(d(rng), d(rng), d(rng));
    axes.push_back(geomtest::RotationMatrix(geomtest::RandomRotation(rng)));                   // rotation
    axes.push_back(ScaleMatrix(s) * geomtest::RotationMatrix(geomtest::RandomRotation(rng)));  // scale, mirror
    Matrix3 shear(FALSE);  // any nine numbers: shear
    for (int r = 0; r < 3; ++r) shear.SetRow(r, Point3(d(rng), d(rng), d(rng)));
    shear.SetRow(3, Point3(0.0f, 0.0f, 0.0f));
    axes.push_back(shear);
  }
  axes.push_back(ScaleMatrix(Point3(0.0f, 0.0f, 0.0f)));  // no axes at all
  Matrix3 broken;
  broken.SetRow(1, Point3(std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f));
  axes.push_back(broken);
  int checked = 0;
  for (const Matrix3& a : axes)
    for (Point3 t : AwkwardTranslations()) {
      Matrix3 m = a;
      m.SetTrans(t);
      AffineParts parts;
      decomp_affine(m, &parts);
      ASSERT_TRUE(SameBits(parts.t, m.GetTrans())) << "matrix " << checked;
      ++checked;
    }
  // Moving the same axes: decomp_affine's rotation and stretch do not depend on the translation.
  AffineParts still, moved;
  decomp_affine(axes[4], &still);
  Matrix3 m = axes[4];
  m.SetTrans(Point3(-300.0f, 12.5f, 1e6f));
  decomp_affine(m, &moved);
  EXPECT_TRUE(SameBits(moved.k, still.k));
  EXPECT_EQ(Bits(moved.q.w), Bits(still.q.w));
  EXPECT_EQ(Bits(moved.q.x), Bits(still.q.x));
}

TEST(DecompShortcuts, IdentityAxesGiveUnitStretchAndNoRotationExactly) {
  for (Point3 t : AwkwardTranslations()) {
    AffineParts parts;
    decomp_affine(TransMatrix(t), &parts);
    EXPECT_TRUE(SameBits(parts.t, t));
    EXPECT_TRUE(SameBits(parts.k, Point3(1.0f, 1.0f, 1.0f)));
    EXPECT_TRUE(SameBits(Point3(parts.q.x, parts.q.y, parts.q.z), Point3(0.0f, 0.0f, 0.0f)));
    EXPECT_EQ(Bits(parts.q.w), Bits(1.0f));
    EXPECT_EQ(parts.f, 1.0f);
  }
  // The rotation those parts rebuild, and any slerp between two of them, is the identity exactly.
  Matrix3 rot;
  rot.SetRotate(Quat());
  for (int r = 0; r < 3; ++r) {
    Point3 row(0.0f, 0.0f, 0.0f);
    row[r] = 1.0f;
    EXPECT_TRUE(SameBits(rot.GetRow(r), row)) << "row " << r;
  }
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(0.0f, 1.0f);
  std::vector<float> us = {0.0f, 1.0f, std::numeric_limits<float>::denorm_min(), 1e-9f, 0.5f, 0.99999994f};
  for (int i = 0; i < 2000; ++i) us.push_back(d(rng));
  for (float u : us) {
    const Quat q = Slerp(Quat(), Quat(), u);
    ASSERT_TRUE(SameBits(Point3(q.x, q.y, q.z), Point3(0.0f, 0.0f, 0.0f))) << u;
    ASSERT_EQ(Bits(q.w), Bits(1.0f)) << u;
  }
}
