#pragma once
// The one timing loop of the evaluation benchmarks.
#include <benchmark/benchmark.h>

#include "plugin_fixture.h"

// Times one full evaluation per iteration (the modifier's change forces it) and reports the vertex rate.
// The scene is reset afterwards.
inline void TimeEvaluations(benchmark::State& state, Wakeweave* mod, INode* node, TimeValue t) {
  int verts = 0;
  for (auto _ : state) {
    mod->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    const ObjectState& os = node->EvalWorldState(t);
    verts = static_cast<TriObject*>(os.obj)->GetMesh().getNumVerts();
    benchmark::DoNotOptimize(verts);
  }
  state.counters["verts"] = verts;
  state.counters["verts/s"] = benchmark::Counter(double(verts), benchmark::Counter::kIsIterationInvariantRate);
  GetCOREInterface()->ResetScene();
}
