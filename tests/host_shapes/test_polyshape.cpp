// Polylines: measures, reversal and curve organisation.
#include <gtest/gtest.h>

#include "max.h"

namespace {

PolyLine Line(std::initializer_list<Point3> pts, bool closed) {
  PolyLine l;
  for (const Point3& p : pts) l.Append(PolyPt(p));
  if (closed) l.Close();
  return l;
}

// Axis-aligned square around (cx, cy), counter-clockwise unless cw.
PolyLine Square(float cx, float cy, float h, bool cw, bool closed = true) {
  PolyLine l = Line({Point3(cx - h, cy - h, 0.0f), Point3(cx + h, cy - h, 0.0f), Point3(cx + h, cy + h, 0.0f),
                     Point3(cx - h, cy + h, 0.0f)},
                    closed);
  if (cw) l.Reverse(TRUE);
  return l;
}

std::vector<Point3> Points(const PolyLine& l) {
  std::vector<Point3> v;
  for (int i = 0; i < l.numPts; ++i) v.push_back(l[i].p);
  return v;
}

}  // namespace

TEST(PolyLine, SegmentsAndCurveLength) {
  PolyLine l = Line({Point3(0, 0, 0), Point3(3, 0, 0), Point3(3, 4, 0)}, false);
  EXPECT_EQ(l.Segments(), 2);
  EXPECT_FLOAT_EQ(l.CurveLength(), 7.0f);
  l.Close();
  EXPECT_EQ(l.Segments(), 3);
  EXPECT_FLOAT_EQ(l.CurveLength(), 12.0f);  // the closing segment counts

  PolyLine one = Line({Point3(1, 1, 1)}, false);
  EXPECT_EQ(one.Segments(), 0);
  one.Close();
  EXPECT_EQ(one.Segments(), 1);
  EXPECT_EQ(one.CurveLength(), 0.0f);
  PolyLine none;
  none.Close();
  EXPECT_EQ(none.Segments(), 0);
  EXPECT_EQ(none.CurveLength(), 0.0f);
}

TEST(PolyLine, ReverseWholeOrKeepingPointZero) {
  Point3 a(0, 0, 0), b(1, 0, 0), c(1, 1, 0), d(0, 1, 0);
  PolyLine l = Line({a, b, c, d}, true);
  l.Reverse(FALSE);
  EXPECT_EQ(Points(l), (std::vector<Point3>{d, c, b, a}));
  l = Line({a, b, c, d}, true);
  l.Reverse(TRUE);
  EXPECT_EQ(Points(l), (std::vector<Point3>{a, d, c, b}));
  EXPECT_TRUE(l.IsClosed());
  EXPECT_LT(l.SignedAreaXY(), 0.0);
}

TEST(PolyLine, ResizingAndEditing) {
  PolyLine l = Line({Point3(1, 0, 0), Point3(2, 0, 0)}, false);
  ASSERT_TRUE(l.SetNumPts(4));  // keeps by default
  EXPECT_EQ(l[1].p, Point3(2, 0, 0));
  EXPECT_EQ(l[3].p, Point3());
  l.Insert(1, PolyPt(Point3(5, 5, 5)));
  EXPECT_EQ(l.numPts, 5);
  EXPECT_EQ(l.pts[1].p, Point3(5, 5, 5));
  l.Delete(0);
  EXPECT_EQ(l[0].p, Point3(5, 5, 5));
  ASSERT_TRUE(l.SetNumPts(2, FALSE));
  EXPECT_EQ(l[0].p, Point3());
  ASSERT_TRUE(l.SetNumPts(-3));
  EXPECT_EQ(l.numPts, 0);
  EXPECT_EQ(l.pts, nullptr);
}

TEST(OrganizeCurves, OuterCurvesRunCounterClockwise) {
  PolyShape shape;
  shape.Append(Square(0, 0, 1, /*cw=*/true));
  shape.Append(Square(10, 0, 1, /*cw=*/false));
  ShapeHierarchy hier;
  shape.OrganizeCurves(0, &hier);
  ASSERT_EQ(hier.reverse.GetSize(), 2);
  EXPECT_TRUE(hier.reverse[0]);
  EXPECT_FALSE(hier.reverse[1]);
  EXPECT_FALSE(hier.IsHole(0));
  EXPECT_FALSE(hier.IsHole(1));
  // Organising only reports; applying the bits turns the clockwise square around.
  EXPECT_LT(shape.lines[0].SignedAreaXY(), 0.0);
  shape.Reverse(hier.reverse);
  EXPECT_GT(shape.lines[0].SignedAreaXY(), 0.0);
  EXPECT_GT(shape.lines[1].SignedAreaXY(), 0.0);
}

TEST(OrganizeCurves, HolesRunClockwise) {
  PolyShape shape;
  shape.Append(Square(0, 0, 10, false));  // outer, ccw: stays
  shape.Append(Square(0, 0, 2, false));   // hole, ccw: reversed
  shape.Append(Square(5, 5, 1, true));    // hole, cw: stays
  ShapeHierarchy hier;
  shape.OrganizeCurves(0, &hier);
  EXPECT_FALSE(hier.reverse[0]);
  EXPECT_TRUE(hier.reverse[1]);
  EXPECT_FALSE(hier.reverse[2]);
  EXPECT_TRUE(hier.IsHole(1));
  EXPECT_TRUE(hier.IsHole(2));
  EXPECT_EQ(hier.Parent(1), 0);
  EXPECT_EQ(hier.Parent(0), -1);
}

