#pragma once
// Shared helpers for the geometry tests: deterministic random transforms and matrix comparison.
#include <gtest/gtest.h>

#include <random>

#include "decomp.h"
#include "matrix3.h"
#include "quat.h"

namespace geomtest {

inline Quat RandomRotation(std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  Quat q(d(rng), d(rng), d(rng), d(rng));
  return q.Normalize();
}

inline Point3 RandomPoint(std::mt19937& rng, float range) {
  std::uniform_real_distribution<float> d(-range, range);
  return Point3(d(rng), d(rng), d(rng));
}

inline Matrix3 RotationMatrix(const Quat& q) {
  Matrix3 m;
  m.SetRotate(q);
  return m;
}

inline ::testing::AssertionResult MatrixNear(const Matrix3& a, const Matrix3& b, float eps) {
  if (a.Equals(b, eps)) return ::testing::AssertionSuccess();
  auto r = ::testing::AssertionFailure() << "matrices differ by more than " << eps << ":";
  for (int i = 0; i < 4; ++i)
    r << "\n  [" << a[i].x << ", " << a[i].y << ", " << a[i].z << "]  vs  [" << b[i].x << ", " << b[i].y << ", "
      << b[i].z << "]";
  return r;
}

inline ::testing::AssertionResult PointNear(const Point3& a, const Point3& b, float eps) {
  if (a.Equals(b, eps)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y
                                       << ", " << b.z << ")";
}

// Same rotation: q or -q.
inline ::testing::AssertionResult SameRotation(const Quat& a, const Quat& b, float eps) {
  if (a.Equals(b, eps) || a.Equals(-b, eps)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x
                                       << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}

}  // namespace geomtest
