#pragma once
// The one timing loop of the evaluation benchmarks.
#include <benchmark/benchmark.h>

#include "plain_baseline.h"
#include "plugin_fixture.h"

// The aim for every evaluation: within this factor of a plain fill of its output's arrays.
constexpr double kEvalLimit = 2.0;

// Times one full evaluation per iteration (the modifier's change forces it) and reports the vertex rate;
// then fills the output mesh's arrays plainly as often (at least 3 times) and reports both means (CPU time,
// and the wall time beside it) and their ratio. The scene is reset before the fill.
inline void TimeEvaluations(benchmark::State& state, Wakeweave* mod, INode* node, TimeValue t) {
  int verts = 0;
  bench::Millis eval;
  for (auto _ : state) {
    const bench::Stopwatch watch;
    mod->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    const ObjectState& os = node->EvalWorldState(t);
    verts = static_cast<TriObject*>(os.obj)->GetMesh().getNumVerts();
    benchmark::DoNotOptimize(verts);
    eval += watch.Elapsed();
  }
  const std::vector<size_t> arrays =
      bench::MeshArrayBytes(static_cast<TriObject*>(node->EvalWorldState(t).obj)->GetMesh());
  // The fill starts, as each evaluation did, with the last output freed: a live output would keep its
  // memory from the fill and send it to fresh pages.
  GetCOREInterface()->ResetScene();
  const bench::Millis fill = bench::PlainFill(arrays, bench::BaselineReps(state));
  state.counters["verts"] = verts;
  state.counters["verts/s"] = benchmark::Counter(double(verts), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["mesh_MB"] = double(bench::TotalBytes(arrays)) / 1e6;
  bench::ReportBeside(state, "eval", bench::PerIteration(eval, state), "fill", fill, kEvalLimit);
}
