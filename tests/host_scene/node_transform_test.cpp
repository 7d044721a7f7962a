// Node and object transforms from keyed controllers and the object offset.
#include <algorithm>

#include "scene_fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Counter-clockwise rotation seen from the axis tip (Rodrigues), in double precision.
Point3 Rotate(const Point3& v, Point3 axis, double degrees) {
  double len = std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
  double kx = axis.x / len, ky = axis.y / len, kz = axis.z / len;
  double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
  double dot = kx * v.x + ky * v.y + kz * v.z;
  double cx = ky * v.z - kz * v.y, cy = kz * v.x - kx * v.z, cz = kx * v.y - ky * v.x;
  return Point3(v.x * c + cx * s + kx * dot * (1 - c), v.y * c + cy * s + ky * dot * (1 - c),
                v.z * c + cz * s + kz * dot * (1 - c));
}

Quat AxisDegrees(const Point3& axis, double degrees) { return QFromAngAxis(float(degrees * kPi / 180.0), axis); }

// Scale, then rotate, then translate: what a point goes through under Scale x Rotate x Translate.
Point3 SRT(const Point3& p, const Point3& s, const Point3& axis, double degrees, const Point3& t) {
  return Rotate(p * s, axis, degrees) + t;
}

class NodeTransformTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    node = ip->CreateObjectNode(new SplineShape());
    // Position keyed through the node's own default controller.
    Control* pos = node->GetPositionController();
    ASSERT_NE(pos, nullptr);
    Point3 p0(0.0f, 0.0f, 0.0f), p1(100.0f, 50.0f, -20.0f);
    pos->AddNewKey(0, 0);
    pos->SetValue(0, &p0);
    pos->SetValue(1600, &p1);
    // Rotation and scale through controllers set on the node.
    auto* rot = new LinearRotationControl();
    rot->AddKey(0, AxisDegrees(Point3(0, 0, 1), 0));
    rot->AddKey(1600, AxisDegrees(Point3(0, 0, 1), 90));
    node->SetRotationController(rot);
    auto* scl = new LinearScaleControl();
    scl->AddKey(0, Point3(1.0f, 1.0f, 1.0f));
    scl->AddKey(1600, Point3(2.0f, 3.0f, 1.0f));
    node->SetScaleController(scl);
    node->SetObjOffsetPos(Point3(1.0f, 2.0f, 3.0f));
    node->SetObjOffsetRot(AxisDegrees(Point3(1, 0, 0), 90));
    node->SetObjOffsetScale(Point3(2.0f, 2.0f, 2.0f));
  }

  // Where the node's transform puts a point given in node space, at a frame fraction u of the keys.
  Point3 ExpectedNodeSpaceToWorld(const Point3& p, double u) {
    u = std::clamp(u, 0.0, 1.0);
    Point3 s(1.0 + u, 1.0 + 2.0 * u, 1.0);
    Point3 t(100.0 * u, 50.0 * u, -20.0 * u);
    return SRT(p, s, Point3(0, 0, 1), 90.0 * u, t);
  }
  Point3 ExpectedObjectToWorld(const Point3& p, double u) {
    Point3 inNode = SRT(p, Point3(2, 2, 2), Point3(1, 0, 0), 90.0, Point3(1, 2, 3));
    return ExpectedNodeSpaceToWorld(inNode, u);
  }

  INode* node = nullptr;
};

TEST_F(NodeTransformTest, NodeTMAtBetweenAndOutsideKeys) {
  const Point3 probes[] = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0), Point3(0.5f, -2.0f, 4.0f)};
  // Keys at ticks 0 and 1600; u is the fraction of the way from the first to the second.
  const std::pair<TimeValue, double> times[] = {{0, 0.0},    {1600, 1.0}, {800, 0.5},
                                                {400, 0.25}, {-800, 0.0}, {4000, 1.0}};
  for (auto [t, u] : times) {
    Matrix3 tm = node->GetNodeTM(t);
    for (const Point3& p : probes) EXPECT_TRUE(Near(p * tm, ExpectedNodeSpaceToWorld(p, u), 1e-3f)) << "t=" << t;
  }
}

TEST_F(NodeTransformTest, ObjectPointsGoToWorldThroughOffsetThenNode) {
  const Point3 probes[] = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 0, 1), Point3(3.0f, -1.0f, 2.0f)};
  const std::pair<TimeValue, double> times[] = {{0, 0.0}, {800, 0.5}, {1200, 0.75}, {1600, 1.0}, {9999, 1.0}};
  for (auto [t, u] : times) {
    Matrix3 otm = node->GetObjectTM(t);
    for (const Point3& p : probes) EXPECT_TRUE(Near(p * otm, ExpectedObjectToWorld(p, u), 1e-3f)) << "t=" << t;
  }
}

TEST_F(NodeTransformTest, ValidityOfKeyedAndStaticTransforms) {
  Interval keyed = FOREVER;
  node->GetNodeTM(800, &keyed);
  EXPECT_TRUE(keyed.InInterval(800));
  EXPECT_FALSE(keyed.InInterval(0));
  EXPECT_FALSE(keyed.InInterval(1600));

  INode* still = ip->CreateObjectNode(new SplineShape());
  Interval v = FOREVER;
  Matrix3 tm = still->GetObjectTM(12345, &v);
  EXPECT_EQ(v, FOREVER);
  EXPECT_TRUE(tm.Equals(Matrix3()));
}

TEST_F(SceneTest, RotationKeysInterpolateTheShortWay) {
  INode* node = ip->CreateObjectNode(new SplineShape());
  auto* rot = new LinearRotationControl();
  rot->AddKey(0, AxisDegrees(Point3(0, 0, 1), 0));
  rot->AddKey(1600, AxisDegrees(Point3(0, 0, 1), 270));  // the same as -90: the short way is clockwise
  node->SetRotationController(rot);
  Point3 x(1, 0, 0);
  EXPECT_TRUE(Near(x * node->GetNodeTM(800), Rotate(x, Point3(0, 0, 1), -45.0)));
  EXPECT_TRUE(Near(x * node->GetNodeTM(1600), Point3(0, -1, 0)));
}

TEST_F(SceneTest, RotationAboutATiltedAxisFollowsTheRightHandRule) {
  INode* node = ip->CreateObjectNode(new SplineShape());
  Quat q = AxisDegrees(Point3(1, 1, 0), 120);
  node->GetRotationController()->SetValue(0, &q);
  Point3 p(0.2f, -0.7f, 1.5f);
  EXPECT_TRUE(Near(p * node->GetNodeTM(0), Rotate(p, Point3(1, 1, 0), 120.0)));
}

TEST_F(SceneTest, ANullControllerIsReplacedByADefault) {
  INode* node = ip->CreateObjectNode(new SplineShape());
  Point3 p(5, 0, 0);
  node->GetPositionController()->SetValue(0, &p);
  EXPECT_TRUE(Near(Point3(0, 0, 0) * node->GetObjectTM(0), p));
  // A controller replaced by null gets a fresh default.
  node->SetPositionController(nullptr);
  ASSERT_NE(node->GetPositionController(), nullptr);
  EXPECT_TRUE(Near(Point3(0, 0, 0) * node->GetObjectTM(0), Point3(0, 0, 0)));
}

}  // namespace
