// The deterministic emitter: counts, birth times, paths, and sameness for the same seed.
#include <cmath>

#include "particles_fixture.h"

namespace {

using EmitterTest = ParticlesTest;

ParticleEmitter Spray(uint64_t seed) {
  ParticleEmitter e;
  e.start = 0;
  e.stop = 10 * 160;
  e.rate = 3;
  e.life = 5 * 160;
  e.speed = 2;
  e.direction = Point3(0, 0, 4);
  e.spread = 30;
  e.gravity = Point3(0.0f, 0.0f, -0.5f);
  e.seed = seed;
  return e;
}

bool SameParticles(const std::vector<FlowParticle>& a, const std::vector<FlowParticle>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].born != b[i].born || a[i].dies != b[i].dies || a[i].path.Count() != b[i].path.Count()) return false;
    for (int k = 0; k < a[i].path.Count(); ++k)
      if (a[i].path[k].time != b[i].path[k].time || a[i].path[k].value != b[i].path[k].value) return false;
  }
  return true;
}

TEST_F(EmitterTest, SameSeedSameParticlesOtherSeedOthers) {
  const auto a = EmitParticles(Spray(42));
  const auto b = EmitParticles(Spray(42));
  const auto c = EmitParticles(Spray(43));
  ASSERT_FALSE(a.empty());
  EXPECT_TRUE(SameParticles(a, b));
  EXPECT_EQ(a.size(), c.size());  // the seed changes directions, not births
  EXPECT_FALSE(SameParticles(a, c));
  // Directions differ between the particles of one emitter too.
  EXPECT_FALSE(a[0].path[1].value == a[1].path[1].value);
}

TEST_F(EmitterTest, BirthsAreSpreadEvenlyUpToStop) {
  ParticleEmitter e = Spray(1);
  const auto ps = EmitParticles(e);
  // 3 per frame over frames 0..10, the last one born at stop exactly.
  ASSERT_EQ(ps.size(), 31u);
  EXPECT_EQ(EmitterParticleCount(e), ps.size());
  for (size_t k = 0; k < ps.size(); ++k) {
    EXPECT_EQ(ps[k].born, TimeValue(std::floor(double(k) * 160 / 3)));
    EXPECT_EQ(ps[k].dies, ps[k].born + e.life);
    EXPECT_EQ(ps[k].event.Count(), 0);
    EXPECT_EQ(ps[k].rotation.Count(), 0);
    EXPECT_TRUE(ps[k].transform);
  }
  EXPECT_EQ(ps.back().born, e.stop);
  // Any accepted particle list goes into a flow system without complaint.
  auto* sys = new FlowParticleSystem();
  for (const FlowParticle& p : ps) sys->AddParticle(p);
  EXPECT_TRUE(asserts.empty());
  sys->DeleteThis();
}

TEST_F(EmitterTest, PathsStartAtTheOriginAndKeyEveryFrame) {
  ParticleEmitter e = Spray(7);
  e.spread = 0;
  e.direction = Point3(0, 3, 0);  // normalised: speed 2 along +Y
  e.life = 4 * 160 + 80;          // four and a half frames
  for (const FlowParticle& p : EmitParticles(e)) {
    ASSERT_EQ(p.path.Count(), 6);  // frames 0..4 of the life and the death time
    for (int k = 0; k < 5; ++k) EXPECT_EQ(p.path[k].time, p.born + k * 160);
    EXPECT_EQ(p.path[5].time, p.dies);
    EXPECT_TRUE(Near(p.path[0].value, Point3(0, 0, 0)));
    // p(f) = 2 f along Y, gravity -0.5 f^2 / 2 along Z.
    EXPECT_TRUE(Near(p.path[2].value, Point3(0, 4, -1)));
    EXPECT_TRUE(Near(p.path[5].value, Point3(0.0f, 9.0f, -0.25f * 4.5f * 4.5f)));
  }
}

TEST_F(EmitterTest, DirectionsStayWithinTheSpread) {
  ParticleEmitter e = Spray(99);
  e.gravity = Point3(0, 0, 0);
  e.rate = 50;
  e.spread = 20;
  e.direction = Point3(1, 1, 0);
  const Point3 axis = Normalize(Point3(1, 1, 0));
  double widest = 0;
  for (const FlowParticle& p : EmitParticles(e)) {
    const Point3 v = p.path[1].value;  // one frame in: the velocity
    EXPECT_NEAR(Length(v), 2.0f, 1e-4f);
    const double angle = std::acos(std::fmin(1.0, DotProd(v, axis) / Length(v))) * 180 / PI;
    EXPECT_LE(angle, 20.0 + 1e-3);
    widest = std::fmax(widest, angle);
  }
  EXPECT_GT(widest, 10.0);  // the cap is used, not only its centre

  e.direction = Point3(0, 0, 0);  // no direction: +Z
  e.spread = 0;
  for (const FlowParticle& p : EmitParticles(e)) EXPECT_TRUE(Near(p.path[1].value, Point3(0, 0, 2)));
}

