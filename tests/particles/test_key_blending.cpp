// Particle transforms between keys, bit for bit as the formula that decomposed every key at every sample
// gave them: that formula is kept here as the reference. Also how often keys are decomposed.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <max.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "particle_test_util.h"
#include "particles/ParticleSystemState.h"
#include "particles/TrailSource.h"

// Every decomposition the program asks for is counted on its way to the host's own: this definition
// takes the calls of the code linked into this program, and hands them on to the host library.
namespace {
long g_decompositions = 0;
}  // namespace

void decomp_affine(Matrix3 A, AffineParts* parts) {
  using Fn = void (*)(Matrix3, AffineParts*);
  static const Fn host = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "_Z13decomp_affine7Matrix3P11AffineParts"));
  if (!host) {
    std::fprintf(stderr, "the host's decomp_affine was not found\n");
    std::abort();
  }
  ++g_decompositions;
  host(A, parts);
}

namespace {

// ---- the reference: each sample decomposes the keys it reads ----

struct RefParts {
  Point3 p, k;
  Quat q;
};

RefParts RefPartsOf(const Matrix3& m) {
  AffineParts a;
  decomp_affine(m, &a);
  return RefParts{a.t, a.k, a.q};
}

Point3 RefHermite(const Point3& p0, const Point3& p1, const Point3& p2, const Point3& p3, float u) {
  return Point3(HermiteInterpolate(p0.x, p1.x, p2.x, p3.x, u, 0.0f, 0.0f),
                HermiteInterpolate(p0.y, p1.y, p2.y, p3.y, u, 0.0f, 0.0f),
                HermiteInterpolate(p0.z, p1.z, p2.z, p3.z, u, 0.0f, 0.0f));
}

// Between the keys m1 at t1 and m2 at t2 (t1 < t < t2), with the neighbours m0 and m3 when present.
Matrix3 RefInterpolate(const Matrix3* m0, const Matrix3* m1, TimeValue t1, const Matrix3* m2, TimeValue t2,
                       const Matrix3* m3, TimeValue t) {
  float u = std::fabs(float(int64_t(t) - t1) / float(int64_t(t2) - t1));
  RefParts a1 = RefPartsOf(*m1), a2 = RefPartsOf(*m2);
  RefParts a0, a3;
  if (m0) {
    a0 = RefPartsOf(*m0);
  } else {
    a0.p = a1.p - (a2.p - a1.p);
    a0.k = a1.k - (a2.k - a1.k);
    a0.q = a1.q;
  }
  if (m3) {
    a3 = RefPartsOf(*m3);
  } else {
    a3.p = a2.p + (a2.p - a1.p);
    a3.k = a2.k + (a2.k - a1.k);
    a3.q = a2.q;
  }
  Point3 p = RefHermite(a0.p, a1.p, a2.p, a3.p, u);
  Point3 k = RefHermite(a0.k, a1.k, a2.k, a3.k, u);
  Quat q2 = a2.q;
  q2.MakeClosest(a1.q);
  Quat q = Slerp(a1.q, q2, u);
  Matrix3 scale, rot;
  scale.SetScale(k);
  rot.SetRotate(q);
  Matrix3 result = scale * rot;
  result.Translate(p);
  return result;
}

// The key lookup as it stands: a proportional guess, walked back but never forward, so that a guess that
// falls short of t settles on the key before it.
void RefLookup(const ParticleState& life, TimeValue t, int* lo, int* hi) {
  *lo = *hi = -1;
  int n = life.numKeys();
  if (n == 0) return;
  if (n == 1) {
    *lo = 0;
    return;
  }
  TimeValue t0 = life.key(0).time, tn = life.key(n - 1).time;
  if (t <= t0) {
    *lo = 0;
    return;
  }
  if (t >= tn) {
    *lo = n - 1;
    return;
  }
  const float guess = float(n) * float(int64_t(t) - t0) / float(int64_t(tn) - t0);
  int i = guess < float(n - 1) ? int(guess) : n - 1;
  while (i > 0 && life.key(i).time > t) --i;
  if (life.key(i).time == t || i == n - 1) {
    *lo = i;
    return;
  }
  *lo = i;
  if (life.key(i).time <= t && life.key(i + 1).time >= t) *hi = i + 1;
}

Matrix3 RefTrailTM(const ParticleState& life, TimeValue t) {
  int lo, hi;
  RefLookup(life, t, &lo, &hi);
  if (lo < 0) return Matrix3();
  if (hi < 0) return life.key(lo).tm;
  if (t == life.key(hi).time) return life.key(hi).tm;
  const int n = life.numKeys();
  const Matrix3* m0 = lo > 0 ? &life.key(lo - 1).tm : nullptr;
  const Matrix3* m3 = hi < n - 1 ? &life.key(hi + 1).tm : nullptr;
  return RefInterpolate(m0, &life.key(lo).tm, life.key(lo).time, &life.key(hi).tm, life.key(hi).time, m3, t);
}

// ---- comparison and key sets ----

::testing::AssertionResult SameBits(const Matrix3& got, const Matrix3& want) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c)
      if (Bits(got.GetRow(r)[c]) != Bits(want.GetRow(r)[c]))
        return ::testing::AssertionFailure()
               << "row " << r << " column " << c << ": " << got.GetRow(r)[c] << " against " << want.GetRow(r)[c];
  if (got.GetIdentFlags() != want.GetIdentFlags())
    return ::testing::AssertionFailure() << "flags " << got.GetIdentFlags() << " against " << want.GetIdentFlags();
  return ::testing::AssertionSuccess();
}

