// Anchored trails over a long animation range: the cost per sample must stay flat as the samples grow
// (measuring the node's path used to walk the whole range tick by tick). Beside each size, as the limit,
// a plain fill of the output's arrays (eval_timing.h); MB is everything the evaluation budgets for.
#include <benchmark/benchmark.h>

#include "eval_timing.h"
#include "modifier/TrailLayout.h"
#include "plugin_fixture.h"

namespace {

constexpr int kTpf = 160;
constexpr int kRangeFrames = 10000000;  // ten million frames: 1.6e9 ticks

// One trail of a two-point line, one sample a frame, with channel 1: the figures of the output.
TrailLayout LineTrail(int64_t samples) {
  TrailLayout l;
  l.samples = samples;
  l.drawnTrails = 1;
  l.pointsPerSample = 2;
  l.columnsPerSample = 2;
  l.facesPerInterval = 2;
  l.textureMap = true;
  l.pathLengths = true;
  return l;
}

void ReportPerSample(benchmark::State& state, int64_t samples, uint64_t bytes) {
  state.counters["samples"] = double(samples);
  state.counters["MB"] = double(bytes) / 1e6;
  state.counters["s/sample"] =
      benchmark::Counter(double(samples), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_AnchoredTrailLongRange(benchmark::State& state) {
  const int64_t samples = state.range(0);
  AttachPlugin();
  Interface* ip = GetCOREInterface();
  ip->ResetScene();
  SetTicksPerFrame(kTpf);
  ip->SetAnimRange(Interval(0, kRangeFrames * kTpf));
  Wakeweave* mod = static_cast<Wakeweave*>(GetWakeweaveDesc()->Create(FALSE));
  SplineShape* line = new SplineShape();
  Spline3D* sp = line->shape.NewSpline();
  for (const Point3& p : {Point3(0, 0, 0), Point3(0, 10, 0)})
    sp->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_LINE, p, p, p));
  IDerivedObject* d = CreateDerivedObject(line);
  d->AddModifier(mod);
  INode* node = ip->CreateObjectNode(d);
  auto* pos = dynamic_cast<LinearPositionControl*>(node->GetPositionController());
  pos->AddKey(0, Point3(0, 0, 0));
  pos->AddKey(kRangeFrames * kTpf, Point3(float(kRangeFrames), 0.0f, 0.0f));
  mod->pblock->SetValue(pb_moving_or_still, 0, 1);
  mod->pblock->SetValue(pb_spline_steps, 0, 0);
  // Whole frames from 0 to t, then the present once more.
  const TimeValue t = TimeValue((samples - 2) * kTpf);
  TimeEvaluations(state, mod, node, t);
  if (state.counters["verts"] != double(2 * samples)) state.SkipWithError("the trail did not have the expected size");
  ReportPerSample(state, samples, LineTrail(samples).meshBytes());
}
BENCHMARK(BM_AnchoredTrailLongRange)->Arg(100)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
