#pragma once
// Bezier splines: knots with absolute in/out handles, open or closed.
#include <vector>
#include "maxtypes.h"
#include "point3.h"

// Knot types
#define KTYPE_AUTO 0
#define KTYPE_CORNER 1
#define KTYPE_BEZIER 2
#define KTYPE_BEZIER_CORNER 3
// Line types (of the segment leaving a knot)
#define LTYPE_CURVE 0
#define LTYPE_LINE 1
// Parameter types
#define PARM_UNIFORM 0

class HOSTAPI SplineKnot {
 public:
  SplineKnot() = default;
  SplineKnot(int k, int l, Point3 p, Point3 in, Point3 out, int mtlID = 0, int inAux = -1, int outAux = -1,
             int aux = -1, DWORD flags = 0)
      : ktype(k),
        ltype(l),
        point(p),
        inVec(in),
        outVec(out),
        matid(mtlID),
        inAux_(inAux),
        outAux_(outAux),
        aux_(aux),
        flags_(flags) {}

  int Ktype() const { return ktype; }
  void SetKtype(int t) { ktype = t; }
  int Ltype() const { return ltype; }
  void SetLtype(int t) { ltype = t; }
  Point3 Knot() const { return point; }
  void SetKnot(const Point3& p) { point = p; }
  Point3 InVec() const { return inVec; }
  void SetInVec(const Point3& p) { inVec = p; }
  Point3 OutVec() const { return outVec; }
  void SetOutVec(const Point3& p) { outVec = p; }
  int GetMatID() const { return matid; }
  void SetMatID(int id) { matid = id; }
  int GetAux() const { return aux_; }
  void SetAux(int a) { aux_ = a; }
  int GetInAux() const { return inAux_; }
  int GetOutAux() const { return outAux_; }
  DWORD GetFlags() const { return flags_; }
  void SetFlags(DWORD f) { flags_ = f; }

 private:
  int ktype = KTYPE_CORNER;
  int ltype = LTYPE_CURVE;
  Point3 point, inVec, outVec;  // handles are absolute positions, not offsets from the point
  int matid = 0;
  int inAux_ = -1, outAux_ = -1, aux_ = -1;
  DWORD flags_ = 0;
};

class HOSTAPI Spline3D {
 public:
  // itype/dtype are the knot types used for clicked and dragged knots when a person draws a spline;
  // they are kept for callers but do not change any computation here.
  explicit Spline3D(int itype = KTYPE_CORNER, int dtype = KTYPE_BEZIER, int ptype = PARM_UNIFORM);

  void NewSpline();  // removes every knot and opens the spline
  int KnotCount() const { return int(knots_.size()); }
  // Inserts a copy of k before index `where`; any `where` outside [0, KnotCount()) appends.
  // Returns nonzero on success, 0 if memory ran out.
  int AddKnot(const SplineKnot& k, int where = -1);
  BOOL DeleteKnot(int where);

  // Accessors take a knot index; an out-of-range index reads a default knot and writes nothing.
  SplineKnot GetKnot(int i) const;
  void SetKnot(int i, const SplineKnot& k);
  Point3 GetKnotPoint(int i) const;
  Point3 GetInVec(int i) const;
  Point3 GetOutVec(int i) const;
  void SetKnotPoint(int i, const Point3& p);
  void SetInVec(int i, const Point3& p);
  void SetOutVec(int i, const Point3& p);
  int GetKnotType(int i) const;
  void SetKnotType(int i, int t);
  int GetLineType(int i) const;
  void SetLineType(int i, int t);

  void SetClosed(int flag = 1) { closed_ = flag != 0; }
  void SetOpen() { closed_ = false; }
  int Closed() const { return closed_ ? 1 : 0; }

  // Segment i runs from knot i to knot i+1 (closed: the last one back to knot 0). Open: knots-1,
  // closed: knots; a spline of 0 or 1 knot has no segments, open or closed.
  int Segments() const;

  // Point at parameter u in [0,1] of a segment, with the same float arithmetic MakePolyShape uses.
  // An out-of-range segment gives the origin.
  Point3 InterpBezier3D(int segment, float u, int ptype = PARM_UNIFORM) const;

  // Recomputes the handles that the knot and line types own: a corner knot gets both handles on its
  // point, an auto knot gets smooth handles (see the source), and a segment whose start knot has line
  // type LTYPE_LINE gets its two handles on its end points so it is straight. Bezier knots' handles
  // are left as they are. Polyline conversion uses the stored handles; call this first if the knot
  // types, not the handles, are to decide the shape.
  void ComputeBezPoints();
  void InvalidateGeomCache() {}

  int ParmType() const { return ptype_; }
  int InitialKnotType() const { return itype_; }
  int DragKnotType() const { return dtype_; }

 private:
  bool Valid(int i) const { return i >= 0 && i < KnotCount(); }
  std::vector<SplineKnot> knots_;
  bool closed_ = false;
  int itype_, dtype_, ptype_;
};
