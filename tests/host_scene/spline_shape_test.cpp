// Spline shape objects: static and keyed shapes, their polylines and validity.
#include "scene_fixture.h"

namespace {

// One open spline of two Bezier knots, every coordinate of the points and handles moved by d
// (the second knot's z as well).
BezierShape TwoKnotShape(float d) {
  auto P = [](float x, float y, float z) { return Point3(x, y, z); };
  BezierShape shape;
  Spline3D* s = shape.NewSpline();
  s->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, P(0 + d, 0, 0), P(-1 + d, 0, 0), P(1 + d, 1, 0)));
  s->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, P(10 + d, 0, d), P(9 + d, 1, 0), P(11 + d, 0, 0)));
  return shape;
}

TEST_F(SceneTest, KeyedShapeInterpolatesEveryPointAndHandleLinearly) {
  SplineShape obj;
  ASSERT_TRUE(obj.AddShapeKey(1600, TwoKnotShape(10)));
  ASSERT_TRUE(obj.AddShapeKey(0, TwoKnotShape(0)));  // keys may come in any order
  ASSERT_EQ(obj.NumShapeKeys(), 2);
  EXPECT_EQ(obj.GetShapeKeyTime(0), 0);

  BezierShape at;
  obj.GetShapeAt(400, at);  // a quarter of the way: every coordinate moved by 2.5
  const Spline3D* s = at.GetSpline(0);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(Near(s->GetKnotPoint(0), Point3(2.5f, 0.0f, 0.0f)));
  EXPECT_TRUE(Near(s->GetInVec(0), Point3(1.5f, 0.0f, 0.0f)));
  EXPECT_TRUE(Near(s->GetOutVec(0), Point3(3.5f, 1.0f, 0.0f)));
  EXPECT_TRUE(Near(s->GetKnotPoint(1), Point3(12.5f, 0.0f, 2.5f)));
  EXPECT_TRUE(Near(s->GetInVec(1), Point3(11.5f, 1.0f, 0.0f)));

  // Held before the first key and after the last.
  obj.GetShapeAt(-5000, at);
  EXPECT_TRUE(Near(at.GetSpline(0)->GetKnotPoint(1), Point3(10, 0, 0)));
  obj.GetShapeAt(99999, at);
  EXPECT_TRUE(Near(at.GetSpline(0)->GetKnotPoint(1), Point3(20, 0, 10)));
}

TEST_F(SceneTest, KeyedShapePolylinesFollowTheTime) {
  SplineShape obj;
  obj.AddShapeKey(0, TwoKnotShape(0));
  obj.AddShapeKey(1600, TwoKnotShape(10));
  obj.AddShapeKey(3200, TwoKnotShape(-10));
  PolyShape ps;
  obj.MakePolyShape(2400, ps, 1, FALSE);  // halfway from +10 to -10: the first key's shape again
  ASSERT_EQ(ps.numLines, 1);
  ASSERT_EQ(ps.lines[0].numPts, 3);  // knot, one interpolated point, last knot
  PolyShape first;
  TwoKnotShape(0).MakePolyShape(first, 1, FALSE);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Near(ps.lines[0][i].p, first.lines[0][i].p)) << i;
}

TEST_F(SceneTest, ShapeKeysMustShareTheirStructure) {
  SplineShape obj;
  ASSERT_TRUE(obj.AddShapeKey(0, TwoKnotShape(0)));
  BezierShape threeKnots = TwoKnotShape(0);
  threeKnots.GetSpline(0)->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(), Point3(), Point3()));
  EXPECT_FALSE(obj.AddShapeKey(800, threeKnots));
  BezierShape closed = TwoKnotShape(0);
  closed.GetSpline(0)->SetClosed();
  EXPECT_FALSE(obj.AddShapeKey(800, closed));
  EXPECT_EQ(obj.NumShapeKeys(), 1);
}

