// Path-length mapping of an anchored trail on a node that turns, stretches and mirrors as it moves: V
// bit for bit as the node's position decomposed out of its transform at every point of the path gave it,
// and each point of the path asked of the node once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "path_reference.h"
#include "trail_scene.h"

namespace {

// A position controller that remembers every time it is asked at.
class RecordingPositionControl : public LinearPositionControl {
 public:
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method) override {
    asked.push_back(t);
    LinearPositionControl::GetValue(t, val, valid, method);
  }
  std::vector<TimeValue> asked;
};

uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

class PathPositions : public TrailTest {
 protected:
  // An anchored dot over frames 0 to 20, 3 segments a frame, on a node whose position, rotation and
  // (sometimes negative) scale are keyed at times that fall inside sub-steps.
  INode* TurningNode(Wakeweave** modOut, RecordingPositionControl** recorder) {
    Wakeweave* mod = NewModifier();
    INode* node = AddNode("Turner", Dot(), mod);
    auto* rec = new RecordingPositionControl();
    node->SetPositionController(rec);
    KeyPosition(node, 0, Point3(0, 0, 0));
    KeyPosition(node, 250, Point3(40, 30, 0));
    KeyPosition(node, 777, Point3(-20, 90, 5));
    KeyPosition(node, 2100, Point3(60, 10, -7));
    KeyPosition(node, 20 * kTpf, Point3(100, 100, 0));
    KeyRotation(node, 0, Quat());
    KeyRotation(node, 900, QFromAngAxis(2.5f, Normalize(Point3(1, 2, 3))));
    KeyRotation(node, 20 * kTpf, QFromAngAxis(-1.0f, Normalize(Point3(0, 1, -1))));
    auto* scale = dynamic_cast<LinearScaleControl*>(node->GetScaleController());
    EXPECT_NE(scale, nullptr);
    if (scale) {
      scale->AddKey(0, Point3(1, 1, 1));
      scale->AddKey(1200, Point3(3.0f, 0.5f, 2.0f));
      scale->AddKey(20 * kTpf, Point3(-2.0f, 1.0f, 0.25f));  // mirrored towards the end
    }
    ip()->SetAnimRange(Interval(0, 20 * kTpf));
    Set(mod, pb_moving_or_still, 1);
    Set(mod, pb_segments_per_frame, 3.0f);
    *modOut = mod;
    *recorder = rec;
    return node;
  }
};

}  // namespace

TEST_F(PathPositions, VIsBitForBitThePathOfTheDecomposedPositions) {
  Wakeweave* mod = nullptr;
  RecordingPositionControl* rec = nullptr;
  INode* node = TurningNode(&mod, &rec);
  for (TimeValue t : {TimeValue(13 * kTpf + 50), TimeValue(17 * kTpf + 1), TimeValue(20 * kTpf)}) {
    SCOPED_TRACE(t);
    mod->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    Mesh& m = EvalMesh(node, t);
    ASSERT_FALSE(IsFallbackTriangle(m));
    const int N = m.getNumTVerts();
    // The sample times and sub-step as the frame range computes them.
    const double tps = (1.0 / 3.0f) * kTpf;
    std::vector<int> times;
    for (int i = 0; double(i) <= t / tps; ++i) times.push_back(int(i * tps));
    if (times.back() != t) times.push_back(t);
    ASSERT_EQ(int(times.size()), N);
    const int64_t sub = std::max<int64_t>(int64_t(tps / 2.0), kTpf);
    const double total = ReferencePathLength(node, 0, 20 * kTpf, sub, kTpf);
    ASSERT_GT(total, 100.0);
    std::vector<double> expected;
    double acc = 0;
    for (int i = 0; i < N; ++i) {
      acc += ReferencePathLength(node, i ? times[size_t(i - 1)] : times[0], times[size_t(i)], sub, kTpf);
      expected.push_back(acc / total);
    }
    for (int i = 0; i + 1 < N; ++i) EXPECT_EQ(Bits(m.tVerts[i].y), Bits(float(expected[size_t(i)]))) << "sample " << i;
    const int64_t last = std::abs((times[size_t(N - 2)] - times[size_t(N - 1)]) / 5);
    const double A = ReferencePathLength(node, times[size_t(N - 2)], t, last, kTpf);
    const double B = ReferencePathLength(node, times[size_t(N - 2)], times[size_t(N - 1)], last, kTpf);
    const double present =
        std::fabs(B) < 1e-6 ? expected[size_t(N - 2)]
                            : expected[size_t(N - 2)] + (A / B) * (expected[size_t(N - 1)] - expected[size_t(N - 2)]);
    EXPECT_EQ(Bits(m.tVerts[N - 1].y), Bits(float(present)));
  }
}

TEST_F(PathPositions, EachPointOfThePathIsAskedOfTheNodeOnce) {
  // Measuring a piece of the path that starts where the last one ended asks nothing new of the node, and
  // a piece never asks its own start twice. Only the present is read twice in a row: the last piece ends
  // there and the trail is then placed by the node's transform at that time.
  Wakeweave* mod = nullptr;
  RecordingPositionControl* rec = nullptr;
  INode* node = TurningNode(&mod, &rec);
  const TimeValue t = 13 * kTpf + 50;
  rec->asked.clear();
  Mesh& m = EvalMesh(node, t);
  ASSERT_EQ(m.getNumTVerts(), 41);
  int twice = 0;
  for (size_t i = 1; i < rec->asked.size(); ++i)
    if (rec->asked[i] == rec->asked[i - 1] && rec->asked[i] != t) {
      ADD_FAILURE() << "time " << rec->asked[i] << " asked twice in a row at " << i;
      if (++twice > 3) break;
    }
}
