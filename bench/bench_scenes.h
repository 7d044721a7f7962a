#pragma once
// Small scenes of the benchmarks, built through the host as a scene file would build them.
#include <cmath>

#include "plugin_fixture.h"

namespace bench {

constexpr int kTpf = 160;

// A fresh scene at 160 ticks a frame, frames 0 to lastFrame.
inline void FreshScene(int lastFrame) {
  AttachPlugin();
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(kTpf);
  GetCOREInterface()->SetAnimRange(Interval(0, lastFrame * kTpf));
}

// A circle of radius 10 in 4 Bezier knots: 4 x (steps + 1) points.
inline SplineShape* Circle() {
  SplineShape* circle = new SplineShape();
  Spline3D* sp = circle->shape.NewSpline();
  for (int k = 0; k < 4; ++k) {
    float th = float(k) * 1.5707963f;
    Point3 p(10 * std::cos(th), 10 * std::sin(th), 0.0f), tan(-std::sin(th), std::cos(th), 0.0f);
    sp->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p, p - tan * 5.5228475f, p + tan * 5.5228475f));
  }
  sp->SetClosed();
  return circle;
}

// A closed square of corner knots: 4 points whatever the steps.
inline SplineShape* Square() {
  SplineShape* shape = new SplineShape();
  Spline3D* sp = shape->shape.NewSpline();
  const Point3 pts[4] = {Point3(1, 0, 0), Point3(0, 1, 0), Point3(-1, 0, 0), Point3(0, -1, 0)};
  for (const Point3& p : pts) sp->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, p, p, p));
  sp->SetClosed();
  return shape;
}

// The modifier on top of the shape's stack, on a new node.
inline Wakeweave* AddTrail(Object* shape, INode** node) {
  Wakeweave* mod = static_cast<Wakeweave*>(GetWakeweaveDesc()->Create(FALSE));
  IDerivedObject* d = CreateDerivedObject(shape);
  d->AddModifier(mod);
  *node = GetCOREInterface()->CreateObjectNode(d);
  return mod;
}

// Position keys every `every` frames from 0 to lastFrame along a wavy line.
inline void KeyWavyPath(INode* node, int lastFrame, int every) {
  auto* pos = dynamic_cast<LinearPositionControl*>(node->GetPositionController());
  for (int f = 0; f <= lastFrame; f += every) pos->AddKey(f * kTpf, Point3(f * 5.0f, 30.0f * std::sin(f * 0.1f), 0.0f));
}

// A moving trail of `samples` samples (one a frame) of a circle of 100 points (4 knots, 24 steps) on a node
// moving along a wavy line, with channel 1, named "Trail 001"; evaluate it at CircleTrailPresent(samples).
inline Wakeweave* CircleTrail(int samples, INode** node) {
  const int last = samples + 2000;
  FreshScene(last);
  Wakeweave* mod = AddTrail(Circle(), node);
  (*node)->SetName("Trail 001");
  KeyWavyPath(*node, last, 100);
  mod->pblock->SetValue(pb_spline_steps, 0, 24);
  mod->pblock->SetValue(pb_old_frames, 0, samples - 1);
  mod->pblock->SetValue(pb_generate_map, 0, 1);
  return mod;
}
inline TimeValue CircleTrailPresent(int samples) { return (samples + 1000) * kTpf; }

}  // namespace bench
