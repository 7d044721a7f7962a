#pragma once
// Modifiers used by the stack tests. Each counts its evaluations and remembers what it was given.
#include <stdexcept>
#include <vector>

#include "scene_fixture.h"

// Which stack and index a modifier sits at: the way a modifier finds itself, through its dependents.
struct StackPlace {
  IDerivedObject* derived = nullptr;
  int index = -1;
};
inline StackPlace FindPlace(Modifier* mod) {
  DependentIterator it(mod);
  while (ReferenceMaker* m = it.Next()) {
    if (m->SuperClassID() != GEN_DERIVOB_CLASS_ID) continue;
    auto* d = static_cast<IDerivedObject*>(m);
    for (int i = 0; i < d->NumModifiers(); ++i)
      if (d->GetModifier(i) == mod) return {d, i};
  }
  return {};
}

class CountingModifier : public Modifier {
 public:
  int calls = 0;
  int inputChanges = 0;
  INode* lastNode = nullptr;
  SClass_ID lastInputSuper = 0;
  bool* destroyed = nullptr;

  ~CountingModifier() override {
    if (destroyed) *destroyed = true;
  }
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL | TOPO_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  void NotifyInputChanged(const Interval&, PartID, RefMessage, ModContext*) override { ++inputChanges; }
  void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) override {
    ++calls;
    lastNode = node;
    lastInputSuper = os->obj->SuperClassID();
    Apply(t, mc, os);
  }

 protected:
  virtual void Apply(TimeValue t, ModContext& mc, ObjectState* os) = 0;
};

// Per-application data, to check that contexts keep and free it.
class TestLocalData : public LocalModData {
 public:
  int applications = 0;
  LocalModData* Clone() override {
    auto* c = new TestLocalData();
    c->applications = applications;
    return c;
  }
};

// Moves every knot and handle of a spline shape by (rate * frame, 0, 0): a time-dependent deformation.
class ShiftModifier : public CountingModifier {
 public:
  float rate = 1.0f;
  void SetRate(float r) {
    rate = r;
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  }
  Point3 OffsetAt(TimeValue t) const { return Point3(rate * float(t) / 160.0f, 0.0f, 0.0f); }
  Interval LocalValidity(TimeValue t) override { return Interval(t, t); }

 protected:
  void Apply(TimeValue t, ModContext& mc, ObjectState* os) override {
    if (!mc.localData) mc.localData = new TestLocalData();
    static_cast<TestLocalData*>(mc.localData)->applications++;
    if (os->obj->ClassID() != splineShapeClassID) return;  // not a shape: leave it alone
    BezierShape& shape = static_cast<SplineShape*>(os->obj)->shape;
    Point3 d = OffsetAt(t);
    for (int s = 0; s < shape.SplineCount(); ++s) {
      Spline3D* sp = shape.GetSpline(s);
      for (int k = 0; k < sp->KnotCount(); ++k) {
        sp->SetKnotPoint(k, sp->GetKnotPoint(k) + d);
        sp->SetInVec(k, sp->GetInVec(k) + d);
        sp->SetOutVec(k, sp->GetOutVec(k) + d);
      }
    }
  }
};

// Replaces the shape with a mesh whose vertices are the shape's knot points, as a modifier that builds
// geometry does: a new object, unlocked for the pipeline.
class ToMeshModifier : public CountingModifier {
 public:
  ChannelMask ChannelsChanged() override { return ALL_CHANNELS; }

 protected:
  void Apply(TimeValue t, ModContext&, ObjectState* os) override {
    TriObject* tri = CreateNewTriObject();
    if (os->obj->SuperClassID() == SHAPE_CLASS_ID) {
      PolyShape ps;
      static_cast<ShapeObject*>(os->obj)->MakePolyShape(t, ps, 0, FALSE);
      int n = 0;
      for (int l = 0; l < ps.numLines; ++l) n += ps.lines[l].numPts;
      tri->mesh.setNumVerts(n);
      int v = 0;
      for (int l = 0; l < ps.numLines; ++l)
        for (int i = 0; i < ps.lines[l].numPts; ++i) tri->mesh.setVert(v++, ps.lines[l][i].p);
    }
    os->obj = tri;
    tri->UnlockObject();
  }
};

// Builds, like a trail, a new shape from the shape entering it now and the shape that entered it `lag`
// ticks earlier: the earlier one is obtained by evaluating its own stack below itself at that time,
// during its own evaluation.
class EchoModifier : public CountingModifier {
 public:
  TimeValue lag = 160;
  int echoesSeen = 0;
  Interval LocalValidity(TimeValue t) override { return Interval(t, t); }

 protected:
  void Apply(TimeValue t, ModContext&, ObjectState* os) override {
    StackPlace place = FindPlace(this);
    if (!place.derived || os->obj->ClassID() != splineShapeClassID) return;
    auto* out = new SplineShape();
    out->shape = static_cast<SplineShape*>(os->obj)->shape;
    // Several look-backs, the last one at the same time as the evaluation that called us.
    for (TimeValue g : {t - lag, t - 2 * lag, t}) {
      ObjectState below = place.derived->Eval(g, place.index + 1);
      if (below.obj->ClassID() != splineShapeClassID) throw std::runtime_error("no shape below");
      BezierShape at;
      static_cast<SplineShape*>(below.obj)->GetShapeAt(g, at);
      if (g == t - lag)
        for (int s = 0; s < at.SplineCount(); ++s) out->shape.AddSpline(*at.GetSpline(s));
      ++echoesSeen;
    }
    os->obj = out;
    out->UnlockObject();
  }
};

// Fails its evaluation after replacing the object.
class ThrowingModifier : public CountingModifier {
 protected:
  void Apply(TimeValue, ModContext&, ObjectState* os) override {
    auto* tri = CreateNewTriObject();
    tri->UnlockObject();
    os->obj = tri;
    throw std::runtime_error("modifier failed");
  }
};
