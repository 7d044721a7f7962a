#pragma once
// Bezier shapes: a list of splines owned by the shape, and their conversion to polylines.
#include <vector>
#include "bitarray.h"
#include "maxtypes.h"
#include "polyshp.h"
#include "spline3d.h"

class HOSTAPI BezierShape {
 public:
  // splines/splineCount mirror the internal list and are for reading.
  Spline3D** splines = nullptr;
  int splineCount = 0;
  int steps = 6;  // interpolation steps per segment when MakePolyShape is given a negative count
  BOOL optimize = FALSE;
  BitArray vertSel, segSel, polySel;  // sized by UpdateSels: 3 vertices (in, knot, out) per knot

  BezierShape() = default;
  BezierShape(const BezierShape& o);  // deep copy
  BezierShape& operator=(const BezierShape& o);
  ~BezierShape();

  void NewShape();  // deletes every spline
  // Appends a new empty spline owned by the shape; null only if memory ran out.
  Spline3D* NewSpline(int itype = KTYPE_CORNER, int dtype = KTYPE_BEZIER, int ptype = PARM_UNIFORM);
  // Appends a copy of s; null if memory ran out.
  Spline3D* AddSpline(const Spline3D& s);
  BOOL DeleteSpline(int index);
  int SplineCount() const { return splineCount; }
  Spline3D* GetSpline(int index) const;  // null when out of range
  int GetNumVerts() const;               // knots in all splines
  int GetNumSegs() const;                // segments in all splines

  void UpdateSels();
  void InvalidateGeomCache() {}

  // One polyline per spline, in order, with the spline's closed flag. Segment i contributes knot i's
  // point, then `steps` points at u = j/(steps+1) of its cubic Bezier; an open spline ends with its last
  // knot. A single-knot spline gives one point, a knotless spline an empty line. A negative steps uses
  // the shape's `steps`. With optimize, a straight segment (line type LTYPE_LINE, or both handles on
  // their knots) contributes only its start point.
  void MakePolyShape(PolyShape& shape, int steps = -1, BOOL optimize = FALSE) const;

 private:
  void Sync() {
    splineCount = int(list_.size());
    splines = list_.empty() ? nullptr : list_.data();
  }
  std::vector<Spline3D*> list_;
};
