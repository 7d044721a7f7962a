// One evaluation of the trail at scale, each beside a plain fill of its output's arrays (eval_timing.h):
// a circle trail on a moving node; many particle trails, flow and legacy, sampled on their keys and between
// them; legacy trails that stand still for a stretch; anchored trails mapped by path length; one long trail
// of a detailed shape.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench_scenes.h"
#include "eval_timing.h"
#include "plugin_fixture.h"
#include "recording_loader.h"

namespace {

using namespace bench;

bool Load(benchmark::State& state, Wakeweave* mod, ParticleSystemState& recording) {
  const int expected = recording.numParticles();
  if (LoadRecording(mod, recording) != IO_OK || mod->particleState().numParticles() != expected) {
    state.SkipWithError("the recording did not load");
    return false;
  }
  return true;
}

// A circle of 24 points (4 knots, 5 steps) on a node moving along a curve; 100 samples.
void BM_CircleTrail100Samples(benchmark::State& state) {
  FreshScene(200);
  INode* node;
  Wakeweave* mod = AddTrail(Circle(), &node);
  KeyWavyPath(node, 200, 10);
  mod->pblock->SetValue(pb_spline_steps, 0, 5);
  mod->pblock->SetValue(pb_old_frames, 0, 99);
  TimeEvaluations(state, mod, node, 150 * kTpf);
}
BENCHMARK(BM_CircleTrail100Samples)->Unit(benchmark::kMillisecond);

// 1000 recorded particle lives with a key every frame (pure translations), trails of 60 samples.
// Arguments: flow (1) or legacy (0) recording; cross-section of 4 points (a square) or 24 (a circle);
// sampling 0 on the keys, 1 between them (a present frame of 80.5), 2 at two segments a frame (61 samples,
// every other one between keys).
void BM_ParticleTrails1000x60(benchmark::State& state) {
  FreshScene(200);
  const bool flow = state.range(0) != 0;
  const bool circle = state.range(1) == 24;
  const int sampling = int(state.range(2));
  INode* node;
  Wakeweave* mod = AddTrail(circle ? Circle() : Square(), &node);
  mod->pblock->SetValue(pb_particle_trails_b, 0, 1);
  mod->pblock->SetValue(pb_spline_steps, 0, circle ? 5 : 0);
  mod->pblock->SetValue(pb_old_frames, 0, sampling == 2 ? 30 : 59);
  if (sampling == 2) mod->pblock->SetValue(pb_segments_per_frame, 0, 2.0f);
  ParticleSystemState recording;
  recording.setParticleFlow(flow ? 1 : 0);
  for (int i = 0; i < 1000; ++i) {
    ParticleState life;
    for (int f = 0; f <= 100; ++f)
      life.addKey(ParticlePositionKey(f * kTpf, Point3(f * 2.0f, float(i % 40), float(i / 40) + 0.1f * f), f * kTpf));
    recording.addParticle(life);
  }
  if (!Load(state, mod, recording)) return;
  TimeEvaluations(state, mod, node, 80 * kTpf + (sampling == 1 ? kTpf / 2 : 0));
}
BENCHMARK(BM_ParticleTrails1000x60)
    ->ArgNames({"flow", "points", "between"})
    ->ArgsProduct({{1, 0}, {4, 24}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

// 100 legacy particle lives that are born and die inside the trail window of N samples: each moves for the
// middle third of the window and is held where it was born before and where it died after, so two thirds
// of every trail stand still. With the age map on channel 2.
void BM_LegacyStillStretches(benchmark::State& state) {
  const int N = int(state.range(0));
  const int present = N + 20;  // frames
  FreshScene(present + 20);
  INode* node;
  Wakeweave* mod = AddTrail(Square(), &node);
  mod->pblock->SetValue(pb_particle_trails_b, 0, 1);
  mod->pblock->SetValue(pb_spline_steps, 0, 0);
  mod->pblock->SetValue(pb_old_frames, 0, N - 1);
  mod->pblock->SetValue(pb_generate_age_map, 0, 1);
  ParticleSystemState recording;
  recording.setParticleFlow(0);
  const int windowStart = present - (N - 1);
  for (int i = 0; i < 100; ++i) {
    const int born = windowStart + N / 3 + i % 10, dies = present - N / 3 - i % 7;
    ParticleState life;
    for (int f = born; f <= dies; ++f)
      life.addKey(
          ParticlePositionKey(f * kTpf, Point3(f * 2.0f, float(i % 10), float(i / 10) + 0.1f * f), (f - born) * kTpf));
    recording.addParticle(life);
  }
  if (!Load(state, mod, recording)) return;
  TimeEvaluations(state, mod, node, present * kTpf);
}
BENCHMARK(BM_LegacyStillStretches)->ArgName("N")->Arg(60)->Arg(240)->Arg(960)->Unit(benchmark::kMillisecond);

// An anchored trail of N samples (whole frames from the range's start, then the present) of a square on a
// node moving along a curve, texture-mapped by the path length the node has covered.
void BM_AnchoredPathLength(benchmark::State& state) {
  const int N = int(state.range(0));
  const int present = N - 2;  // frames: N - 1 whole frames from 0, and the present once more
  FreshScene(present);
  INode* node;
  Wakeweave* mod = AddTrail(Square(), &node);
  KeyWavyPath(node, present, 10);
  mod->pblock->SetValue(pb_moving_or_still, 0, 1);
  mod->pblock->SetValue(pb_spline_steps, 0, 0);
  mod->pblock->SetValue(pb_generate_map, 0, 1);
  TimeEvaluations(state, mod, node, present * kTpf);
  if (state.counters["verts"] != double(4 * N)) state.SkipWithError("the trail did not have the expected size");
}
BENCHMARK(BM_AnchoredPathLength)->ArgName("N")->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// One moving trail of 10 000 samples of a circle of 100 points (4 knots, 24 steps): a million vertices.
void BM_OneTrail10000x100(benchmark::State& state) {
  INode* node;
  Wakeweave* mod = CircleTrail(10000, &node);
  TimeEvaluations(state, mod, node, CircleTrailPresent(10000));
  if (state.counters["verts"] != 1e6) state.SkipWithError("the trail did not have the expected size");
}
BENCHMARK(BM_OneTrail10000x100)->Unit(benchmark::kMillisecond);

}  // namespace
