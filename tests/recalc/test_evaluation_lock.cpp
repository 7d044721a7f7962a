// An evaluation holds the modifier's lock from its start to its end: a thread that tries the lock at any
// point while the evaluation runs, as seen from the stack below the trail, has to wait.
#include <gtest/gtest.h>

#include <max.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "plugin_fixture.h"

namespace {

// Sits below the trail and, each time it is evaluated, asks from another thread whether the trail's lock
// could be entered now. The trail calls out to the stack below at its start, at each earlier sample time
// and, once the vertices are placed, at the present again; the probes see every one of those moments.
class LockProbe : public Modifier {
 public:
  explicit LockProbe(std::function<bool()> lockIsFree) : lockIsFree_(std::move(lockIsFree)) {}
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  Interval LocalValidity(TimeValue t) override { return Interval(t, t); }
  void ModifyObject(TimeValue t, ModContext&, ObjectState*, INode*) override {
    probes.push_back(Probe{t, lockIsFree_()});
  }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

  struct Probe {
    TimeValue t;
    bool lockFree;
  };
  std::vector<Probe> probes;

 private:
  std::function<bool()> lockIsFree_;
};

class EvaluationLock : public SceneTest {};

}  // namespace

TEST_F(EvaluationLock, AnotherThreadWaitsForTheWholeEvaluation) {
  Wakeweave* mod = NewModifier();
  ASSERT_TRUE(mod->pblock->SetValue(pb_old_frames, 0, 3));
  ASSERT_TRUE(mod->pblock->SetValue(pb_segments_per_frame, 0, 1.0f));
  ASSERT_TRUE(mod->pblock->SetValue(pb_spline_steps, 0, 0));
  auto* probe = new LockProbe([mod] { return LockIsFree(mod); });
  IDerivedObject* d = CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(0, 5, 0)}, false));
  d->AddModifier(probe);  // bottom
  d->AddModifier(mod);    // top
  INode* node = ip()->CreateObjectNode(d);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 100 * kTpf, Point3(1000, 0, 0));

  const Mesh& m = EvalMesh(node, 1600);
  ASSERT_FALSE(IsFallbackTriangle(m));
  ASSERT_EQ(m.getNumVerts(), 2 * 4);

  // The host evaluates the probe once on its own before the trail: then the lock is free, which shows
  // that the probe sees a free lock as free.
  // Then the trail's own: the present, the three earlier samples (the present's result is reused), and the
  // present once more at the end.
  ASSERT_GE(probe->probes.size(), 1u + 1u + 3u + 1u);
  EXPECT_EQ(probe->probes.front().t, 1600);
  EXPECT_TRUE(probe->probes.front().lockFree);
  // Every probe the trail's evaluation made, from the first to the last, found the lock held.
  std::vector<TimeValue> sampled;
  for (size_t i = 1; i < probe->probes.size(); ++i) {
    EXPECT_FALSE(probe->probes[i].lockFree) << "probe " << i << " at " << probe->probes[i].t;
    sampled.push_back(probe->probes[i].t);
  }
  for (TimeValue g : {1440, 1280, 1120})
    EXPECT_NE(std::find(sampled.begin(), sampled.end(), g), sampled.end()) << "no probe at " << g;
  EXPECT_EQ(probe->probes.back().t, 1600) << "the last probe is the trail's final look at the present";
  EXPECT_TRUE(LockIsFree(mod));
}
