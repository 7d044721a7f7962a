// The deterministic emitter: a particle list from a handful of numbers and a seed, the same on every
// machine (its own generator, no library distributions).
#include <climits>
#include <cmath>

#include "debug.h"
#include "iface.h"
#include "particles_internal.h"

namespace {

// Long lives get at most this many path segments (keys spread evenly), so a path's size is bounded.
constexpr int64_t kMaxPathSteps = 1000;

// splitmix64: a small, well-mixed generator whose output depends on nothing but the seed.
class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1), 53 bits.
  double Uniform() { return double(Next() >> 11) * 0x1.0p-53; }

 private:
  uint64_t state_;
};

struct Vec {
  double x, y, z;
};
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec Scaled(const Vec& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Length(const Vec& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

// Ticks from the emitter's start to the birth of particle k.
double BirthOffset(uint64_t k, int tpf, double rate) { return std::floor(double(k) * tpf / rate); }

// The unit emission axis: the direction normalised, +Z when it has no length.
Vec Axis(const Point3& d) {
  const Vec v{d.x, d.y, d.z};
  const double len = Length(v);
  if (!(len > 0.0) || !std::isfinite(len)) return {0.0, 0.0, 1.0};
  return Scaled(v, 1.0 / len);
}

}  // namespace

uint64_t EmitterParticleCount(const ParticleEmitter& e) {
  if (!(e.rate > 0.0) || e.stop < e.start) return 0;
  const int tpf = GetTicksPerFrame();
  const double span = double(e.stop) - double(e.start);
  // Particle k is born while floor(k tpf / rate) <= span, that is while k < (span + 1) rate / tpf; the
  // settling below then moves by a rounding step or two, however many particles share a tick.
  const double estimate = std::ceil((span + 1.0) * e.rate / tpf);
  if (!(estimate < 0x1.0p53)) return estimate < 0x1.0p64 ? uint64_t(estimate) : UINT64_MAX;
  // The estimate and the birth times round differently: settle on the births themselves.
  uint64_t n = uint64_t(estimate);
  while (n > 0 && BirthOffset(n - 1, tpf, e.rate) > span) --n;
  while (BirthOffset(n, tpf, e.rate) <= span) ++n;
  return n;
}

std::vector<FlowParticle> EmitParticles(const ParticleEmitter& e) {
  std::vector<FlowParticle> out;
  const uint64_t count = EmitterParticleCount(e);
  // Born indices are ints: a larger emitter cannot be a particle system (callers bound the count first).
  DbgAssert(count <= uint64_t(INT_MAX));
  if (count > uint64_t(INT_MAX)) return out;
  out.reserve(size_t(count));

  const int tpf = GetTicksPerFrame();
  const Vec axis = Axis(e.direction);
  // Two axes perpendicular to it, from whichever world axis is least parallel.
  const Vec helper = std::fabs(axis.z) < 0.9 ? Vec{0.0, 0.0, 1.0} : Vec{1.0, 0.0, 0.0};
  const Vec u = Scaled(Cross(helper, axis), 1.0 / Length(Cross(helper, axis)));
  const Vec v = Cross(axis, u);
  const double spread = std::isfinite(e.spread) ? std::fmin(std::fmax(e.spread, 0.0), 180.0) : 0.0;
  const double cosSpread = std::cos(spread * PI / 180.0);
  const int64_t life = e.life > 0 ? e.life : 0;
  const int64_t step = life > kMaxPathSteps * tpf ? (life + kMaxPathSteps - 1) / kMaxPathSteps : tpf;

  SplitMix64 rng(e.seed);
  for (uint64_t k = 0; k < count; ++k) {
    FlowParticle p;
    p.born = TimeValue(int64_t(e.start) + int64_t(BirthOffset(k, tpf, e.rate)));
    const int64_t dies = int64_t(p.born) + life;
    p.dies = dies >= int64_t(TIME_PosInfinity) ? TIME_PosInfinity : TimeValue(dies);
    // Directions uniform over the spherical cap within `spread` of the axis: cos of the angle uniform in
    // [cos spread, 1], the turn about the axis uniform in [0, 2 pi).
    const double cosA = 1.0 - rng.Uniform() * (1.0 - cosSpread);
    const double sinA = std::sqrt(std::fmax(0.0, 1.0 - cosA * cosA));
    const double turn = 2.0 * PI * rng.Uniform();
    const double cu = sinA * std::cos(turn), cv = sinA * std::sin(turn);
    const Vec vel = Scaled(
        {u.x * cu + v.x * cv + axis.x * cosA, u.y * cu + v.y * cv + axis.y * cosA, u.z * cu + v.z * cv + axis.z * cosA},
        e.speed);
    // Constant velocity plus gravity, in frames: p(f) = vel f + gravity f^2 / 2.
    auto at = [&](int64_t ageTicks) {
      const double f = double(ageTicks) / tpf, h = 0.5 * f * f;
      return Point3(float(vel.x * f + e.gravity.x * h), float(vel.y * f + e.gravity.y * h),
                    float(vel.z * f + e.gravity.z * h));
    };
    const int64_t span = int64_t(p.dies) - int64_t(p.born);
    for (int64_t a = 0; a < span; a += step) p.path.Set(TimeValue(int64_t(p.born) + a), at(a));
    p.path.Set(p.dies, at(span));
    out.push_back(std::move(p));
  }
  return out;
}
