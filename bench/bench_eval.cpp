// One evaluation of the trail at scale: a circle trail on a moving node, and many particle trails.
#include <benchmark/benchmark.h>

#include <cmath>

#include "eval_timing.h"
#include "plugin_fixture.h"
#include "recording_loader.h"

namespace {

constexpr int kTpf = 160;

void FreshScene() {
  AttachPlugin();
  GetCOREInterface()->ResetScene();
  SetTicksPerFrame(kTpf);
  GetCOREInterface()->SetAnimRange(Interval(0, 200 * kTpf));
}

// A circle of 24 points (4 knots, 5 steps) on a node moving along a curve; 100 samples.
void BM_CircleTrail100Samples(benchmark::State& state) {
  FreshScene();
  Wakeweave* mod = static_cast<Wakeweave*>(GetWakeweaveDesc()->Create(FALSE));
  SplineShape* circle = new SplineShape();
  Spline3D* sp = circle->shape.NewSpline();
  for (int k = 0; k < 4; ++k) {
    float th = float(k) * 1.5707963f;
    Point3 p(10 * std::cos(th), 10 * std::sin(th), 0.0f), tan(-std::sin(th), std::cos(th), 0.0f);
    sp->AddKnot(SplineKnot(KTYPE_BEZIER, LTYPE_CURVE, p, p - tan * 5.5228475f, p + tan * 5.5228475f));
  }
  sp->SetClosed();
  IDerivedObject* d = CreateDerivedObject(circle);
  d->AddModifier(mod);
  INode* node = GetCOREInterface()->CreateObjectNode(d);
  auto* pos = dynamic_cast<LinearPositionControl*>(node->GetPositionController());
  for (int f = 0; f <= 200; f += 10) pos->AddKey(f * kTpf, Point3(f * 5.0f, 30.0f * std::sin(f * 0.1f), 0.0f));
  mod->pblock->SetValue(pb_spline_steps, 0, 5);
  mod->pblock->SetValue(pb_old_frames, 0, 99);
  TimeValue t = 150 * kTpf;
  TimeEvaluations(state, mod, node, t);
}
BENCHMARK(BM_CircleTrail100Samples)->Unit(benchmark::kMillisecond);

// 1000 recorded particle lives, trails of 60 samples, a 4-point cross-section.
void BM_ParticleTrails1000x60(benchmark::State& state) {
  FreshScene();
  const bool flow = state.range(0) != 0;
  Wakeweave* mod = static_cast<Wakeweave*>(GetWakeweaveDesc()->Create(FALSE));
  SplineShape* shape = new SplineShape();
  Spline3D* sp = shape->shape.NewSpline();
  const Point3 pts[4] = {Point3(1, 0, 0), Point3(0, 1, 0), Point3(-1, 0, 0), Point3(0, -1, 0)};
  for (const Point3& p : pts) sp->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, p, p, p));
  sp->SetClosed();
  IDerivedObject* d = CreateDerivedObject(shape);
  d->AddModifier(mod);
  INode* node = GetCOREInterface()->CreateObjectNode(d);
  mod->pblock->SetValue(pb_particle_trails_b, 0, 1);
  mod->pblock->SetValue(pb_spline_steps, 0, 0);
  mod->pblock->SetValue(pb_old_frames, 0, 59);
  ParticleSystemState recording;
  recording.setParticleFlow(flow ? 1 : 0);
  for (int i = 0; i < 1000; ++i) {
    ParticleState life;
    for (int f = 0; f <= 100; ++f)
      life.addKey(ParticlePositionKey(f * kTpf, Point3(f * 2.0f, float(i % 40), float(i / 40) + 0.1f * f), f * kTpf));
    recording.addParticle(life);
  }
  if (LoadRecording(mod, recording) != IO_OK || mod->particleState().numParticles() != 1000) {
    state.SkipWithError("the recording did not load");
    return;
  }
  TimeValue t = 80 * kTpf;
  TimeEvaluations(state, mod, node, t);
}
BENCHMARK(BM_ParticleTrails1000x60)->Arg(1)->Arg(0)->ArgName("flow")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
