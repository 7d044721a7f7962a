#include <cmath>

#include "geom_test_util.h"

using namespace geomtest;

namespace {

// What a set flag promises must hold for the contents.
::testing::AssertionResult FlagsHonest(const Matrix3& m) {
  const DWORD f = m.GetIdentFlags();
  if ((f & POS_IDENT) && !(m[3] == Point3(0.0f, 0.0f, 0.0f)))
    return ::testing::AssertionFailure() << "POS_IDENT with a translation";
  const bool diagonal = m[0].y == 0 && m[0].z == 0 && m[1].x == 0 && m[1].z == 0 && m[2].x == 0 && m[2].y == 0;
  if ((f & ROT_IDENT) && !diagonal) return ::testing::AssertionFailure() << "ROT_IDENT with a rotation";
  if ((f & ROT_IDENT) && (f & SCL_IDENT) && !(m[0].x == 1 && m[1].y == 1 && m[2].z == 1))
    return ::testing::AssertionFailure() << "ROT_IDENT|SCL_IDENT with a scale";
  if (f & SCL_IDENT) {
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        if (std::fabs(DotProd(m[i], m[j]) - (i == j ? 1.0f : 0.0f)) > 1e-5f)
          return ::testing::AssertionFailure() << "SCL_IDENT with rows that are not orthonormal";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Matrix3Rotation, TurnsCounterClockwiseSeenFromTheAxisTip) {
  EXPECT_TRUE(PointNear(Point3(1, 0, 0) * RotateZMatrix(HALFPI), Point3(0, 1, 0), 1e-6f));
  EXPECT_TRUE(PointNear(Point3(0, 1, 0) * RotateXMatrix(HALFPI), Point3(0, 0, 1), 1e-6f));
  EXPECT_TRUE(PointNear(Point3(0, 0, 1) * RotateYMatrix(HALFPI), Point3(1, 0, 0), 1e-6f));
  // A third of a turn about the diagonal cycles the axes.
  EXPECT_TRUE(PointNear(Point3(1, 0, 0) * RotAngleAxisMatrix(Point3(1, 1, 1), TWOPI / 3), Point3(0, 1, 0), 1e-6f));
}

TEST(Matrix3Product, LeftFactorActsFirstOnRowVectors) {
  const Matrix3 m = TransMatrix(Point3(1, 0, 0)) * RotateZMatrix(HALFPI);
  EXPECT_TRUE(PointNear(Point3(0, 0, 0) * m, Point3(0, 1, 0), 1e-6f));  // moved, then turned
  std::mt19937 rng(11);
  for (int i = 0; i < 20; ++i) {
    const Matrix3 a =
        ScaleMatrix(RandomPoint(rng, 3)) * RotationMatrix(RandomRotation(rng)) * TransMatrix(RandomPoint(rng, 10));
    const Matrix3 b = RotationMatrix(RandomRotation(rng)) * TransMatrix(RandomPoint(rng, 10));
    const Point3 p = RandomPoint(rng, 5);
    EXPECT_TRUE(PointNear(p * (a * b), (p * a) * b, 1e-4f));
    Matrix3 c = a;
    c *= b;
    EXPECT_EQ(c, a * b);
  }
}

TEST(Matrix3Product, VectorTransformIgnoresTranslation) {
  const Matrix3 m = RotateXMatrix(0.3f) * TransMatrix(Point3(5, 6, 7));
  const Point3 v(1, 2, 3);
  EXPECT_TRUE(PointNear(VectorTransform(m, v), v * RotateXMatrix(0.3f), 1e-6f));
  EXPECT_TRUE(PointNear(m.VectorTransform(v) + m.GetTrans(), m.PointTransform(v), 1e-5f));
}

TEST(Matrix3Inverse, UndoesRotationNonUniformScaleAndTranslation) {
  std::mt19937 rng(7);
  for (int i = 0; i < 50; ++i) {
    const Matrix3 m = ScaleMatrix(Point3(0.2f, 3.0f, -1.5f)) * RotationMatrix(RandomRotation(rng)) *
                      TransMatrix(RandomPoint(rng, 100));
    const Matrix3 inv = Inverse(m);
    EXPECT_TRUE(MatrixNear(m * inv, Matrix3(), 1e-4f));
    EXPECT_TRUE(MatrixNear(inv * m, Matrix3(), 1e-4f));
    const Point3 p = RandomPoint(rng, 10);
    EXPECT_TRUE(PointNear((p * m) * inv, p, 1e-3f));
    Matrix3 inverted = m;
    inverted.Invert();
    EXPECT_EQ(inverted, inv);
  }
}

TEST(Matrix3Inverse, SingularGivesIdentityWithoutNaN) {
  const Matrix3 flat = ScaleMatrix(Point3(1, 0, 1)) * TransMatrix(Point3(1, 2, 3));
  const Matrix3 inv = Inverse(flat);
  EXPECT_EQ(inv, Matrix3());
  EXPECT_TRUE(inv.IsIdentity());
}

TEST(Matrix3Incremental, MembersMatchTheProductsTheyStandFor) {
  std::mt19937 rng(3);
  const Matrix3 base =
      ScaleMatrix(Point3(2.0f, 1.0f, 0.5f)) * RotationMatrix(RandomRotation(rng)) * TransMatrix(Point3(4, -2, 9));
  const Point3 p(1, -3, 2);
  Matrix3 m = base;
  m.Translate(p);
  EXPECT_TRUE(MatrixNear(m, base * TransMatrix(p), 1e-6f));
  m = base;
  m.PreTranslate(p);
  EXPECT_TRUE(MatrixNear(m, TransMatrix(p) * base, 1e-5f));
  m = base;
  m.RotateX(0.7f);
  EXPECT_TRUE(MatrixNear(m, base * RotateXMatrix(0.7f), 1e-6f));
  m = base;
  m.RotateY(-1.1f);
  EXPECT_TRUE(MatrixNear(m, base * RotateYMatrix(-1.1f), 1e-6f));
  m = base;
  m.RotateZ(2.5f);
  EXPECT_TRUE(MatrixNear(m, base * RotateZMatrix(2.5f), 1e-6f));
  m = base;
  m.Scale(Point3(2, 3, 4), TRUE);
  EXPECT_TRUE(MatrixNear(m, base * ScaleMatrix(Point3(2, 3, 4)), 1e-6f));
  m = base;
  m.Scale(Point3(2, 3, 4));
  EXPECT_EQ(m.GetTrans(), base.GetTrans());
  EXPECT_TRUE(PointNear(m.GetRow(0), base.GetRow(0) * Point3(2, 3, 4), 1e-6f));
}

TEST(Matrix3Shape, NoScaleAndOrthogonalize) {
  Matrix3 m(Point3(2, 0, 0), Point3(1, 3, 0), Point3(1, 1, 4), Point3(7, 8, 9));
  m.Orthogonalize();
  EXPECT_NEAR(DotProd(m[0], m[1]), 0.0f, 1e-6f);
  EXPECT_NEAR(DotProd(m[0], m[2]), 0.0f, 1e-6f);
  EXPECT_NEAR(DotProd(m[1], m[2]), 0.0f, 1e-6f);
  EXPECT_NEAR(m[1].Length(), std::sqrt(10.0f), 1e-5f);
  EXPECT_NEAR(m[2].Length(), std::sqrt(18.0f), 1e-5f);
  m.NoScale();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(m[i].Length(), 1.0f, 1e-6f);
  EXPECT_EQ(m.GetTrans(), Point3(7, 8, 9));
}

TEST(Matrix3Flags, PureConstructionsSetWhatHolds) {
  EXPECT_EQ(Matrix3().GetIdentFlags(), DWORD(MAT_IDENT));
  EXPECT_EQ(Matrix3(TRUE).GetIdentFlags(), DWORD(MAT_IDENT));
  EXPECT_EQ(Matrix3(FALSE).GetIdentFlags(), 0u);
  EXPECT_EQ(TransMatrix(Point3(1, 2, 3)).GetIdentFlags(), DWORD(ROT_IDENT | SCL_IDENT));
  EXPECT_EQ(ScaleMatrix(Point3(1, 2, 3)).GetIdentFlags(), DWORD(POS_IDENT | ROT_IDENT));
  EXPECT_EQ(RotateZMatrix(0.5f).GetIdentFlags(), DWORD(POS_IDENT | SCL_IDENT));
  EXPECT_EQ(RotationMatrix(QFromAngAxis(1.0f, Point3(1, 2, 3))).GetIdentFlags(), DWORD(POS_IDENT | SCL_IDENT));
  EXPECT_EQ(Matrix3(Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(0, 0, 0)).GetIdentFlags(),
            DWORD(MAT_IDENT));
}

TEST(Matrix3Flags, ProductsKeepSharedFlagsAndWritesDropThem) {
  EXPECT_EQ((Matrix3() * Matrix3()).GetIdentFlags(), DWORD(MAT_IDENT));
  EXPECT_EQ((RotateXMatrix(1) * RotateYMatrix(2)).GetIdentFlags(), DWORD(POS_IDENT | SCL_IDENT));
  EXPECT_EQ((ScaleMatrix(Point3(2, 2, 2)) * TransMatrix(Point3(1, 0, 0))).GetIdentFlags(), DWORD(ROT_IDENT));

  Matrix3 m;
  m.SetRow(1, Point3(0, 1, 0));  // same contents, but a row write promises nothing
  EXPECT_EQ(m.GetIdentFlags(), 0u);
  EXPECT_FALSE(m.IsIdentity());
  m.ValidateFlags();
  EXPECT_TRUE(m.IsIdentity());

  const Matrix3& cm = m;
  EXPECT_EQ(cm[0].x, 1.0f);  // reading keeps the flags
  EXPECT_TRUE(m.IsIdentity());
  m[3].x = 5.0f;
  EXPECT_FALSE(m.GetIdentFlags() & POS_IDENT);

  m.IdentityMatrix();
  m.Translate(Point3(1, 0, 0));
  EXPECT_EQ(m.GetIdentFlags(), DWORD(ROT_IDENT | SCL_IDENT));
  m.NoTrans();
  EXPECT_TRUE(m.IsIdentity());
  m.Scale(Point3(2, 1, 1));
  EXPECT_EQ(m.GetIdentFlags(), DWORD(POS_IDENT | ROT_IDENT));
  m.ClearIdentFlag(ROT_IDENT);
  EXPECT_EQ(m.GetIdentFlags(), DWORD(POS_IDENT));
  m.SetIdentFlags(MAT_IDENT);
  EXPECT_EQ(m.GetIdentFlags(), DWORD(MAT_IDENT));
}

TEST(Matrix3Flags, StayHonestThroughChainsOfOperations) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> op(0, 9);
  for (int run = 0; run < 40; ++run) {
    Matrix3 m;
    for (int step = 0; step < 12; ++step) {
      switch (op(rng)) {
        case 0:
          m = m * RotationMatrix(RandomRotation(rng));
          break;
        case 1:
          m = ScaleMatrix(RandomPoint(rng, 2)) * m;
          break;
        case 2:
          m.Translate(RandomPoint(rng, 3));
          break;
        case 3:
          m.PreTranslate(RandomPoint(rng, 3));
          break;
        case 4:
          m = Inverse(m);
          break;
        case 5:
          m.NoTrans();
          break;
        case 6:
          m.RotateY(1.0f);
          break;
        case 7:
          m.Scale(RandomPoint(rng, 2), TRUE);
          break;
        case 8:
          m.IdentityMatrix();
          break;
        default:
          m = m * Matrix3();
          break;
      }
      ASSERT_TRUE(FlagsHonest(m)) << "run " << run << " step " << step;
    }
  }
}

TEST(Matrix3Compare, EqualsHoldsUpToEpsilonInEveryElement) {
  const Matrix3 a(Point3(1, 2, 3), Point3(4, 5, 6), Point3(7, 8, 9), Point3(10, 11, 12));
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 3; ++j) {
      Matrix3 b = a;
      b[i][j] += 0.5f;  // exactly representable difference
      EXPECT_TRUE(a.Equals(b, 0.5f)) << i << "," << j;
      EXPECT_FALSE(a.Equals(b, 0.49f)) << i << "," << j;
      EXPECT_FALSE(a == b) << i << "," << j;
      EXPECT_TRUE(a != b);
    }
  }
  Matrix3 c = a;
  c.ClearIdentFlag(MAT_IDENT);
  c.SetIdentFlags(POS_IDENT);
  EXPECT_TRUE(a.Equals(c));  // the flags are not contents
  EXPECT_TRUE(a == c);
  Matrix3 tiny = Matrix3();
  tiny[3].x = 1e-6f;
  EXPECT_TRUE(Matrix3().Equals(tiny));  // default epsilon is inclusive
  tiny[3].x = 2e-6f;
  EXPECT_FALSE(Matrix3().Equals(tiny));
}
