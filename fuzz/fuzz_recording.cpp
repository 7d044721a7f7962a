// Fuzzes the particle recording as a saved scene brings it back: the host's chunk file reader under
// ParticleSystemState::load, then the particle trail source queried over whatever was loaded, the way
// an evaluation asks it. A recording that loads must also save and load back unchanged.
//
// Input: one byte of mode, then the bytes. Mode bit 0 set: the bytes are the file's chunk data and the
// file header (magic, version, length) is written here, so mutations reach the chunks instead of dying
// on the header's length check. Clear: the bytes are the whole file, header and all.
#include <chunkfile.h>
#include <max.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "particles/ParticleSystemState.h"
#include "particles/TrailSource.h"

namespace {

// Enough lives, keys and samples to reach every path; an input's size already bounds the work.
constexpr int kMaxTrails = 64;
constexpr int kMaxKeysAsked = 16;
constexpr int kSamples = 24;

std::string g_file, g_copy;
volatile float g_sink;

bool WriteFile(const std::string& path, const uint8_t* header, size_t headerSize, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(header, 1, headerSize, f) == headerSize && std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

[[noreturn]] void Differs(const char* what, int a, int b) {
  std::fprintf(stderr, "fuzz_recording: saved and loaded back differently: %s (%d, %d)\n", what, a, b);
  std::abort();
}

TimeValue Clamp(int64_t t) { return TimeValue(std::clamp<int64_t>(t, INT_MIN, INT_MAX)); }

// The times worth asking a life about: around its ends, at and between its first and last keys, and the
// extremes of the time line.
std::vector<TimeValue> QueryTimes(const ParticleState& life) {
  std::vector<TimeValue> out = {
      INT_MIN, INT_MAX, 0, Clamp(int64_t(life.start) - 1), life.start, life.end, Clamp(int64_t(life.end) + 1)};
  const int n = life.numKeys();
  auto add = [&](int k) {
    out.push_back(life.key(k).time);
    out.push_back(Clamp(int64_t(life.key(k).time) + 1));
    if (k + 1 < n) out.push_back(Clamp((int64_t(life.key(k).time) + life.key(k + 1).time) / 2));
  };
  for (int k = 0; k < n && k < kMaxKeysAsked; ++k) add(k);
  for (int k = std::max(kMaxKeysAsked, n - kMaxKeysAsked); k < n; ++k) add(k);
  return out;
}

// What an evaluation at `now` asks of one trail: transforms and ages at the sample times (newest first,
// a frame apart), whether it moved over them, and how many old samples stand still.
void Evaluate(ITrailSource& source, int trail, TimeValue now) {
  TimeList times;
  for (int i = 0; i < kSamples; ++i) times.Add(Clamp(int64_t(now) - int64_t(i) * 160));
  for (int i = 0; i < times.GetSize(); ++i) {
    g_sink = source.trailTM(trail, times[i], times).GetTrans().x;
    g_sink = float(source.trailAge(trail, times[i]));
  }
  g_sink = float(source.isTrailStationary(trail, times[times.GetSize() - 1], now, 160, times));
  g_sink = float(source.countStillSamples(trail, times));
}

void ExpectSame(const ParticleSystemState& a, const ParticleSystemState& b) {
  if (a.numParticles() != b.numParticles()) Differs("lives", a.numParticles(), b.numParticles());
  if (a.getMaxLifeSpan() != b.getMaxLifeSpan()) Differs("longest life", a.getMaxLifeSpan(), b.getMaxLifeSpan());
  if (a.isParticleFlow() != b.isParticleFlow()) Differs("flow flag", a.isParticleFlow(), b.isParticleFlow());
  for (int i = 0; i < a.numParticles(); ++i) {
    const ParticleState &x = a.particle(i), &y = b.particle(i);
    if (x.start != y.start || x.end != y.end || x.numKeys() != y.numKeys()) Differs("life", i, 0);
    for (int k = 0; k < x.numKeys(); ++k) {
      const ParticlePositionKey &p = x.key(k), &q = y.key(k);
      if (p.time != q.time || p.age != q.age || p.tm.GetIdentFlags() != q.tm.GetIdentFlags()) Differs("key", i, k);
      for (int r = 0; r < 4; ++r) {
        const Point3 a = p.tm.GetRow(r), b = q.tm.GetRow(r);
        if (std::memcmp(&a, &b, sizeof a) != 0) Differs("key row", i, k);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = std::getenv("TMPDIR");
  const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/fuzz_recording." + std::to_string(getpid());
  g_file = base + ".wwcf";
  g_copy = base + ".copy.wwcf";
  std::atexit([] {
    std::remove(g_file.c_str());
    std::remove(g_copy.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool framed = data[0] & 1;
  ++data, --size;
  uint8_t header[ChunkFormat::kFileHeaderSize];
  size_t headerSize = 0;
  if (framed) {
    if (size > ChunkFormat::kMaxChunkLength) return 0;
    const uint32_t fields[2] = {ChunkFormat::kVersion, uint32_t(size)};
    std::memcpy(header, ChunkFormat::kMagic, 4);
    for (int f = 0; f < 2; ++f)
      for (int i = 0; i < 4; ++i) header[4 + 4 * f + i] = uint8_t(fields[f] >> (8 * i));
    headerSize = sizeof header;
  }
  if (!WriteFile(g_file, header, headerSize, data, size)) std::abort();

  ParticleSystemState state;
  IOResult loaded = IO_ERROR;
  {
    FileLoad in(g_file);
    if (in.Status() == IO_OK) loaded = state.load(&in);
  }

  // Whatever was read stays in the state, loaded or not: the trail source must cope with all of it.
  ParticleTrailSource source(&state);
  for (int trail = 0; trail < source.numTrails() && trail < kMaxTrails; ++trail) {
    const ParticleState& life = state.particle(trail);
    g_sink = float(source.trailLifeSpan(trail));
    for (TimeValue t : QueryTimes(life)) {
      TimeList one;
      one.Add(t);
      g_sink = source.trailTM(trail, t, one).GetTrans().y;
      g_sink = float(source.trailAge(trail, t));
    }
    Evaluate(source, trail, life.end);
    Evaluate(source, trail, Clamp((int64_t(life.start) + life.end) / 2));
  }

  if (loaded == IO_OK) {
    {
      FileSave out(g_copy);
      if (state.save(&out) != IO_OK || out.Close() != IO_OK) Differs("save failed", state.numParticles(), 0);
    }
    ParticleSystemState back;
    FileLoad in(g_copy);
    if (in.Status() != IO_OK || back.load(&in) != IO_OK) Differs("load of the copy failed", 0, 0);
    ExpectSame(state, back);
  }
  return 0;
}
