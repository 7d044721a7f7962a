// How long a shape, and a stack built on one, says it stays the same: the interval each reports must be
// true (the shape is the same at every time inside it) and as wide as the keys and modifiers allow.
#include <cstring>

#include "test_modifiers.h"

namespace {

BezierShape Segment(float d) {
  BezierShape shape;
  AddCornerSpline(shape, {Point3(0, 0, 0), Point3(10.0f + d, d, 0.0f)});
  return shape;
}

// The polyline points of a shape object at t, bit for bit.
std::vector<Point3> PointsAt(ShapeObject* obj, TimeValue t) {
  PolyShape ps;
  obj->MakePolyShape(t, ps, 3, FALSE);
  std::vector<Point3> out;
  for (int l = 0; l < ps.numLines; ++l)
    for (int i = 0; i < ps.lines[l].numPts; ++i) out.push_back(ps.lines[l].pts[i].p);
  return out;
}

bool SameBits(const std::vector<Point3>& a, const std::vector<Point3>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Point3)) == 0;
}

class ShapeValidity : public SceneTest {};

}  // namespace

TEST_F(ShapeValidity, KeyedShapeHoldsBeforeItsFirstKeyAndAfterItsLastOnly) {
  SplineShape obj;
  obj.AddShapeKey(800, Segment(0));
  obj.AddShapeKey(1600, Segment(5));
  obj.AddShapeKey(2400, Segment(-5));
  EXPECT_EQ(obj.ObjectValidity(-5000), Interval(TIME_NegInfinity, 800));
  EXPECT_EQ(obj.ObjectValidity(800), Interval(TIME_NegInfinity, 800));
  EXPECT_EQ(obj.ObjectValidity(801), Interval(801, 801));
  EXPECT_EQ(obj.ObjectValidity(1600), Interval(1600, 1600)) << "a key between others holds only its instant";
  EXPECT_EQ(obj.ObjectValidity(2400), Interval(2400, TIME_PosInfinity));
  EXPECT_EQ(obj.ChannelValidity(1200, TOPO_CHAN_NUM), FOREVER) << "keys share their structure";

  // What the intervals claim is true: the same points at both ends of each, and different ones just
  // inside the keys.
  EXPECT_TRUE(SameBits(PointsAt(&obj, -5000), PointsAt(&obj, 800)));
  EXPECT_TRUE(SameBits(PointsAt(&obj, 2400), PointsAt(&obj, 90000)));
  EXPECT_FALSE(SameBits(PointsAt(&obj, 800), PointsAt(&obj, 801)));
  EXPECT_FALSE(SameBits(PointsAt(&obj, 2399), PointsAt(&obj, 2400)));

  SplineShape single;
  single.AddShapeKey(800, Segment(3));
  EXPECT_EQ(single.ObjectValidity(0), FOREVER) << "one key is a static shape";
  EXPECT_TRUE(SameBits(PointsAt(&single, -100000), PointsAt(&single, 100000)));
}

TEST_F(ShapeValidity, CopyMadeAtATimeCarriesTheKeyedValidity) {
  SplineShape obj;
  obj.AddShapeKey(0, Segment(0));
  obj.AddShapeKey(1600, Segment(10));
  Object* after = obj.MakeCopyAt(4000);
  Object* between = obj.MakeCopyAt(400);
  ASSERT_NE(after, nullptr);
  ASSERT_NE(between, nullptr);
  EXPECT_EQ(after->ObjectValidity(4000), Interval(1600, TIME_PosInfinity));
  EXPECT_EQ(between->ObjectValidity(400), Interval(400, 400));
  after->DeleteThis();
  between->DeleteThis();
}

TEST_F(ShapeValidity, StackBelowNarrowsByEachModifiersOwnValidity) {
  auto* base = new SplineShape();
  base->shape = Segment(0);
  IDerivedObject* derived = CreateDerivedObject(base);
  auto* shift = new ShiftModifier();
  auto* toMesh = new ToMeshModifier();
  derived->AddModifier(shift);
  derived->AddModifier(toMesh);  // on top: index 0
  ip->CreateObjectNode(derived);

  // A static shape alone holds forever; under an animated modifier only the instant.
  EXPECT_EQ(derived->Eval(800, 2).Validity(800), FOREVER);
  EXPECT_EQ(derived->Eval(800, 1).Validity(800), Interval(800, 800));

  // A modifier with no time of its own keeps what the shape below it allows.
  shift->DisableMod();
  EXPECT_EQ(derived->Eval(800, 0).Validity(800), FOREVER);
  base->AddShapeKey(0, Segment(0));
  base->AddShapeKey(1600, Segment(4));
  EXPECT_EQ(derived->Eval(3200, 0).Validity(3200), Interval(1600, TIME_PosInfinity));
  EXPECT_EQ(derived->Eval(800, 0).Validity(800), Interval(800, 800));
  shift->EnableMod();
  EXPECT_EQ(derived->Eval(3200, 1).Validity(3200), Interval(3200, 3200));
}