enum KeyKind { kMoved, kTurned, kStretched, kMirrored, kSheared, kSignedZeros, kFlat, kFlipped, kKinds };

class KeyMaker {
 public:
  explicit KeyMaker(unsigned seed) : rng_(seed) {}

  float Uniform(float a, float b) { return std::uniform_real_distribution<float>(a, b)(rng_); }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  Point3 Position() { return Point3(Uniform(-500, 500), Uniform(-500, 500), Uniform(-500, 500)); }
  Point3 Axis() {
    Point3 a(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
    return a.Length() > 0.1f ? Normalize(a) : Point3(0.0f, 0.0f, 1.0f);
  }

  Matrix3 Key(KeyKind kind, const Quat& previous) {
    Matrix3 m;
    switch (kind) {
      case kMoved:
        return TransMatrix(Position());
      case kTurned:
        m = RotAngleAxisMatrix(Axis(), Uniform(-6.3f, 6.3f));
        break;
      case kStretched:
        m = ScaleMatrix(Point3(Uniform(0.1f, 5), Uniform(0.1f, 5), Uniform(0.1f, 5))) *
            RotAngleAxisMatrix(Axis(), Uniform(-3.2f, 3.2f));
        break;
      case kMirrored:
        m = ScaleMatrix(Point3(-Uniform(0.5f, 2), Uniform(0.5f, 2), Uniform(0.5f, 2))) *
            RotAngleAxisMatrix(Axis(), Uniform(-3.2f, 3.2f));
        break;
      case kSheared: {
        const float rows[12] = {Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                Uniform(-2, 2),
                                0,
                                0,
                                0};
        m = RawMatrix(rows, 0);
        break;
      }
      case kSignedZeros: {
        // The identity but for the sign of a zero: it takes the general way.
        float rows[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        const int zeros[6] = {1, 2, 3, 5, 6, 7};
        rows[zeros[Below(6)]] = -0.0f;
        m = RawMatrix(rows, 0);
        break;
      }
      case kFlat:
        m = ScaleMatrix(Point3(Uniform(0.5f, 2), 0.0f, Uniform(0.5f, 2)));
        break;
      case kFlipped: {
        // Half a turn away from the previous key's rotation, or nearly: the slerp's far cases.
        Quat q = previous * QFromAngAxis(Below(2) ? 3.14159265f : 3.1415f, Axis());
        m.SetRotate(q);
        break;
      }
      default:
        break;
    }
    m.Translate(Position());
    return m;
  }

  // A life of n keys at increasing (not evenly spaced) times from `start`, of the given kinds.
  ParticleState Life(int n, TimeValue start, const std::vector<KeyKind>& kinds) {
    ParticleState life;
    TimeValue t = start;
    Quat q;
    for (int i = 0; i < n; ++i) {
      const Matrix3 m = Key(kinds[size_t(i) % kinds.size()], q);
      AffineParts parts;
      decomp_affine(m, &parts);
      q = parts.q;
      life.addKey(ParticlePositionKey(t, m, t - start));
      t += 1 + Below(Below(4) ? 160 : 7);
    }
    return life;
  }

  // Times at, between and around the keys: every tick of short spans, random ticks of long ones.
  std::vector<TimeValue> Times(const ParticleState& life) {
    std::vector<TimeValue> times;
    const int n = life.numKeys();
    for (int i = 0; i < n; ++i) {
      const TimeValue a = life.key(i).time;
      times.push_back(a);
      if (i + 1 == n) break;
      const TimeValue b = life.key(i + 1).time;
      if (b - a <= 12) {
        for (TimeValue t = a + 1; t < b; ++t) times.push_back(t);
      } else {
        times.push_back(a + 1);
        times.push_back(b - 1);
        for (int j = 0; j < 6; ++j) times.push_back(a + 1 + Below(b - a - 1));
      }
    }
    times.push_back(life.key(0).time - 5);
    times.push_back(life.key(n - 1).time + 5);
    return times;
  }

 private:
  std::mt19937 rng_;
};

void ExpectLivesMatchTheReference(const ParticleSystemState& state, KeyMaker& maker) {
  ParticleTrailSource source(const_cast<ParticleSystemState*>(&state));
  TimeList times;
  for (int j = 0; j < state.numParticles(); ++j) {
    const ParticleState& life = state.particle(j);
    for (TimeValue t : maker.Times(life)) {
      ASSERT_TRUE(SameBits(source.trailTM(j, t, times), RefTrailTM(life, t)))
          << "life " << j << " of " << life.numKeys() << " keys at " << t;
    }
  }
}

}  // namespace

TEST(ParticleKeyBlending, PureTranslationsMatchTheDecomposingFormulaBitForBit) {
  // Lives of 2 to 9 keys: with and without neighbours on either side of every segment.
  KeyMaker maker(11);
  ParticleSystemState state;
  for (int j = 0; j < 120; ++j) state.addParticle(maker.Life(2 + j % 8, maker.Below(10000), {kMoved}));
  ExpectLivesMatchTheReference(state, maker);
}

TEST(ParticleKeyBlending, TurnedStretchedMirroredAndShearedKeysMatchBitForBit) {
  KeyMaker maker(23);
  ParticleSystemState state;
  for (int kind = kTurned; kind < kKinds; ++kind)
    for (int j = 0; j < 25; ++j) state.addParticle(maker.Life(2 + j % 7, maker.Below(10000), {kMoved, KeyKind(kind)}));
  for (int kind = kTurned; kind < kKinds; ++kind)
    for (int j = 0; j < 10; ++j) state.addParticle(maker.Life(2 + j % 5, 0, {KeyKind(kind)}));
  ExpectLivesMatchTheReference(state, maker);
}

TEST(ParticleKeyBlending, KeysOfMixedKindsInRandomOrderMatchBitForBit) {
  KeyMaker maker(37);
  ParticleSystemState state;
  for (int j = 0; j < 150; ++j) {
    std::vector<KeyKind> kinds;
    for (int i = 0; i < 9; ++i) kinds.push_back(KeyKind(maker.Below(4) ? kMoved : maker.Below(kKinds)));
    state.addParticle(maker.Life(2 + j % 9, maker.Below(10000), kinds));
  }
  ExpectLivesMatchTheReference(state, maker);
}

TEST(ParticleKeyBlending, AChangedKeyIsNeverAnsweredFromAnEarlierDecomposition) {
  KeyMaker maker(41);
  ParticleSystemState state;
  state.addParticle(maker.Life(6, 0, {kTurned}));
  state.addParticle(maker.Life(6, 0, {kStretched}));
  ParticleTrailSource source(&state);
  TimeList times;
  ParticleState& life = state.particle(0);
  const TimeValue t = (life.key(2).time + life.key(3).time) / 2;
  ASSERT_NE(t, life.key(2).time);
  ASSERT_TRUE(SameBits(source.trailTM(0, t, times), RefTrailTM(life, t)));
  // The same key indices of another life, with other transforms, read in turns with the first.
  for (int round = 0; round < 2; ++round)
    for (int j = 0; j < 2; ++j) {
      const ParticleState& l = state.particle(j);
      const TimeValue tj = (l.key(2).time + l.key(3).time) / 2;
      ASSERT_TRUE(SameBits(source.trailTM(j, tj, times), RefTrailTM(l, tj))) << "life " << j;
    }
  // A key rewritten in place, and another turned into a pure translation, through the same source.
  life.key(2).tm = maker.Key(kMirrored, Quat());
  ASSERT_TRUE(SameBits(source.trailTM(0, t, times), RefTrailTM(life, t)));
  life.key(3).tm = TransMatrix(Point3(1, 2, 3));
  ASSERT_TRUE(SameBits(source.trailTM(0, t, times), RefTrailTM(life, t)));
}

TEST(ParticleKeyBlending, PureTranslationsAreNeverDecomposed) {
  KeyMaker maker(53);
  ParticleSystemState state;
  for (int j = 0; j < 5; ++j) state.addParticle(maker.Life(10, 0, {kMoved}));
  ParticleTrailSource source(&state);
  TimeList times;
  g_decompositions = 0;
  int between = 0;
  for (int j = 0; j < 5; ++j) {
    const ParticleState& life = state.particle(j);
    for (TimeValue t = life.key(0).time; t <= life.key(9).time; t += 3) {
      source.trailTM(j, t, times);
      ++between;
    }
  }
  ASSERT_GT(between, 50);
  EXPECT_EQ(g_decompositions, 0);
}

TEST(ParticleKeyBlending, EachKeyIsDecomposedOnceWhileATrailIsSampled) {
  KeyMaker maker(59);
  ParticleSystemState state;
  state.addParticle(maker.Life(12, 0, {kTurned, kStretched, kMirrored, kMoved}));
  state.addParticle(maker.Life(12, 0, {kSheared}));
  // Keys 40 ticks apart, so that every key is read by the samples between it and its neighbours.
  for (int j = 0; j < 2; ++j)
    for (int i = 0; i < 12; ++i) state.particle(j).key(i).time = 40 * i;
  ParticleTrailSource source(&state);
  TimeList times;
  // Every tick of the life, newest first as trails are sampled, then oldest first: 9 keys that are not
  // pure translations in the first life, 12 in the second. The way back costs no more.
  const long expected[2] = {9, 12};
  for (int j = 0; j < 2; ++j) {
    const ParticleState& life = state.particle(j);
    g_decompositions = 0;
    for (TimeValue t = life.key(11).time; t >= life.key(0).time; --t) source.trailTM(j, t, times);
    EXPECT_EQ(g_decompositions, expected[j]) << "life " << j;
    g_decompositions = 0;
    for (TimeValue t = life.key(0).time; t <= life.key(11).time; t += 2) source.trailTM(j, t, times);
    EXPECT_LE(g_decompositions, expected[j]) << "life " << j;
  }
}
