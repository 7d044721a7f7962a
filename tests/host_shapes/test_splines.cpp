// Bezier shapes and their conversion to polylines.
#include <gtest/gtest.h>

#include <cmath>

#include "max.h"

namespace {

SplineKnot Corner(Point3 p) { return SplineKnot(KTYPE_CORNER, LTYPE_CURVE, p, p, p); }
SplineKnot Bez(Point3 p, Point3 in, Point3 out) { return SplineKnot(KTYPE_BEZIER_CORNER, LTYPE_CURVE, p, in, out); }

// The scene file's circle: 4 knots counter-clockwise from (r, 0, 0), kappa handles.
void AddCircle(BezierShape& shape, float r) {
  const double kappa = 0.5522847498;
  Spline3D* s = shape.NewSpline();
  for (int k = 0; k < 4; ++k) {
    double th = k * M_PI / 2.0;
    Point3 p(r * std::cos(th), r * std::sin(th), 0.0);
    Point3 t(-std::sin(th) * kappa * r, std::cos(th) * kappa * r, 0.0);
    s->AddKnot(Bez(p, p - t, p + t));
  }
  s->SetClosed();
}

// Independent double-precision evaluation of the cubic, to check the float one against.
Point3 Cubic(Point3 a, Point3 b, Point3 c, Point3 d, double u) {
  double s = 1.0 - u;
  double w0 = s * s * s, w1 = 3 * s * s * u, w2 = 3 * s * u * u, w3 = u * u * u;
  return Point3(w0 * a.x + w1 * b.x + w2 * c.x + w3 * d.x, w0 * a.y + w1 * b.y + w2 * c.y + w3 * d.y,
                w0 * a.z + w1 * b.z + w2 * c.z + w3 * d.z);
}

}  // namespace

TEST(MakePolyShape, OpenCurveFollowsTheCubicThroughBothHandles) {
  BezierShape shape;
  Spline3D* s = shape.NewSpline();
  ASSERT_NE(s, nullptr);
  Point3 p0(0, 0, 1), out0(1, 2, 1), in1(3, 2, -1), p1(4, 0, -1);
  // The unused handles are far away: taking the wrong one shows at once.
  s->AddKnot(Bez(p0, Point3(-50, -50, -50), out0));
  s->AddKnot(Bez(p1, in1, Point3(90, 90, 90)));

  PolyShape poly;
  shape.MakePolyShape(poly, 3);
  ASSERT_EQ(poly.numLines, 1);
  const PolyLine& line = poly.lines[0];
  EXPECT_FALSE(line.IsClosed());
  ASSERT_EQ(line.numPts, 5);
  EXPECT_EQ(line[0].p, p0);
  EXPECT_EQ(line[4].p, p1);
  for (int j = 1; j <= 3; ++j) {
    Point3 want = Cubic(p0, out0, in1, p1, j / 4.0);
    EXPECT_TRUE(line[j].p.Equals(want, 1e-5f)) << "point " << j;
  }
  EXPECT_TRUE(line[0].flags & POLYPT_KNOT);
  EXPECT_TRUE(line[2].flags & POLYPT_INTERPOLATED);
}

TEST(MakePolyShape, PointCountsFollowKnotsStepsAndClosure) {
  BezierShape shape;
  for (int closed = 0; closed < 2; ++closed) {
    Spline3D* s = shape.NewSpline();
    for (int k = 0; k < 3; ++k) s->AddKnot(Corner(Point3(k, k * k, 0)));
    s->SetClosed(closed);
  }
  for (int n : {0, 1, 4}) {
    PolyShape poly;
    shape.MakePolyShape(poly, n);
    ASSERT_EQ(poly.numLines, 2);
    EXPECT_EQ(poly.lines[0].numPts, (3 - 1) * (n + 1) + 1) << "open, steps " << n;
    EXPECT_EQ(poly.lines[1].numPts, 3 * (n + 1)) << "closed, steps " << n;
    EXPECT_FALSE(poly.lines[0].IsClosed());
    EXPECT_TRUE(poly.lines[1].IsClosed());
    // Each segment starts on its knot.
    EXPECT_EQ(poly.lines[1][2 * (n + 1)].p, Point3(2, 4, 0));
  }
  // A negative count takes the shape's own steps.
  shape.steps = 2;
  PolyShape poly;
  shape.MakePolyShape(poly);
  EXPECT_EQ(poly.lines[1].numPts, 9);
}

