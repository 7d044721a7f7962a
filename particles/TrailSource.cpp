#include "particles/TrailSource.h"

#include "particles/ParticleSystemState.h"

#include <cmath>
#include <cstdint>

namespace {

const char* const kSourceName = "TrailSource";

Point3 translationOf(const Matrix3& m) {
  AffineParts parts;
  decomp_affine(m, &parts);
  return parts.t;
}

// Shared by both sources: the run of equal transforms at the old end of the list, not counting the
// sample at index 0.
int countStill(ITrailSource& source, int trail, TimeList& times) {
  int n = times.GetSize();
  if (n < 1) return 0;
  Matrix3 prev = source.trailTM(trail, times[n - 1], times);
  int count = 0;
  for (int i = n - 2; i >= 1; --i) {
    Matrix3 cur = source.trailTM(trail, times[i], times);
    if (!cur.Equals(prev, 1e-6f)) return count;
    ++count;
    prev = cur;
  }
  return 0;
}

// Finds the keys around t: lo and hi, each -1 when absent.
void lookupKeys(const ParticleState& life, TimeValue t, int* lo, int* hi) {
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
  // Differences in 64 bits: keys of a damaged recording may lie further apart than an int can count.
  // Here t0 < t < tn, so the guess is not negative; rounding may carry it to n, which is clamped before
  // it becomes an index.
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

struct Parts {
  Point3 p, k;
  Quat q;
};

Parts partsOf(const Matrix3& m) {
  AffineParts a;
  decomp_affine(m, &a);
  return Parts{a.t, a.k, a.q};
}

Point3 hermite3(const Point3& p0, const Point3& p1, const Point3& p2, const Point3& p3, float u) {
  return Point3(HermiteInterpolate(p0.x, p1.x, p2.x, p3.x, u, 0.0f, 0.0f),
                HermiteInterpolate(p0.y, p1.y, p2.y, p3.y, u, 0.0f, 0.0f),
                HermiteInterpolate(p0.z, p1.z, p2.z, p3.z, u, 0.0f, 0.0f));
}

// Interpolates between key transforms M1 at t1 and M2 at t2, with the neighbours M0 and M3 when present.
Matrix3 interpolateKeys(const Matrix3* m0, const Matrix3* m1, TimeValue t1, const Matrix3* m2, TimeValue t2,
                        const Matrix3* m3, TimeValue t) {
  if (!m1 || !m2) return Matrix3();
  if (t == t1) return *m1;
  if (t == t2) return *m2;
  if (t1 == t2) return *m1;
  if (t < t1 || t > t2) return Matrix3();
  float u = std::fabs(float(int64_t(t) - t1) / float(int64_t(t2) - t1));

  Parts a1 = partsOf(*m1), a2 = partsOf(*m2);
  Parts a0, a3;
  if (m0) {
    a0 = partsOf(*m0);
  } else {
    a0.p = a1.p - (a2.p - a1.p);
    a0.k = a1.k - (a2.k - a1.k);
    a0.q = a1.q;
  }
  if (m3) {
    a3 = partsOf(*m3);
  } else {
    a3.p = a2.p + (a2.p - a1.p);
    a3.k = a2.k + (a2.k - a1.k);
    a3.q = a2.q;
  }
  Point3 p = hermite3(a0.p, a1.p, a2.p, a3.p, u);
  Point3 k = hermite3(a0.k, a1.k, a2.k, a3.k, u);
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

}  // namespace

float HermiteInterpolate(float p0, float p1, float p2, float p3, float u, float tension, float bias) {
  float t1 = ((p1 - p0) * (1 + bias) * (1 - tension) + (p2 - p1) * (1 - bias) * (1 - tension)) / 2;
  float t2 = ((p2 - p1) * (1 + bias) * (1 - tension) + (p3 - p2) * (1 - bias) * (1 - tension)) / 2;
  float u2 = u * u, u3 = u2 * u;
  return (2 * u3 - 3 * u2 + 1) * p1 + (u3 - 2 * u2 + u) * t1 + (u3 - u2) * t2 + (-2 * u3 + 3 * u2) * p2;
}

// ---- spline source ----

Matrix3 SplineTrailSource::trailTM(int, TimeValue t, TimeList& times) {
  DbgAssertSrc(pShapeNode != NULL, kSourceName);
  // The assertion handler may return: answer without the node rather than crash.
  if (times.GetSize() == 0 || !pShapeNode) return Matrix3();
  return pShapeNode->GetObjectTM(t);
}

BOOL SplineTrailSource::isTrailStationary(int, TimeValue from, TimeValue to, int step, TimeList&) {
  DbgAssertSrc(pShapeNode != NULL, kSourceName);
  if (!pShapeNode) return TRUE;
  Point3 p0 = translationOf(pShapeNode->GetObjectTM(from));
  // A step that cannot advance would never reach `to`.
  if (step <= 0) step = 1;
  for (int64_t t = from; t <= to;) {
    t += step;
    Point3 p = translationOf(pShapeNode->GetObjectTM(TimeValue(t)));
    if ((p - p0).Length() > 0.001f) return FALSE;
  }
  return TRUE;
}

int SplineTrailSource::countStillSamples(int trail, TimeList& times) { return countStill(*this, trail, times); }

// ---- particle source ----

int ParticleTrailSource::numTrails() { return pParticleState ? pParticleState->numParticles() : 0; }

Matrix3 ParticleTrailSource::trailTM(int trail, TimeValue t, TimeList&) {
  if (!pParticleState) return Matrix3();
  const ParticleState& life = pParticleState->particle(trail);
  int lo, hi;
  lookupKeys(life, t, &lo, &hi);
  if (lo < 0) return Matrix3();
  if (hi < 0) return life.key(lo).tm;
  int n = life.numKeys();
  const Matrix3* m0 = lo > 0 ? &life.key(lo - 1).tm : nullptr;
  const Matrix3* m3 = hi < n - 1 ? &life.key(hi + 1).tm : nullptr;
  return interpolateKeys(m0, &life.key(lo).tm, life.key(lo).time, &life.key(hi).tm, life.key(hi).time, m3, t);
}

int ParticleTrailSource::trailAge(int trail, TimeValue t) {
  if (!pParticleState) return -1;
  const ParticleState& life = pParticleState->particle(trail);
  // A life too long to count in ticks has no age either; otherwise the age fits, being at most the span.
  if (!life.hasLifeSpan()) return -1;
  if (life.start <= t && t <= life.end) return int(int64_t(t) - life.start);
  return -1;
}

int ParticleTrailSource::trailLifeSpan(int trail) {
  if (!pParticleState) return -1;
  return pParticleState->particle(trail).lifeSpan();
}

BOOL ParticleTrailSource::isTrailStationary(int trail, TimeValue from, TimeValue to, int, TimeList& times) {
  if (!pParticleState) return TRUE;
  const ParticleState& life = pParticleState->particle(trail);
  Interval overlap = Interval(life.start, life.end) & Interval(from, to);
  if (overlap.Start() == TIME_NegInfinity && overlap.End() == TIME_NegInfinity) return TRUE;
  Point3 a = trailTM(trail, from, times).GetTrans();
  Point3 b = trailTM(trail, to, times).GetTrans();
  return (b - a).Length() < 0.001f ? TRUE : FALSE;
}

int ParticleTrailSource::countStillSamples(int trail, TimeList& times) { return countStill(*this, trail, times); }
