#pragma once
// Shared set-up for the particle system tests: an empty scene at 160 ticks per frame, assertions recorded
// instead of aborting, and every host allocation given back at the end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "max.h"

class ParticlesTest : public ::testing::Test {
 protected:
  static constexpr int kTpf = 160;

  void SetUp() override {
    ip = GetCOREInterface();
    ip->ResetScene();
    SetTicksPerFrame(kTpf);
    liveAtStart = MAX_heapLiveCount();
    prevAssert = SetAssertHandler([this](int, const char*, const char* expr) { asserts.push_back(expr ? expr : ""); });
  }
  void TearDown() override {
    SetAssertHandler(prevAssert);
    ip->ResetScene();
    EXPECT_EQ(MAX_heapLiveCount(), liveAtStart) << "host objects leaked or freed twice";
  }

  // A path through the given keys.
  static KeyTable<Point3> Path(std::initializer_list<std::pair<TimeValue, Point3>> keys) {
    KeyTable<Point3> k;
    for (const auto& [t, p] : keys) k.Set(t, p);
    return k;
  }

  Interface* ip = nullptr;
  long liveAtStart = 0;
  std::vector<std::string> asserts;
  AssertHandler prevAssert;
};

inline ::testing::AssertionResult Near(const Point3& a, const Point3& b, float eps = 1e-4f) {
  if (a.Equals(b, eps)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", " << b.y
                                       << ", " << b.z << ")";
}