TEST(MakePolyShape, ClosedCircleStaysOnTheRadius) {
  BezierShape shape;
  const float r = 10.0f;
  AddCircle(shape, r);
  PolyShape poly;
  shape.MakePolyShape(poly, 6);
  ASSERT_EQ(poly.numLines, 1);
  const PolyLine& line = poly.lines[0];
  EXPECT_TRUE(line.IsClosed());
  ASSERT_EQ(line.numPts, 28);
  EXPECT_EQ(line[0].p, Point3(r, 0.0f, 0.0f));
  for (int i = 0; i < line.numPts; ++i) {
    EXPECT_NEAR(line[i].p.Length(), r, 1e-3 * r) << "point " << i;
    EXPECT_EQ(line[i].p.z, 0.0f);
  }
  // The closing segment runs from the last knot back to the first, counter-clockwise.
  EXPECT_GT(line[27].p.y, -r);
  EXPECT_LT(line[27].p.y, 0.0f);
  EXPECT_GT(line[27].p.x, 0.0f);
  EXPECT_GT(line.SignedAreaXY(), 0.0);
}

TEST(MakePolyShape, CornerKnotsGiveStraightSegments) {
  BezierShape shape;
  Spline3D* s = shape.NewSpline();
  Point3 k[3] = {Point3(0, 0, 0), Point3(10, 0, 0), Point3(10, 5, 5)};
  for (const Point3& p : k) s->AddKnot(Corner(p));
  PolyShape poly;
  shape.MakePolyShape(poly, 5);
  const PolyLine& line = poly.lines[0];
  ASSERT_EQ(line.numPts, 13);
  for (int seg = 0; seg < 2; ++seg) {
    Point3 a = k[seg], b = k[seg + 1];
    float prevT = 0.0f;
    for (int j = 1; j <= 5; ++j) {
      Point3 p = line[seg * 6 + j].p;
      EXPECT_LT(((p - a) ^ (b - a)).Length(), 1e-4f) << "off the line, segment " << seg << " point " << j;
      float t = ((p - a) % (b - a)) / (b - a).LengthSquared();
      EXPECT_GT(t, prevT);  // moving forward, between the knots
      EXPECT_LT(t, 1.0f);
      prevT = t;
    }
  }
  // The straight length is the sum of the knot distances.
  EXPECT_NEAR(line.CurveLength(), 10.0f + std::sqrt(50.0f), 1e-4f);
}

TEST(MakePolyShape, DegenerateSplinesAndOrder) {
  BezierShape shape;
  Spline3D* open1 = shape.NewSpline();
  open1->AddKnot(Corner(Point3(1, 2, 3)));
  Spline3D* closed1 = shape.NewSpline();
  closed1->AddKnot(Bez(Point3(4, 5, 6), Point3(0, 0, 0), Point3(9, 9, 9)));
  closed1->SetClosed();
  shape.NewSpline();  // no knots
  EXPECT_EQ(open1->Segments(), 0);
  EXPECT_EQ(closed1->Segments(), 0);

  PolyShape poly;
  shape.MakePolyShape(poly, 4);
  ASSERT_EQ(poly.numLines, 3);
  ASSERT_EQ(poly.lines[0].numPts, 1);
  EXPECT_EQ(poly.lines[0][0].p, Point3(1, 2, 3));
  EXPECT_FALSE(poly.lines[0].IsClosed());
  ASSERT_EQ(poly.lines[1].numPts, 1);
  EXPECT_EQ(poly.lines[1][0].p, Point3(4, 5, 6));
  EXPECT_TRUE(poly.lines[1].IsClosed());
  EXPECT_EQ(poly.lines[2].numPts, 0);

  // Converting again replaces what the polyshape held.
  shape.DeleteSpline(0);
  shape.MakePolyShape(poly, 4);
  EXPECT_EQ(poly.numLines, 2);
  EXPECT_EQ(poly.lines[0][0].p, Point3(4, 5, 6));
}

TEST(MakePolyShape, OptimizeDropsInteriorPointsOfStraightSegmentsOnly) {
  BezierShape shape;
  Spline3D* s = shape.NewSpline();
  s->AddKnot(Corner(Point3(0, 0, 0)));
  s->AddKnot(Bez(Point3(10, 0, 0), Point3(10, 0, 0), Point3(12, 3, 0)));
  s->AddKnot(Corner(Point3(20, 0, 0)));
  PolyShape poly;
  shape.MakePolyShape(poly, 3, TRUE);
  // Segment 0 straight: 1 point; segment 1 curved: 4; plus the end.
  ASSERT_EQ(poly.lines[0].numPts, 6);
  EXPECT_EQ(poly.lines[0][1].p, Point3(10, 0, 0));
  EXPECT_GT(poly.lines[0][2].p.y, 0.0f);
}

