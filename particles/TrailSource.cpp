#include "particles/TrailSource.h"

#include "particles/ParticleSystemState.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

const char* const kSourceName = "TrailSource";

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

using KeyParts = ParticleTrailSource::KeyParts;

// A key whose axis part is exactly the identity (every position-only key): decomp_affine gives the
// stretch (1, 1, 1), the identity rotation and the translation row for it, to the bit, whatever the
// translation; a -0 or any other bit pattern goes the general way.
bool HasIdentityAxes(const Matrix3& m) {
  static const float kIdentity[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
  return std::memcmp(m.GetAddr(), kIdentity, sizeof kIdentity) == 0;
}

bool IsPlain(const Point3& k, const Quat& q) {
  static const float kUnit[3] = {1.0f, 1.0f, 1.0f};
  static const float kNoTurn[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  const float qq[4] = {q.x, q.y, q.z, q.w};
  const float kk[3] = {k.x, k.y, k.z};
  return std::memcmp(kk, kUnit, sizeof kUnit) == 0 && std::memcmp(qq, kNoTurn, sizeof kNoTurn) == 0;
}

KeyParts Decompose(const Matrix3& m) {
  if (HasIdentityAxes(m)) return KeyParts{m.GetTrans(), Point3(1.0f, 1.0f, 1.0f), Quat(), true};
  AffineParts a;
  decomp_affine(m, &a);
  return KeyParts{a.t, a.k, a.q, IsPlain(a.k, a.q)};
}

Point3 hermite3(const Point3& p0, const Point3& p1, const Point3& p2, const Point3& p3, float u) {
  return Point3(HermiteInterpolate(p0.x, p1.x, p2.x, p3.x, u, 0.0f, 0.0f),
                HermiteInterpolate(p0.y, p1.y, p2.y, p3.y, u, 0.0f, 0.0f),
                HermiteInterpolate(p0.z, p1.z, p2.z, p3.z, u, 0.0f, 0.0f));
}

// Blends the parts of the keys a1 and a2 at u in [0, 1], with the neighbours a0 and a3 when present (an
// absent neighbour is a1 or a2 reflected through its key).
Matrix3 BlendKeys(const KeyParts* n0, const KeyParts& a1, const KeyParts& a2, const KeyParts* n3, float u) {
  KeyParts a0, a3;
  if (n0) {
    a0 = *n0;
  } else {
    a0.p = a1.p - (a2.p - a1.p);
    a0.k = a1.k - (a2.k - a1.k);
    a0.q = a1.q;
    a0.plain = a1.plain && a2.plain;  // 1 - (1 - 1) is exactly 1
  }
  if (n3) {
    a3 = *n3;
  } else {
    a3.p = a2.p + (a2.p - a1.p);
    a3.k = a2.k + (a2.k - a1.k);
    a3.q = a2.q;
    a3.plain = a1.plain && a2.plain;
  }
  const Point3 p = hermite3(a0.p, a1.p, a2.p, a3.p, u);
  Matrix3 result;
  if (a0.plain && a1.plain && a2.plain && a3.plain) {
    // Pure translations: each stretch factor blends four ones the same way, the slerp of two identities
    // is the identity and its matrix the identity, so the product is the diagonal of that one factor.
    // The general product carries no identity flags; nor does this one.
    const float k = HermiteInterpolate(1.0f, 1.0f, 1.0f, 1.0f, u, 0.0f, 0.0f);
    result.SetScale(Point3(k, k, k));
    result.Translate(p);
    result.ClearIdentFlag(MAT_IDENT);
    return result;
  }
  const Point3 k = hermite3(a0.k, a1.k, a2.k, a3.k, u);
  Quat q2 = a2.q;
  q2.MakeClosest(a1.q);
  const Quat q = Slerp(a1.q, q2, u);
  Matrix3 scale, rot;
  scale.SetScale(k);
  rot.SetRotate(q);
  result = scale * rot;
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
  // Only the translation row matters: decomp_affine would give exactly that row.
  Point3 p0 = pShapeNode->GetObjectTM(from).GetTrans();
  // A step that cannot advance would never reach `to`.
  if (step <= 0) step = 1;
  for (int64_t t = from; t <= to;) {
    t += step;
    Point3 p = pShapeNode->GetObjectTM(TimeValue(t)).GetTrans();
    if ((p - p0).Length() > 0.001f) return FALSE;
  }
  return TRUE;
}

int SplineTrailSource::countStillSamples(int trail, TimeList& times) { return countStill(*this, trail, times); }

// ---- particle source ----

int ParticleTrailSource::numTrails() { return pParticleState ? pParticleState->numParticles() : 0; }

ParticleTrailSource::KeyParts ParticleTrailSource::keyParts(const Matrix3& tm, int keyIndex) {
  if (HasIdentityAxes(tm)) return Decompose(tm);
  CachedKey& slot = m_keys[keyIndex & (kCachedKeys - 1)];
  if (slot.used && std::memcmp(slot.rows, tm.GetAddr(), sizeof slot.rows) == 0) return slot.parts;
  std::memcpy(slot.rows, tm.GetAddr(), sizeof slot.rows);
  slot.parts = Decompose(tm);
  slot.used = true;
  return slot.parts;
}

Matrix3 ParticleTrailSource::trailTM(int trail, TimeValue t, TimeList&) {
  if (!pParticleState) return Matrix3();
  const ParticleState& life = pParticleState->particle(trail);
  int lo, hi;
  lookupKeys(life, t, &lo, &hi);
  if (lo < 0) return Matrix3();
  if (hi < 0) return life.key(lo).tm;
  const ParticlePositionKey& k1 = life.key(lo);
  const ParticlePositionKey& k2 = life.key(hi);
  const TimeValue t1 = k1.time, t2 = k2.time;
  if (t == t1) return k1.tm;
  if (t == t2) return k2.tm;
  if (t1 == t2) return k1.tm;
  if (t < t1 || t > t2) return Matrix3();
  const float u = std::fabs(float(int64_t(t) - t1) / float(int64_t(t2) - t1));
  const int n = life.numKeys();
  KeyParts a0, a3;
  const KeyParts* n0 = nullptr;
  const KeyParts* n3 = nullptr;
  if (lo > 0) n0 = &(a0 = keyParts(life.key(lo - 1).tm, lo - 1));
  if (hi < n - 1) n3 = &(a3 = keyParts(life.key(hi + 1).tm, hi + 1));
  return BlendKeys(n0, keyParts(k1.tm, lo), keyParts(k2.tm, hi), n3, u);
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
