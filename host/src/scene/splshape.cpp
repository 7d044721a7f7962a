// SplineShape: a Bezier shape object, static or keyed over time.
#include "splshape.h"

#include <algorithm>
#include <climits>

#include "../core/datastream.h"

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

// Saved form of a Bezier shape: steps, optimize, then the splines, each with its types, closed flag and
// knots (types, point, handles, material id, aux values and flags).
constexpr uint32_t kKnotBytes = 4 * 2 + 12 * 3 + 4 * 4 + 4;
constexpr uint32_t kSplineBytes = 4 * 3 + 1 + 4;

void WriteShape(hostio::Writer& w, const BezierShape& shape) {
  w.I32(shape.steps);
  w.U8(shape.optimize ? 1 : 0);
  w.U32(uint32_t(shape.SplineCount()));
  for (int i = 0; i < shape.SplineCount(); ++i) {
    const Spline3D* sp = shape.GetSpline(i);
    w.I32(sp->InitialKnotType());
    w.I32(sp->DragKnotType());
    w.I32(sp->ParmType());
    w.U8(sp->Closed() ? 1 : 0);
    w.U32(uint32_t(sp->KnotCount()));
    for (int k = 0; k < sp->KnotCount(); ++k) {
      const SplineKnot kn = sp->GetKnot(k);
      w.I32(kn.Ktype());
      w.I32(kn.Ltype());
      w.P3(kn.Knot());
      w.P3(kn.InVec());
      w.P3(kn.OutVec());
      w.I32(kn.GetMatID());
      w.I32(kn.GetInAux());
      w.I32(kn.GetOutAux());
      w.I32(kn.GetAux());
      w.U32(kn.GetFlags());
    }
  }
}

bool KnotType(int t) { return t >= KTYPE_AUTO && t <= KTYPE_BEZIER_CORNER; }

bool ReadShape(hostio::Reader& in, BezierShape& shape) {
  BezierShape out;
  bool optimize = false;
  uint32_t splines = 0;
  if (!in.I32(out.steps) || !in.Bool(optimize) || !in.Count(splines, kSplineBytes)) return false;
  // The shape's own steps are used when a caller asks for the built-in count: a count beyond what a
  // spline's steps may be would make every polyline of it huge.
  if (out.steps > 10000) return in.Fail();
  out.optimize = optimize ? TRUE : FALSE;
  for (uint32_t i = 0; i < splines; ++i) {
    int itype, dtype, ptype;
    bool closed = false;
    uint32_t knots = 0;
    if (!in.I32(itype) || !in.I32(dtype) || !in.I32(ptype) || !in.Bool(closed) || !in.Count(knots, kKnotBytes))
      return false;
    if (!KnotType(itype) || !KnotType(dtype) || ptype != PARM_UNIFORM) return in.Fail();
    Spline3D* sp = out.NewSpline(itype, dtype, ptype);
    if (!sp) return in.Fail();
    for (uint32_t k = 0; k < knots; ++k) {
      int ktype, ltype, mat, inAux, outAux, aux;
      Point3 p, vin, vout;
      uint32_t flags;
      if (!in.I32(ktype) || !in.I32(ltype) || !in.P3(p) || !in.P3(vin) || !in.P3(vout) || !in.I32(mat) ||
          !in.I32(inAux) || !in.I32(outAux) || !in.I32(aux) || !in.U32(flags))
        return false;
      if (!KnotType(ktype) || (ltype != LTYPE_CURVE && ltype != LTYPE_LINE)) return in.Fail();
      if (!sp->AddKnot(SplineKnot(ktype, ltype, p, vin, vout, mat, inAux, outAux, aux, flags))) return in.Fail();
    }
    sp->SetClosed(closed ? 1 : 0);
  }
  out.UpdateSels();
  shape = out;
  return true;
}

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
      // In double: keys may lie further apart than a TimeValue counts.
      float u = float((double(t) - double(a.time)) / (double(b.time) - double(a.time)));
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

IOResult SplineShape::Save(ISave* isave) {
  return hostio::SaveData(isave, [&](hostio::Writer& w) {
    WriteShape(w, shape);
    w.U32(uint32_t(keys_.size()));
    for (const Key& k : keys_) {
      w.I32(k.time);
      WriteShape(w, k.shape);
    }
  });
}

IOResult SplineShape::Load(ILoad* iload) {
  BezierShape loaded;
  SplineShape keyed;  // the keys are checked by the object's own rule as they come
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    uint32_t n = 0;
    if (!ReadShape(in, loaded) || !in.Count(n, 4 + 4 + 1 + 4)) return false;
    for (uint32_t i = 0; i < n; ++i) {
      TimeValue t;
      BezierShape key;
      if (!in.I32(t) || !ReadShape(in, key)) return false;
      if (i > 0 && t <= keyed.keys_.back().time) return in.Fail();
      if (!keyed.AddShapeKey(t, key)) return in.Fail();
    }
    return true;
  });
  if (r != IO_OK) return IO_ERROR;
  shape = loaded;
  keys_.swap(keyed.keys_);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  return IO_OK;
}

Interval SplineShape::KeyedValidity(TimeValue t) const {
  if (keys_.empty() || keys_.size() == 1) return FOREVER;
  // The first key holds up to itself and the last from itself on; between keys the shape moves.
  if (t <= keys_.front().time) return Interval(TIME_NegInfinity, keys_.front().time);
  if (t >= keys_.back().time) return Interval(keys_.back().time, TIME_PosInfinity);
  return Interval(t, t);
}

Interval SplineShape::ChannelValidity(TimeValue t, int nchan) {
  Interval v = ShapeObject::ChannelValidity(t, nchan);
  if (nchan == GEOM_CHAN_NUM) v &= KeyedValidity(t);
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
