#include "spline3d.h"

#include <new>

Spline3D::Spline3D(int itype, int dtype, int ptype) : itype_(itype), dtype_(dtype), ptype_(ptype) {}

void Spline3D::NewSpline() {
  knots_.clear();
  closed_ = false;
}

int Spline3D::AddKnot(const SplineKnot& k, int where) {
  try {
    if (where < 0 || where >= KnotCount())
      knots_.push_back(k);
    else
      knots_.insert(knots_.begin() + where, k);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

BOOL Spline3D::DeleteKnot(int where) {
  if (!Valid(where)) return FALSE;
  knots_.erase(knots_.begin() + where);
  return TRUE;
}

SplineKnot Spline3D::GetKnot(int i) const { return Valid(i) ? knots_[size_t(i)] : SplineKnot(); }
void Spline3D::SetKnot(int i, const SplineKnot& k) {
  if (Valid(i)) knots_[size_t(i)] = k;
}
Point3 Spline3D::GetKnotPoint(int i) const { return Valid(i) ? knots_[size_t(i)].Knot() : Point3(); }
Point3 Spline3D::GetInVec(int i) const { return Valid(i) ? knots_[size_t(i)].InVec() : Point3(); }
Point3 Spline3D::GetOutVec(int i) const { return Valid(i) ? knots_[size_t(i)].OutVec() : Point3(); }
void Spline3D::SetKnotPoint(int i, const Point3& p) {
  if (Valid(i)) knots_[size_t(i)].SetKnot(p);
}
void Spline3D::SetInVec(int i, const Point3& p) {
  if (Valid(i)) knots_[size_t(i)].SetInVec(p);
}
void Spline3D::SetOutVec(int i, const Point3& p) {
  if (Valid(i)) knots_[size_t(i)].SetOutVec(p);
}
int Spline3D::GetKnotType(int i) const { return Valid(i) ? knots_[size_t(i)].Ktype() : KTYPE_CORNER; }
void Spline3D::SetKnotType(int i, int t) {
  if (Valid(i)) knots_[size_t(i)].SetKtype(t);
}
int Spline3D::GetLineType(int i) const { return Valid(i) ? knots_[size_t(i)].Ltype() : LTYPE_CURVE; }
void Spline3D::SetLineType(int i, int t) {
  if (Valid(i)) knots_[size_t(i)].SetLtype(t);
}

int Spline3D::Segments() const {
  int k = KnotCount();
  if (k <= 1) return 0;
  return closed_ ? k : k - 1;
}

Point3 Spline3D::InterpBezier3D(int segment, float u, int) const {
  if (segment < 0 || segment >= Segments()) return Point3();
  const SplineKnot& a = knots_[size_t(segment)];
  const SplineKnot& b = knots_[size_t((segment + 1) % KnotCount())];
  // Float throughout, term by term in a fixed order, so every caller gets bit-identical points.
  float s = 1.0f - u;
  float b0 = s * s * s;
  float b1 = 3.0f * s * s * u;
  float b2 = 3.0f * s * u * u;
  float b3 = u * u * u;
  return a.Knot() * b0 + a.OutVec() * b1 + b.InVec() * b2 + b.Knot() * b3;
}

void Spline3D::ComputeBezPoints() {
  int k = KnotCount();
  if (k == 0) return;
  for (int i = 0; i < k; ++i) {
    SplineKnot& kn = knots_[size_t(i)];
    Point3 p = kn.Knot();
    if (kn.Ktype() == KTYPE_CORNER) {
      kn.SetInVec(p);
      kn.SetOutVec(p);
    } else if (kn.Ktype() == KTYPE_AUTO) {
      // Catmull-Rom tangents: handles a sixth of the chord between the neighbours; an open end
      // points a third of the way to its only neighbour.
      bool hasPrev = closed_ || i > 0;
      bool hasNext = closed_ || i < k - 1;
      if (k == 1 || (!hasPrev && !hasNext)) {
        kn.SetInVec(p);
        kn.SetOutVec(p);
      } else if (hasPrev && hasNext) {
        Point3 prev = knots_[size_t((i + k - 1) % k)].Knot();
        Point3 next = knots_[size_t((i + 1) % k)].Knot();
        Point3 d = (next - prev) / 6.0f;
        kn.SetInVec(p - d);
        kn.SetOutVec(p + d);
      } else if (hasNext) {
        Point3 next = knots_[size_t(i + 1)].Knot();
        kn.SetInVec(p);
        kn.SetOutVec(p + (next - p) / 3.0f);
      } else {
        Point3 prev = knots_[size_t(i - 1)].Knot();
        kn.SetInVec(p + (prev - p) / 3.0f);
        kn.SetOutVec(p);
      }
    }
  }
  // A straight segment owns its start knot's out handle and its end knot's in handle.
  for (int s = 0; s < Segments(); ++s) {
    SplineKnot& a = knots_[size_t(s)];
    if (a.Ltype() != LTYPE_LINE) continue;
    SplineKnot& b = knots_[size_t((s + 1) % k)];
    a.SetOutVec(a.Knot());
    b.SetInVec(b.Knot());
  }
}
