#include "shape.h"

#include <new>

BezierShape::BezierShape(const BezierShape& o) { *this = o; }

BezierShape& BezierShape::operator=(const BezierShape& o) {
  if (this == &o) return *this;
  // Copy first so that a failed allocation leaves this shape as it was.
  std::vector<Spline3D*> copy;
  try {
    copy.reserve(o.list_.size());
    for (const Spline3D* s : o.list_) copy.push_back(new Spline3D(*s));
  } catch (const std::bad_alloc&) {
    for (Spline3D* s : copy) delete s;
    throw;
  }
  NewShape();
  list_.swap(copy);
  steps = o.steps;
  optimize = o.optimize;
  vertSel = o.vertSel;
  segSel = o.segSel;
  polySel = o.polySel;
  Sync();
  return *this;
}

BezierShape::~BezierShape() { NewShape(); }

void BezierShape::NewShape() {
  for (Spline3D* s : list_) delete s;
  list_.clear();
  Sync();
}

Spline3D* BezierShape::NewSpline(int itype, int dtype, int ptype) {
  Spline3D* s = new (std::nothrow) Spline3D(itype, dtype, ptype);
  if (!s) return nullptr;
  try {
    list_.push_back(s);
  } catch (const std::bad_alloc&) {
    delete s;
    return nullptr;
  }
  Sync();
  return s;
}

Spline3D* BezierShape::AddSpline(const Spline3D& src) {
  Spline3D* s = NewSpline();
  if (s) *s = src;
  return s;
}

BOOL BezierShape::DeleteSpline(int index) {
  if (index < 0 || index >= splineCount) return FALSE;
  delete list_[size_t(index)];
  list_.erase(list_.begin() + index);
  Sync();
  return TRUE;
}

Spline3D* BezierShape::GetSpline(int index) const {
  return index >= 0 && index < splineCount ? list_[size_t(index)] : nullptr;
}

int BezierShape::GetNumVerts() const {
  int n = 0;
  for (const Spline3D* s : list_) n += s->KnotCount();
  return n;
}

int BezierShape::GetNumSegs() const {
  int n = 0;
  for (const Spline3D* s : list_) n += s->Segments();
  return n;
}

void BezierShape::UpdateSels() {
  vertSel.SetSize(GetNumVerts() * 3, 1);
  segSel.SetSize(GetNumSegs(), 1);
  polySel.SetSize(splineCount, 1);
}

namespace {

bool StraightSegment(const Spline3D& s, int seg) {
  int next = (seg + 1) % s.KnotCount();
  if (s.GetLineType(seg) == LTYPE_LINE) return true;
  return s.GetOutVec(seg) == s.GetKnotPoint(seg) && s.GetInVec(next) == s.GetKnotPoint(next);
}

}  // namespace

void BezierShape::MakePolyShape(PolyShape& shape, int nsteps, BOOL opt) const {
  if (nsteps < 0) nsteps = steps < 0 ? 0 : steps;
  shape.NewShape();
  for (const Spline3D* s : list_) {
    PolyLine& line = shape.NewLine();
    int knots = s->KnotCount();
    if (s->Closed()) line.Close();
    if (knots == 0) continue;
    int segs = s->Segments();
    for (int seg = 0; seg < segs; ++seg) {
      line.Append(PolyPt(s->GetKnotPoint(seg), POLYPT_KNOT, seg));
      if (opt && StraightSegment(*s, seg)) continue;
      for (int j = 1; j <= nsteps; ++j) {
        float u = float(j) / float(nsteps + 1);
        line.Append(PolyPt(s->InterpBezier3D(seg, u), POLYPT_INTERPOLATED, seg));
      }
    }
    // An open spline ends on its last knot; a single knot is one point, open or closed.
    if (!s->Closed() || knots == 1) line.Append(PolyPt(s->GetKnotPoint(knots - 1), POLYPT_KNOT, knots - 1));
  }
}
