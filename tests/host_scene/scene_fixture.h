#pragma once
// Shared set-up for the scene tests: every case starts and ends with an empty scene, and must give back
// every host allocation it made.
#include <gtest/gtest.h>

#include <cmath>

#include "max.h"

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    liveAtStart = MAX_heapLiveCount();
  }
  void TearDown() override {
    ip->ResetScene();
    EXPECT_EQ(MAX_heapLiveCount(), liveAtStart) << "host objects leaked or freed twice";
  }

  Interface* ip = nullptr;
  long liveAtStart = 0;
};

// An open or closed spline through corner knots (both handles on the point).
inline Spline3D* AddCornerSpline(BezierShape& shape, std::initializer_list<Point3> points, bool closed = false) {
  Spline3D* s = shape.NewSpline();
  for (const Point3& p : points) s->AddKnot(SplineKnot(KTYPE_CORNER, LTYPE_CURVE, p, p, p));
  s->SetClosed(closed ? 1 : 0);
  return s;
}

inline ::testing::AssertionResult Near(const Point3& a, const Point3& b, float eps = 1e-4f) {
  if (a.Equals(b, eps)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y
                                       << ", " << b.z << ")";
}
