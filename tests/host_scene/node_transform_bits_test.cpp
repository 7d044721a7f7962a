// Node and object transforms are the products Scale x Rotate x Translate and offset x node, to the bit and
// with the products' flags, whichever way they are computed: unit scale, no turn and default offsets
// included, and the values where a shortcut would differ (-0, infinities, NaN, tiny and huge numbers).
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "scene_fixture.h"

namespace {

// The products, written out as the host composes them.
Matrix3 ReferenceSRT(const Point3& s, const Quat& q, const Point3& p) {
  Matrix3 r;
  r.SetRotate(q);
  return ScaleMatrix(s) * r * TransMatrix(p);
}

::testing::AssertionResult SameMatrix(const Matrix3& got, const Matrix3& want) {
  if (std::memcmp(got.GetAddr(), want.GetAddr(), 12 * sizeof(float)) == 0 &&
      got.GetIdentFlags() == want.GetIdentFlags())
    return ::testing::AssertionSuccess();
  auto text = [](const Matrix3& m) {
    std::string t;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 3; ++j)
        t += std::to_string(m.GetAddr()[i][j]) + (std::signbit(m.GetAddr()[i][j]) ? "(-) " : " ");
    return t + "flags " + std::to_string(m.GetIdentFlags());
  };
  return ::testing::AssertionFailure() << "got " << text(got) << "\nwant " << text(want);
}

class TransformDraw {
 public:
  float Coordinate() {
    static const float kEdges[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-40f, -1e-40f, 1e30f, -3.5f, 0.5f, 1e-7f};
    if (rng_() % 3 == 0) return kEdges[rng_() % (sizeof kEdges / sizeof kEdges[0])];
    return std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(rng_);
  }
  // Half the time exactly no scale; else edge or random factors, -0 and zero included.
  Point3 Scale() {
    if (rng_() % 2) return Point3(1.0f, 1.0f, 1.0f);
    // Factors whose products leave a -0 or an infinity in the axes.
    const float inf = std::numeric_limits<float>::infinity();
    const Point3 odd[] = {Point3(1.0f, 1.0f, -0.0f), Point3(-0.0f, 1.0f, 1.0f), Point3(-0.0f, -0.0f, -1.0f),
                          Point3(inf, 1.0f, 1.0f), Point3(1.0f, -inf, 1.0f)};
    if (rng_() % 2 == 0) return odd[rng_() % (sizeof odd / sizeof odd[0])];
    return Point3(Coordinate(), Coordinate(), Coordinate());
  }
  // Half the time exactly no turn; else -0 parts, quarter and half turns (exact zeros with signs) or any.
  Quat Turn() {
    switch (rng_() % 6) {
      case 0:
      case 1:
      case 2:
        return Quat();
      case 3:
        return Quat(-0.0f, 0.0f, 0.0f, 1.0f);
      case 4: {
        const float h = 0.70710677f;
        const float parts[4][4] = {{0, 0, h, h}, {0, 0, 1, 0}, {h, 0, 0, -h}, {0, -1, 0, 0}};
        const float* q = parts[rng_() % 4];
        return Quat(q[0], q[1], q[2], q[3]);
      }
      default:
        return Quat(Coordinate(), Coordinate(), Coordinate(), Coordinate());
    }
  }
  Point3 Position() {
    if (rng_() % 8 == 0) {
      const float inf = std::numeric_limits<float>::infinity();
      const float odd[] = {inf, -inf, std::nanf("")};
      return Point3(odd[rng_() % 3], Coordinate(), Coordinate());
    }
    return Point3(Coordinate(), Coordinate(), Coordinate());
  }
  bool Coin() { return rng_() % 2 != 0; }

 private:
  std::mt19937 rng_{20261210};
};

TEST_F(SceneTest, NodeAndObjectTransformsAreTheirProductsToTheBit) {
  TransformDraw draw;
  int unitCases = 0, defaultOffsets = 0, nonFiniteTMs = 0;
  for (int i = 0; i < 4000; ++i) {
    INode* node = ip->CreateObjectNode(new SplineShape());
    auto* pos = new LinearPositionControl();
    auto* rot = new LinearRotationControl();
    auto* scl = new LinearScaleControl();
    pos->AddKey(0, draw.Position());
    rot->AddKey(0, draw.Turn());
    scl->AddKey(0, draw.Scale());
    node->SetPositionController(pos);
    node->SetRotationController(rot);
    node->SetScaleController(scl);
    const bool offsets = draw.Coin();
    if (offsets) {
      node->SetObjOffsetPos(draw.Position());
      node->SetObjOffsetRot(draw.Turn());
      node->SetObjOffsetScale(draw.Scale());
    }
    // The reference starts from what the controllers give.
    Point3 p, s;
    Quat q;
    Interval iv = FOREVER;
    pos->GetValue(0, &p, iv, CTRL_ABSOLUTE);
    rot->GetValue(0, &q, iv, CTRL_ABSOLUTE);
    scl->GetValue(0, &s, iv, CTRL_ABSOLUTE);
    const Matrix3 nodeTM = ReferenceSRT(s, q, p);
    const Matrix3 objectTM =
        ReferenceSRT(node->GetObjOffsetScale(), node->GetObjOffsetRot(), node->GetObjOffsetPos()) * nodeTM;
    ASSERT_TRUE(SameMatrix(node->GetNodeTM(0), nodeTM)) << "case " << i;
    ASSERT_TRUE(SameMatrix(node->GetObjectTM(0), objectTM)) << "case " << i;
    const Point3 one(1.0f, 1.0f, 1.0f);
    const Quat none;
    unitCases += std::memcmp(&s, &one, sizeof s) == 0 && std::memcmp(&q, &none, sizeof q) == 0 ? 1 : 0;
    defaultOffsets += offsets ? 0 : 1;
    if (!offsets) {
      bool nonFinite = false;
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
          const float f = nodeTM.GetAddr()[r][c];
          nonFinite |= !std::isfinite(f);
        }
      nonFiniteTMs += nonFinite ? 1 : 0;
    }
    ip->DeleteNode(node);
  }
  // Both ways were taken often, and the values a shortcut must not pass through came up.
  EXPECT_GT(unitCases, 500);
  EXPECT_GT(defaultOffsets, 1000);
  EXPECT_GT(nonFiniteTMs, 100);
}

}  // namespace