TEST(OrganizeCurves, OpenLinesAreNeverReversedNorContainers) {
  PolyShape shape;
  // An open clockwise square around a closed clockwise square: the open one holds nothing.
  shape.Append(Square(0, 0, 10, true, /*closed=*/false));
  shape.Append(Square(0, 0, 2, true));
  shape.Append(Line({Point3(25, 0, 0), Point3(20, -5, 0), Point3(15, 0, 0)}, false));  // clockwise if closed
  ShapeHierarchy hier;
  shape.OrganizeCurves(0, &hier);
  EXPECT_FALSE(hier.reverse[0]);
  EXPECT_TRUE(hier.reverse[1]);  // outer (the open line does not count), clockwise
  EXPECT_FALSE(hier.IsHole(1));
  EXPECT_FALSE(hier.reverse[2]);
  EXPECT_EQ(hier.Depth(2), 0);
}

TEST(OrganizeCurves, NestingAlternatesThreeDeep) {
  PolyShape shape;
  // Listed innermost first so the result cannot come from the order.
  shape.Append(Square(0, 0, 1, true));   // depth 3: hole, cw -> stays
  shape.Append(Square(0, 0, 5, false));  // depth 1: hole, ccw -> reversed
  shape.Append(Square(0, 0, 9, false));  // depth 0: outer, ccw -> stays
  shape.Append(Square(0, 0, 3, true));   // depth 2: outer again, cw -> reversed
  ShapeHierarchy hier;
  shape.OrganizeCurves(0, &hier);
  EXPECT_EQ(hier.Depth(2), 0);
  EXPECT_EQ(hier.Depth(1), 1);
  EXPECT_EQ(hier.Depth(3), 2);
  EXPECT_EQ(hier.Depth(0), 3);
  EXPECT_TRUE(hier.IsHole(1));
  EXPECT_FALSE(hier.IsHole(3));
  EXPECT_TRUE(hier.IsHole(0));
  EXPECT_FALSE(hier.reverse[2]);
  EXPECT_TRUE(hier.reverse[1]);
  EXPECT_TRUE(hier.reverse[3]);
  EXPECT_FALSE(hier.reverse[0]);  // a hole already clockwise
  EXPECT_EQ(hier.Parent(0), 3);
  EXPECT_EQ(hier.Parent(3), 1);
  EXPECT_EQ(hier.Parent(1), 2);
}

TEST(OrganizeCurves, InsideIsDecidedByTheFirstPointEvenOdd) {
  PolyShape shape;
  // A U shape (concave, ccw); the small square's first point sits in the notch, outside the U.
  shape.Append(Line({Point3(0, 0, 0), Point3(9, 0, 0), Point3(9, 9, 0), Point3(6, 9, 0), Point3(6, 3, 0),
                     Point3(3, 3, 0), Point3(3, 9, 0), Point3(0, 9, 0)},
                    true));
  PolyLine sq = Square(4.5f, 6, 1, false);
  shape.Append(sq);
  // Same square, but starting on a point inside the U's left arm.
  PolyLine sq2 = Line({Point3(1, 5, 0), Point3(2, 5, 0), Point3(2, 6, 0), Point3(1, 6, 0)}, true);
  shape.Append(sq2);
  ShapeHierarchy hier;
  shape.OrganizeCurves(0, &hier);
  EXPECT_FALSE(hier.IsHole(1));
  EXPECT_FALSE(hier.reverse[1]);
  EXPECT_TRUE(hier.IsHole(2));
  EXPECT_TRUE(hier.reverse[2]);
}

TEST(PolyShape, ReverseByBitsAndByIndex) {
  PolyShape shape;
  shape.Append(Line({Point3(0, 0, 0), Point3(1, 0, 0), Point3(2, 0, 0)}, false));
  shape.Append(Line({Point3(0, 1, 0), Point3(1, 1, 0), Point3(2, 1, 0)}, false));
  BitArray bits(1);  // shorter than the shape: line 1 untouched
  bits.Set(0);
  shape.Reverse(bits);
  EXPECT_EQ(shape.lines[0][0].p, Point3(2, 0, 0));
  EXPECT_EQ(shape.lines[1][0].p, Point3(0, 1, 0));
  shape.Reverse(1, TRUE);
  EXPECT_EQ(Points(shape.lines[1]), (std::vector<Point3>{Point3(0, 1, 0), Point3(2, 1, 0), Point3(1, 1, 0)}));
  shape.Reverse(5);  // ignored

  PolyShape copy(shape);
  copy.lines[0][0].p = Point3(9, 9, 9);
  EXPECT_EQ(shape.lines[0][0].p, Point3(2, 0, 0));
  PolyLine& added = copy.NewLine();
  EXPECT_EQ(added.numPts, 0);
  EXPECT_EQ(copy.numLines, 3);
  copy.SetNumLines(1);
  EXPECT_EQ(copy.numLines, 1);
  EXPECT_EQ(copy.lines[0][0].p, Point3(9, 9, 9));
  copy.NewShape();
  EXPECT_EQ(copy.numLines, 0);
}