TEST_F(SceneTest, ShapeValidityIsForeverUnlessKeyed) {
  SplineShape obj;
  obj.shape = TwoKnotShape(0);
  EXPECT_EQ(obj.ObjectValidity(100), FOREVER);
  obj.AddShapeKey(0, TwoKnotShape(0));
  obj.AddShapeKey(100, TwoKnotShape(1));
  EXPECT_EQ(obj.ObjectValidity(50), Interval(50, 50));
  EXPECT_EQ(obj.ChannelValidity(50, TOPO_CHAN_NUM), FOREVER);
  obj.ClearShapeKeys();
  EXPECT_EQ(obj.ObjectValidity(50), FOREVER);
}

TEST_F(SceneTest, ObjectChannelsNarrowAndInvalidate) {
  TriObject* tri = CreateNewTriObject();
  ASSERT_NE(tri, nullptr);
  EXPECT_TRUE(tri->IsObjectLocked());
  tri->UpdateValidity(GEOM_CHAN_NUM, Interval(0, 100));
  tri->UpdateValidity(GEOM_CHAN_NUM, Interval(50, 200));
  EXPECT_EQ(tri->ChannelValidity(0, GEOM_CHAN_NUM), Interval(50, 100));
  EXPECT_EQ(tri->ObjectValidity(0), Interval(50, 100));
  tri->InvalidateChannels(TOPO_CHANNEL);
  EXPECT_TRUE(tri->ChannelValidity(0, TOPO_CHAN_NUM).Empty());
  EXPECT_TRUE(tri->ObjectValidity(0).Empty());
  EXPECT_EQ(tri->ChannelValidity(0, TEXMAP_CHAN_NUM), FOREVER);
  tri->DeleteThis();
}

TEST_F(SceneTest, CopiesAreIndependentOfTheOriginal) {
  SplineShape obj;
  obj.AddShapeKey(0, TwoKnotShape(0));
  obj.AddShapeKey(1600, TwoKnotShape(10));
  Object* atHalf = obj.MakeCopyAt(800);
  ASSERT_NE(atHalf, nullptr);
  EXPECT_FALSE(atHalf->IsObjectLocked());
  auto* copy = static_cast<SplineShape*>(atHalf);
  EXPECT_FALSE(copy->IsKeyed());
  EXPECT_EQ(copy->ObjectValidity(800), Interval(800, 800));  // the copy stands for one instant only
  EXPECT_TRUE(Near(copy->shape.GetSpline(0)->GetKnotPoint(0), Point3(5, 0, 0)));
  copy->shape.GetSpline(0)->SetKnotPoint(0, Point3(-99, 0, 0));
  BezierShape at;
  obj.GetShapeAt(800, at);
  EXPECT_TRUE(Near(at.GetSpline(0)->GetKnotPoint(0), Point3(5, 0, 0)));
  atHalf->DeleteThis();

  TriObject tri;
  tri.mesh.setNumVerts(2);
  tri.mesh.setVert(1, Point3(1, 2, 3));
  Object* triCopy = tri.MakeCopyAt(0);
  ASSERT_NE(triCopy, nullptr);
  ASSERT_EQ(triCopy->ClassID(), triObjectClassID);
  EXPECT_TRUE(Near(static_cast<TriObject*>(triCopy)->mesh.getVert(1), Point3(1, 2, 3)));
  triCopy->DeleteThis();
}

TEST_F(SceneTest, ConversionAnswersForOwnClassAndShapes) {
  SplineShape shape;
  EXPECT_TRUE(shape.CanConvertToType(splineShapeClassID));
  EXPECT_TRUE(shape.CanConvertToType(genericShapeClassID));
  EXPECT_FALSE(shape.CanConvertToType(triObjectClassID));
  EXPECT_EQ(shape.ConvertToType(0, genericShapeClassID), &shape);
  EXPECT_EQ(shape.SuperClassID(), SHAPE_CLASS_ID);
  TriObject tri;
  EXPECT_EQ(tri.SuperClassID(), GEOMOBJECT_CLASS_ID);
  EXPECT_FALSE(tri.CanConvertToType(genericShapeClassID));
  EXPECT_EQ(tri.ConvertToType(0, splineShapeClassID), nullptr);
}

}  // namespace
