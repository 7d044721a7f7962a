// SplineShape: a Bezier shape object, static or keyed over time.
#include "splshape.h"

#include <algorithm>

namespace {

bool SameStructure(const BezierShape& a, const BezierShape& b) {
  if (a.SplineCount() != b.SplineCount()) return false;
  for (int i = 0; i < a.SplineCount(); ++i) {
    const Spline3D* sa = a.GetSpline(i);
    const Spline3D* sb = b.GetSpline(i);
    if (sa->KnotCount() != sb->KnotCount() || sa->Closed() != sb->Closed()) return false;
  }
  return true;
}

Point3 Lerp(const Point3& a, const Point3& b, float u) { return a + (b - a) * u; }

}  // namespace

SplineShape::~SplineShape() = default;

RefTargetHandle SplineShape::Clone(RemapDir& remap) {
  auto* copy = static_cast<SplineShape*>(MakeShallowCopy(ALL_CHANNELS));
  BaseClone(this, copy, remap);
  return copy;
}

Object* SplineShape::MakeShallowCopy(ChannelMask) {
  auto* copy = new SplineShape();
  copy->shape = shape;
  copy->keys_ = keys_;
  copy->CopyValidity(*this);
  return copy;
}

Object* SplineShape::MakeCopyAt(TimeValue t) {
  auto* copy = new SplineShape();
  GetShapeAt(t, copy->shape);
  copy->CopyValidity(*this);
  // The copy is static: it carries this shape's validity at t explicitly.
  copy->SetChannelValidity(GEOM_CHAN_NUM, ChannelValidity(t, GEOM_CHAN_NUM));
  copy->UnlockObject();
  return copy;
}

BOOL SplineShape::AddShapeKey(TimeValue t, const BezierShape& keyShape) {
  if (!keys_.empty() && !SameStructure(keys_.front().shape, keyShape)) return FALSE;
  auto it = std::lower_bound(keys_.begin(), keys_.end(), t, [](const Key& k, TimeValue v) { return k.time < v; });
  if (it != keys_.end() && it->time == t) {
    it->shape = keyShape;
  } else {
    keys_.insert(it, Key{t, keyShape});
  }
  NotifyDependents(FOREVER, PART_GEOM, REFMSG_CHANGE);
  return TRUE;
}

void SplineShape::ClearShapeKeys() {
  if (keys_.empty()) return;
  keys_.clear();
  NotifyDependents(FOREVER, PART_GEOM, REFMSG_CHANGE);
}

void SplineShape::GetShapeAt(TimeValue t, BezierShape& out) const {
  if (keys_.empty()) {
    out = shape;
    return;
  }
  // The first key later than t; t lies between the key before it and it.
  auto next = std::upper_bound(keys_.begin(), keys_.end(), t, [](TimeValue v, const Key& k) { return v < k.time; });
  if (next == keys_.begin() || next == keys_.end()) {
    out = (next == keys_.begin() ? keys_.front() : keys_.back()).shape;
  } else {
    const Key& a = *(next - 1);
    const Key& b = *next;
    out = a.shape;
    if (t != a.time) {
      float u = float(t - a.time) / float(b.time - a.time);
      for (int s = 0; s < out.SplineCount(); ++s) {
        Spline3D* dst = out.GetSpline(s);
        const Spline3D* sb = b.shape.GetSpline(s);
        for (int k = 0; k < dst->KnotCount(); ++k) {
          dst->SetKnotPoint(k, Lerp(dst->GetKnotPoint(k), sb->GetKnotPoint(k), u));
          dst->SetInVec(k, Lerp(dst->GetInVec(k), sb->GetInVec(k), u));
          dst->SetOutVec(k, Lerp(dst->GetOutVec(k), sb->GetOutVec(k), u));
        }
      }
    }
  }
  // Interpolation settings belong to the object, not to a key.
  out.steps = shape.steps;
  out.optimize = shape.optimize;
}

Interval SplineShape::ChannelValidity(TimeValue t, int nchan) {
  Interval v = ShapeObject::ChannelValidity(t, nchan);
  if (!keys_.empty() && nchan == GEOM_CHAN_NUM) v &= Interval(t, t);
  return v;
}

void SplineShape::MakePolyShape(TimeValue t, PolyShape& pshape, int steps, BOOL optimize) {
  // Any negative count (built-in, adaptive) means the shape's own steps.
  int n = steps < 0 ? -1 : steps;
  if (keys_.empty()) {
    shape.MakePolyShape(pshape, n, optimize);
    return;
  }
  BezierShape at;
  GetShapeAt(t, at);
  at.MakePolyShape(pshape, n, optimize);
}

int SplineShape::NumberOfCurves(TimeValue) {
  return keys_.empty() ? shape.SplineCount() : keys_.front().shape.SplineCount();
}
