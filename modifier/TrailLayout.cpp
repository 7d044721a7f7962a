#include "modifier/TrailLayout.h"

#include <max.h>

#include <cmath>

namespace {

const int64_t kSaturated = INT64_MAX;

int64_t Mul(int64_t a, int64_t b) {
  if (a <= 0 || b <= 0) return 0;
  int64_t r;
  return __builtin_mul_overflow(a, b, &r) ? kSaturated : r;
}

uint64_t Bytes(int64_t count, uint64_t size) {
  if (count <= 0) return 0;
  uint64_t r;
  return __builtin_mul_overflow(uint64_t(count), size, &r) ? UINT64_MAX : r;
}

uint64_t Add(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// A selection holds one bit per element, in whole 64-bit words.
uint64_t SelectionBytes(int64_t count) { return count <= 0 ? 0 : Bytes(count / 64 + 1, sizeof(uint64_t)); }

}  // namespace

int64_t TrailLayout::verts() const { return Mul(Mul(drawnTrails, pointsPerSample), samples); }

int64_t TrailLayout::faces() const { return Mul(Mul(drawnTrails, facesPerInterval), samples - 1); }

int64_t TrailLayout::texVerts() const { return Mul(Mul(drawnTrails, samples), columnsPerSample); }

uint64_t TrailLayout::sampleBytes() const {
  uint64_t bytes = Bytes(samples, sizeof(int));
  if (pathLengths) bytes = Add(bytes, Bytes(samples < kSaturated ? samples + 1 : samples, sizeof(double)));
  return bytes;
}

uint64_t TrailLayout::meshBytes() const {
  const int64_t v = verts(), f = faces(), tv = texVerts();
  uint64_t bytes = Add(Bytes(v, sizeof(Point3)), Bytes(f, sizeof(Face)));
  bytes = Add(bytes, Add(SelectionBytes(v), SelectionBytes(f)));
  const uint64_t channel = Add(Bytes(tv, sizeof(UVVert)), Bytes(f, sizeof(TVFace)));
  if (textureMap) bytes = Add(bytes, channel);
  if (ageMap) bytes = Add(bytes, channel);
  return Add(bytes, sampleBytes());
}

int64_t SampleCountBound(double wholeSteps) {
  if (!(wholeSteps >= 0.0)) return 0;
  // 2^62 is exact in double; anything beyond is hopeless anyway.
  if (!(wholeSteps < 4611686018427387904.0)) return kSaturated;
  return int64_t(wholeSteps) + 2;
}
