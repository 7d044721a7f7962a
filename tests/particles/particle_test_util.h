#pragma once
// Building recordings for tests and comparing them bit for bit.
#include <gtest/gtest.h>

#include <max.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "particles/ParticleSystemState.h"

inline uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// A matrix with exactly these twelve floats and this flags word, whatever the contents would imply.
inline Matrix3 RawMatrix(const float rows[12], DWORD flags) {
  Matrix3 m(FALSE);
  for (int r = 0; r < 4; ++r) m.SetRow(r, Point3(rows[3 * r], rows[3 * r + 1], rows[3 * r + 2]));
  m.ClearIdentFlag(~DWORD(0));
  m.SetIdentFlags(flags);
  return m;
}

inline ParticleState LifeAt(std::initializer_list<std::pair<TimeValue, Point3>> keys) {
  ParticleState life;
  int born = keys.size() ? keys.begin()->first : 0;
  for (const auto& k : keys) life.addKey(ParticlePositionKey(k.first, k.second, k.first - born));
  return life;
}

inline void ExpectSameMatrixBits(const Matrix3& a, const Matrix3& b) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Bits(a.GetRow(r)[c]), Bits(b.GetRow(r)[c])) << "row " << r << " column " << c;
  EXPECT_EQ(a.GetIdentFlags(), b.GetIdentFlags());
}

inline void ExpectSameLife(const ParticleState& a, const ParticleState& b) {
  EXPECT_EQ(a.getStart(), b.getStart());
  EXPECT_EQ(a.getEnd(), b.getEnd());
  ASSERT_EQ(a.numKeys(), b.numKeys());
  for (int k = 0; k < a.numKeys(); ++k) {
    SCOPED_TRACE(::testing::Message() << "key " << k);
    ExpectSameMatrixBits(a.key(k).tm, b.key(k).tm);
    EXPECT_EQ(a.key(k).time, b.key(k).time);
    EXPECT_EQ(a.key(k).age, b.key(k).age);
  }
}

// The first `count` lives of both.
inline void ExpectSameLives(const ParticleSystemState& a, const ParticleSystemState& b, int count) {
  ASSERT_GE(a.numParticles(), count);
  ASSERT_GE(b.numParticles(), count);
  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE(::testing::Message() << "life " << i);
    ExpectSameLife(a.particle(i), b.particle(i));
  }
}

inline void ExpectSameState(const ParticleSystemState& a, const ParticleSystemState& b) {
  EXPECT_EQ(a.getMaxLifeSpan(), b.getMaxLifeSpan());
  EXPECT_EQ(a.isParticleFlow(), b.isParticleFlow());
  ASSERT_EQ(a.numParticles(), b.numParticles());
  ExpectSameLives(a, b, a.numParticles());
}

inline ::testing::AssertionResult Near(const Point3& got, const Point3& want, float eps = 1e-4f) {
  if (std::fabs(got.x - want.x) <= eps && std::fabs(got.y - want.y) <= eps && std::fabs(got.z - want.z) <= eps)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x
                                       << ", " << want.y << ", " << want.z << ")";
}

// The Catmull-Rom point between p1 and p2, in its textbook polynomial form.
inline Point3 CatmullRom(const Point3& p0, const Point3& p1, const Point3& p2, const Point3& p3, float u) {
  float u2 = u * u, u3 = u2 * u;
  return 0.5f * ((2.0f * p1) + (p2 - p0) * u + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * u2 +
                 (3.0f * p1 - p0 - 3.0f * p2 + p3) * u3);
}