TEST_F(EmitterTest, CountsWithoutAllocatingAndSaturates) {
  ParticleEmitter e = Spray(0);
  e.rate = 0;
  EXPECT_EQ(EmitterParticleCount(e), 0u);
  EXPECT_TRUE(EmitParticles(e).empty());
  e.rate = -1;
  EXPECT_EQ(EmitterParticleCount(e), 0u);
  e.rate = std::nan("");
  EXPECT_EQ(EmitterParticleCount(e), 0u);
  e.rate = 1;
  e.start = 100;
  e.stop = 99;
  EXPECT_EQ(EmitterParticleCount(e), 0u);
  e.stop = 100;  // a single instant: one particle
  EXPECT_EQ(EmitterParticleCount(e), 1u);
  e.rate = 0.5;  // one every other frame
  e.stop = 100 + 4 * 160;
  EXPECT_EQ(EmitterParticleCount(e), 3u);
  EXPECT_EQ(EmitParticles(e).size(), 3u);
  e.rate = 1e-300;  // tiny: only the first
  EXPECT_EQ(EmitterParticleCount(e), 1u);

  // Whole time range at huge rates: saturated, answered at once.
  e.start = TIME_NegInfinity;
  e.stop = TIME_PosInfinity;
  e.rate = 1e300;
  EXPECT_EQ(EmitterParticleCount(e), UINT64_MAX);
  e.rate = INFINITY;
  EXPECT_EQ(EmitterParticleCount(e), UINT64_MAX);
  e.start = e.stop = 0;  // infinitely many at one instant
  EXPECT_EQ(EmitterParticleCount(e), UINT64_MAX);
  e.start = TIME_NegInfinity;
  e.stop = TIME_PosInfinity;
  e.rate = 1000;  // about 2.7e10: large but exact
  const uint64_t n = EmitterParticleCount(e);
  EXPECT_GT(n, 26000000000u);
  EXPECT_LT(n, 27000000000u);
  // Too many for born indices: reported, nothing made.
  EXPECT_TRUE(EmitParticles(e).empty());
  EXPECT_EQ(asserts.size(), 1u);
}

TEST_F(EmitterTest, CountMatchesEmissionAcrossRatesAndTicks) {
  for (int tpf : {160, 1, 7}) {
    SetTicksPerFrame(tpf);
    for (double rate : {0.3, 1.0, 2.5, 3.0, 7.0 / 3.0, 160.0}) {
      ParticleEmitter e;
      e.start = -5;
      e.stop = 3 * tpf + 1;
      e.rate = rate;
      e.life = tpf;
      const auto ps = EmitParticles(e);
      SCOPED_TRACE(testing::Message() << "tpf " << tpf << " rate " << rate);
      EXPECT_EQ(EmitterParticleCount(e), ps.size());
      ASSERT_FALSE(ps.empty());
      EXPECT_EQ(ps.front().born, e.start);
      EXPECT_LE(ps.back().born, e.stop);
      // The next one would be born after stop.
      EXPECT_GT(e.start + std::floor(double(ps.size()) * tpf / rate), double(e.stop));
    }
  }
}

TEST_F(EmitterTest, LongAndEndlessLivesKeepPathsBounded) {
  ParticleEmitter e;
  e.start = e.stop = 0;
  e.life = TIME_PosInfinity;  // lives to the end of time
  const auto ps = EmitParticles(e);
  ASSERT_EQ(ps.size(), 1u);
  EXPECT_EQ(ps[0].dies, TIME_PosInfinity);
  EXPECT_LE(ps[0].path.Count(), 1001 + 1);
  EXPECT_EQ(ps[0].path[ps[0].path.Count() - 1].time, TIME_PosInfinity);
  e.life = -10;  // no life: born and gone at once
  const auto none = EmitParticles(e);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].dies, none[0].born);
  EXPECT_EQ(none[0].path.Count(), 1);
}

}  // namespace

// Counting settles on the births themselves in a step or two, however many particles share a tick (it
// used to walk up one particle at a time from the first tick's estimate).
TEST_F(EmitterTest, ManyParticlesATickAreCountedAtOnce) {
  SetTicksPerFrame(1);
  ParticleEmitter e = Spray(0);
  e.start = 0;
  e.stop = 0;
  e.rate = 1000;  // a thousand a tick
  EXPECT_EQ(EmitterParticleCount(e), 1000u);
  EXPECT_EQ(EmitParticles(e).size(), 1000u);
  e.stop = 10;
  e.rate = 1e11;
  EXPECT_EQ(EmitterParticleCount(e), 1100000000000u);
  SetTicksPerFrame(160);
}
