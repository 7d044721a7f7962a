// Recording a particle system of 10 000 particles over 100 frames with each recorder. Beside the time, as
// its limit, the aim (1 s flow, 2 s legacy) and a plain fill of the recording's bytes; beside the peak
// heap, the recording's own size (60 bytes a key).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "heap_meter.h"
#include "particles/ParticleStateBuilder.h"

namespace {

constexpr int kParticles = 10000;
constexpr int kFrames = 100;

// Particle i moves along a straight line for the whole range; the last tenth are born during the range (in
// born order) and die before its end, so lives of several lengths are recorded.
void Line(KeyTable<Point3>& path, int i, TimeValue from, TimeValue to) {
  path.Set(from, Point3(float(i % 100), float(i / 100), 0.0f));
  path.Set(to, Point3(float(i % 100) + 10.0f, float(i / 100), 50.0f));
}

constexpr int kLateFrom = kParticles - kParticles / 10;
TimeValue Born(int i, int tpf) { return i < kLateFrom ? 0 : ((i - kLateFrom) / 20) * tpf; }
TimeValue Dies(int i, int tpf) { return i < kLateFrom ? TIME_PosInfinity : Born(i, tpf) + (20 + i % 30) * tpf; }

INode* FlowScene() {
  const int tpf = GetTicksPerFrame();
  auto* sys = new FlowParticleSystem();
  sys->Reserve(kParticles);
  INode* node = GetCOREInterface()->CreateObjectNode(sys);
  sys->AddEvent("Event 001");
  for (int i = 0; i < kParticles; ++i) {
    FlowParticle p;
    p.born = Born(i, tpf);
    p.dies = Dies(i, tpf);
    Line(p.path, i, 0, kFrames * tpf);
    sys->AddParticle(p);
  }
  return node;
}

INode* LegacyScene() {
  const int tpf = GetTicksPerFrame();
  auto* sys = new LegacyParticleSystem();
  INode* node = GetCOREInterface()->CreateObjectNode(sys);
  for (int i = 0; i < kParticles; ++i) {
    LegacyParticleLife life;
    life.born = Born(i, tpf);
    life.dies = Dies(i, tpf);
    Line(life.path, i, 0, kFrames * tpf);
    sys->AddSlot(LegacyParticleSlot{life});
  }
  return node;
}

size_t RecordingBytes(const ParticleSystemState& s) {
  size_t keys = 0;
  for (int i = 0; i < s.numParticles(); ++i) keys += size_t(s.particle(i).numKeys());
  return keys * 60;
}

// The same bytes written once, as the floor of any recorder.
double PlainFillSeconds(size_t bytes) {
  auto begin = std::chrono::steady_clock::now();
  std::unique_ptr<char[]> block(new char[bytes]);
  std::memset(block.get(), 1, bytes);
  benchmark::DoNotOptimize(block.get());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

void Record(benchmark::State& state, INode* (*scene)(), double aimSeconds) {
  GetCOREInterface()->ResetScene();
  INode* node = scene();
  const TimeValue end = kFrames * GetTicksPerFrame();
  size_t peak = 0, bytes = 0;
  int lives = 0;
  for (auto _ : state) {
    auto recording = std::make_unique<ParticleStateBuilder>();
    heap_meter::Reset();
    BOOL ok = recording->build(node, 0, end, GetTicksPerFrame(), nullptr, nullptr);
    peak = heap_meter::PeakAboveStart();
    if (!ok) state.SkipWithError("the recorder failed");
    bytes = RecordingBytes(*recording);
    lives = recording->numParticles();
    state.PauseTiming();
    recording.reset();
    state.ResumeTiming();
  }
  state.counters["lives"] = lives;
  state.counters["recording_MB"] = double(bytes) / 1e6;
  state.counters["peak_MB"] = double(peak) / 1e6;
  state.counters["peak/recording"] = bytes ? double(peak) / double(bytes) : 0.0;
  state.counters["aim_s"] = aimSeconds;
  state.counters["plain_fill_s"] = PlainFillSeconds(bytes);
  GetCOREInterface()->ResetScene();
}

void BM_RecordFlow10000x100(benchmark::State& state) { Record(state, FlowScene, 1.0); }
void BM_RecordLegacy10000x100(benchmark::State& state) { Record(state, LegacyScene, 2.0); }

}  // namespace

BENCHMARK(BM_RecordFlow10000x100)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RecordLegacy10000x100)->Unit(benchmark::kMillisecond)->Iterations(3);