TEST(Spline3D, KnotEditingAndSegments) {
  Spline3D s;
  EXPECT_EQ(s.Segments(), 0);
  s.AddKnot(Corner(Point3(0, 0, 0)));
  s.AddKnot(Corner(Point3(2, 0, 0)));
  s.AddKnot(Corner(Point3(1, 0, 0)), 1);   // insert between
  s.AddKnot(Corner(Point3(9, 0, 0)), 99);  // past the end appends
  ASSERT_EQ(s.KnotCount(), 4);
  EXPECT_EQ(s.GetKnotPoint(1), Point3(1, 0, 0));
  EXPECT_EQ(s.GetKnotPoint(3), Point3(9, 0, 0));
  EXPECT_EQ(s.Segments(), 3);
  s.SetClosed();
  EXPECT_EQ(s.Segments(), 4);
  EXPECT_TRUE(s.DeleteKnot(3));
  EXPECT_FALSE(s.DeleteKnot(3));
  EXPECT_EQ(s.Segments(), 3);
  s.SetOpen();
  EXPECT_EQ(s.Segments(), 2);

  s.SetInVec(1, Point3(0.5f, 1.0f, 0.0f));
  s.SetOutVec(1, Point3(1.5f, 1.0f, 0.0f));
  EXPECT_EQ(s.GetKnot(1).InVec(), Point3(0.5f, 1.0f, 0.0f));
  EXPECT_EQ(s.GetOutVec(1), Point3(1.5f, 1.0f, 0.0f));
  // Out-of-range access reads defaults and writes nothing.
  s.SetKnotPoint(7, Point3(5, 5, 5));
  EXPECT_EQ(s.GetKnotPoint(7), Point3());
  s.NewSpline();
  EXPECT_EQ(s.KnotCount(), 0);
  EXPECT_FALSE(s.Closed());
}

TEST(Spline3D, ComputeBezPointsOwnsCornerAutoAndLineHandles) {
  Spline3D s;
  s.AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, Point3(0, 0, 0), Point3(-1, 1, 0), Point3(1, 1, 0)));
  s.AddKnot(SplineKnot(KTYPE_AUTO, LTYPE_LINE, Point3(6, 6, 0), Point3(), Point3()));
  s.AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, Point3(12, 0, 0), Point3(11, 3, 0), Point3(13, -3, 0)));
  s.ComputeBezPoints();
  EXPECT_EQ(s.GetInVec(0), Point3(0, 0, 0));
  EXPECT_EQ(s.GetOutVec(0), Point3(0, 0, 0));
  // Auto: in along the chord between its neighbours; its out handle belongs to a straight segment.
  EXPECT_TRUE(s.GetInVec(1).Equals(Point3(4, 6, 0)));
  EXPECT_EQ(s.GetOutVec(1), Point3(6, 6, 0));
  EXPECT_EQ(s.GetInVec(2), Point3(12, 0, 0));
  EXPECT_EQ(s.GetOutVec(2), Point3(13, -3, 0));  // Bezier handles stay
}

TEST(BezierShape, CopiesAreDeepAndSplinesAreOwned) {
  BezierShape a;
  AddCircle(a, 2.0f);
  a.NewSpline()->AddKnot(Corner(Point3(1, 1, 1)));
  BezierShape b(a);
  ASSERT_EQ(b.SplineCount(), 2);
  EXPECT_NE(b.GetSpline(0), a.GetSpline(0));
  b.GetSpline(0)->SetKnotPoint(0, Point3(7, 7, 7));
  EXPECT_EQ(a.GetSpline(0)->GetKnotPoint(0), Point3(2, 0, 0));

  BezierShape c;
  c.NewSpline();
  c = a;
  EXPECT_EQ(c.SplineCount(), 2);
  EXPECT_EQ(c.splines[1]->GetKnotPoint(0), Point3(1, 1, 1));
  EXPECT_EQ(c.GetNumVerts(), 5);
  EXPECT_EQ(c.GetNumSegs(), 4);
  c.UpdateSels();
  EXPECT_EQ(c.vertSel.GetSize(), 15);
  EXPECT_EQ(c.polySel.GetSize(), 2);

  EXPECT_EQ(c.GetSpline(2), nullptr);
  EXPECT_EQ(c.GetSpline(-1), nullptr);
  c.NewShape();
  EXPECT_EQ(c.SplineCount(), 0);
  EXPECT_EQ(c.splines, nullptr);
  EXPECT_EQ(a.SplineCount(), 2);
}
