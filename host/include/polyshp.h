#pragma once
// Polyline shapes: the interpolated form of Bezier shapes, and their curve organisation (outer curves
// and holes).
#include <vector>
#include "bitarray.h"
#include "maxtypes.h"
#include "point3.h"

// PolyPt flags
#define POLYPT_KNOT (1 << 0)          // the point is a knot of the source spline
#define POLYPT_INTERPOLATED (1 << 1)  // the point was interpolated between knots

class HOSTAPI PolyPt {
 public:
  Point3 p;
  DWORD flags = 0;
  int aux = 0;  // for converted splines: index of the segment (start knot) the point belongs to
  PolyPt() = default;
  PolyPt(const Point3& ip, DWORD f = 0, int a = 0) : p(ip), flags(f), aux(a) {}
};

// numPts and pts mirror the internal storage and are for reading; change the points through the methods
// (or write pts[i] of existing points).
class HOSTAPI PolyLine {
 public:
  int numPts = 0;
  PolyPt* pts = nullptr;

  PolyLine() = default;
  PolyLine(const PolyLine& o);
  PolyLine(PolyLine&& o) noexcept;
  PolyLine& operator=(const PolyLine& o);
  PolyLine& operator=(PolyLine&& o) noexcept;

  void Init();  // no points, open
  void Close() { closed_ = true; }
  void Open() { closed_ = false; }
  BOOL IsClosed() const { return closed_ ? TRUE : FALSE; }
  BOOL IsOpen() const { return closed_ ? FALSE : TRUE; }

  // Resizes to count points (negative counts as 0); with keep the first points stay, otherwise every
  // point is reset. New points are at the origin. Returns FALSE (and changes nothing) if memory ran out.
  BOOL SetNumPts(int count, BOOL keep = TRUE);
  void Append(const PolyPt& p);
  // Inserts before `where`; a `where` outside [0, numPts) appends.
  void Insert(int where, const PolyPt& p);
  void Delete(int where);  // out-of-range indices are ignored

  PolyPt& operator[](int i) { return pts_[size_t(i)]; }
  const PolyPt& operator[](int i) const { return pts_[size_t(i)]; }

  // Open: numPts-1, closed: numPts, no points: 0. A single point therefore makes 0 segments open and
  // one zero-length segment (back to itself) closed.
  int Segments() const;
  // Sum of the segment lengths, the closing segment included for a closed line.
  float CurveLength() const;
  // keepZero FALSE reverses the whole point order; TRUE keeps point 0 first and reverses the rest, so a
  // closed curve keeps its start point and runs the other way.
  void Reverse(BOOL keepZero = FALSE);

  // Signed area of the points as a polygon in the XY plane: positive counter-clockwise.
  double SignedAreaXY() const;
  BOOL IsClockWise() const { return SignedAreaXY() < 0.0 ? TRUE : FALSE; }
  // Even-odd rule in the XY plane, the points taken as a closed polygon whatever the closed flag.
  BOOL SurroundsPoint(const Point3& p) const;

 private:
  void Sync() {
    numPts = int(pts_.size());
    pts = pts_.empty() ? nullptr : pts_.data();
  }
  std::vector<PolyPt> pts_;
  bool closed_ = false;
};

// What OrganizeCurves finds out about each line of a PolyShape.
class HOSTAPI ShapeHierarchy {
 public:
  BitArray reverse;  // lines to reverse so outer curves run counter-clockwise and holes clockwise
  BitArray hole;     // closed lines inside an odd number of other closed lines

  void New() { Alloc(0); }
  void Alloc(int count);
  int Count() const { return int(parent_.size()); }
  // The innermost closed line whose interior holds this line's first point, or -1 (also for open
  // lines and out-of-range indices).
  int Parent(int line) const;
  // Number of other closed lines holding this line's first point (0 for open lines).
  int Depth(int line) const;
  BOOL IsHole(int line) const { return hole[line] ? TRUE : FALSE; }

 private:
  friend class PolyShape;
  std::vector<int> parent_, depth_;
};

class HOSTAPI PolyShape {
 public:
  int numLines = 0;
  PolyLine* lines = nullptr;

  PolyShape() = default;
  PolyShape(const PolyShape& o);
  PolyShape& operator=(const PolyShape& o);

  void NewShape();  // no lines
  // Appends an empty open line and returns it; the reference is valid until the number of lines changes.
  PolyLine& NewLine();
  // Negative counts as 0; with keep the first lines stay, otherwise all lines are emptied.
  BOOL SetNumLines(int count, BOOL keep = TRUE);
  void Append(const PolyLine& l);
  void Delete(int line);  // out-of-range indices are ignored

  // Finds holes and the lines to reverse (see ShapeHierarchy); the lines themselves are not changed:
  // apply the result with Reverse(hier->reverse). Lines lie inside one another when the first point of
  // one is inside the other by the even-odd rule in the XY plane. t is unused: a PolyShape is static.
  void OrganizeCurves(TimeValue t, ShapeHierarchy* hier = nullptr);
  // Reverses each line whose bit is set (bits beyond the lines are ignored).
  void Reverse(BitArray& reverse, BOOL keepZero = FALSE);
  void Reverse(int line, BOOL keepZero = FALSE);

 private:
  void Sync() {
    numLines = int(lines_.size());
    lines = lines_.empty() ? nullptr : lines_.data();
  }
  std::vector<PolyLine> lines_;
};
