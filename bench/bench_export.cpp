// The writers of `wakeweave eval -o`: each beside a plain write of the same bytes to the same folder, and the
// peak heap of evaluating a million-vertex trail and writing it, beside the bytes of the mesh's arrays.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "Exporters.h"
#include "MeshDump.h"
#include "bench_scenes.h"
#include "heap_meter.h"
#include "plain_baseline.h"
#include "plugin_fixture.h"

// The dump as `eval -o OUT.json` writes it: streamed to a temporary beside path, then renamed (MeshDump.h).
void WriteMeshDump(const Mesh& mesh, const std::string& path);

namespace {

using bench::kTpf;
constexpr double kWriteLimit = 3.0;
constexpr double kPeakLimit = 2.0;

enum Format { kJson, kObj, kGltf, kGlb };
const char* const kExtension[] = {".json", ".obj", ".gltf", ".glb"};

INode* CircleTrail(int samples) {
  INode* node;
  bench::CircleTrail(samples, &node);
  return node;
}

TimeValue PresentOf(int samples) { return bench::CircleTrailPresent(samples); }

const Mesh& Evaluate(INode* node, TimeValue t) {
  return static_cast<TriObject*>(node->EvalWorldState(t).obj)->GetMesh();
}

// The files one export writes: the target, and the .mtl beside an .obj.
std::vector<std::string> FilesOf(Format f, const std::string& path) {
  if (f == kObj) return {path, MtlPathFor(path)};
  return {path};
}

void Write(Format f, INode* node, const Mesh& mesh, TimeValue t, const std::string& path) {
  if (f == kJson) {
    WriteMeshDump(mesh, path);
    return;
  }
  const ExportMesh em{&mesh, node->GetObjectTM(t), node->GetName()};
  if (f == kObj)
    WriteObj(em, path);
  else
    WriteGltf(em, path, f == kGlb);
}

// One export of a trail of 1000 samples x 100 points (100 000 vertices) per iteration, then the files it
// wrote written plainly as often (at least 3 times): both means in CPU time (the wall time beside them).
void BM_Writer(benchmark::State& state, Format format) {
  const int samples = 1000;
  INode* node = CircleTrail(samples);
  const TimeValue t = PresentOf(samples);
  const Mesh& mesh = Evaluate(node, t);
  const std::string path = bench::OutputDir() + "/trail" + kExtension[format];
  bench::Millis write;
  try {
    for (auto _ : state) {
      const bench::Stopwatch watch;
      Write(format, node, mesh, t, path);
      write += watch.Elapsed();
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    GetCOREInterface()->ResetScene();
    return;
  }
  std::vector<size_t> sizes;
  for (const std::string& f : FilesOf(format, path)) sizes.push_back(bench::FileBytes(f));
  const bench::Millis plain = bench::PlainWrite(sizes, bench::BaselineReps(state));
  state.counters["verts"] = mesh.getNumVerts();
  state.counters["file_MB"] = double(bench::TotalBytes(sizes)) / 1e6;
  bench::ReportBeside(state, "write", bench::PerIteration(write, state), "plain", plain, kWriteLimit);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bench::TotalBytes(sizes)));
  for (const std::string& f : FilesOf(format, path)) std::remove(f.c_str());
  GetCOREInterface()->ResetScene();
}
BENCHMARK_CAPTURE(BM_Writer, json, kJson)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Writer, obj, kObj)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Writer, gltf, kGltf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Writer, glb, kGlb)->Unit(benchmark::kMillisecond);

// What `eval -o` holds at its peak for a trail of 10 000 samples x 100 points (a million vertices): the
// heap from the scene's first evaluation to the written file, beside the bytes of the mesh's arrays.
void BM_ExportPeakHeap1M(benchmark::State& state, Format format) {
  const int samples = 10000;
  const std::string path = bench::OutputDir() + "/peak" + kExtension[format];
  size_t evalPeak = 0, peak = 0, meshBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    INode* node = CircleTrail(samples);
    const TimeValue t = PresentOf(samples);
    state.ResumeTiming();
    heap_meter::Reset();
    try {
      const Mesh& mesh = Evaluate(node, t);
      evalPeak = heap_meter::PeakAboveStart();
      Write(format, node, mesh, t, path);
      peak = heap_meter::PeakAboveStart();
      meshBytes = bench::TotalBytes(bench::MeshArrayBytes(mesh));
      if (mesh.getNumVerts() != 1000000) state.SkipWithError("the trail did not have the expected size");
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
    }
    state.PauseTiming();
    GetCOREInterface()->ResetScene();
    for (const std::string& f : FilesOf(format, path)) std::remove(f.c_str());
    state.ResumeTiming();
  }
  state.counters["eval_peak_MB"] = double(evalPeak) / 1e6;
  state.counters["peak_MB"] = double(peak) / 1e6;
  state.counters["mesh_MB"] = double(meshBytes) / 1e6;
  state.counters["ratio"] = meshBytes ? double(peak) / double(meshBytes) : 0.0;
  state.counters["limit"] = kPeakLimit;
}
BENCHMARK_CAPTURE(BM_ExportPeakHeap1M, json, kJson)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportPeakHeap1M, obj, kObj)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportPeakHeap1M, glb, kGlb)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
