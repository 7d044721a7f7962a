// Every way an evaluation can fail ends in the unit triangle, with the modifier's lock left free.
#include "recalc_support.h"
#include "trail_scene.h"

namespace {

// A modifier that removes the last knot of the first spline at times before `before`.
class KnotDropper : public Modifier {
 public:
  explicit KnotDropper(TimeValue before) : before_(before) {}
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL | TOPO_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL | TOPO_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  Interval LocalValidity(TimeValue t) override { return Interval(t, t); }
  void ModifyObject(TimeValue t, ModContext&, ObjectState* os, INode*) override {
    SplineShape* s = dynamic_cast<SplineShape*>(os->obj);
    if (s && t < before_ && s->shape.splineCount > 0) {
      Spline3D* sp = s->shape.splines[0];
      sp->DeleteKnot(sp->KnotCount() - 1);
    }
  }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

 private:
  TimeValue before_;
};

}  // namespace

class Failures : public TrailTest {};

TEST_F(Failures, EvaluationDuringATrailRebuildIsAbandonedWithItsDebugLine) {
  Wakeweave* mod;
  INode* node = MovingNode(Circle(5.0f), &mod);
  ASSERT_TRUE(mod->pblock->SetValue(pb_particle_node, 0, AddNode("PF Source 001", new HeldParticleObject(1), nullptr)));
  // The host redraws the trail while the regeneration's dialog runs, on the dialog's thread.
  ScriptedAgent agent;
  DebugCapture debug;
  bool fallback = false;
  int abandoned = -1;
  agent.onIdle = [&](HWND) {
    if (abandoned >= 0) return;
    fallback = IsFallbackTriangle(EvalMesh(node, 1600));
    abandoned = debug.Count("Wakeweave::ModifyObject called during trail rebuild\n");
  };
  mod->regenerateParticleTrails();
  EXPECT_TRUE(fallback);
  EXPECT_EQ(abandoned, 1);
  EXPECT_TRUE(LockIsFree(mod));
  // Once the rebuild is over the trail comes back.
  EXPECT_FALSE(IsFallbackTriangle(EvalMesh(node, 1600)));
  EXPECT_EQ(debug.Count("Wakeweave::ModifyObject called during trail rebuild\n"), 1);
}

TEST_F(Failures, EvaluationHoldsTheLockAndWritesItsDebugLinesInPairs) {
  Wakeweave* mod;
  INode* node = MovingNode(Circle(5.0f), &mod);
  DebugCapture debug;
  EvalMesh(node, 1600);
  EXPECT_GE(debug.Count("ScopeLock::EnterCriticalSection()\n"), 1);
  EXPECT_EQ(debug.Count("ScopeLock::EnterCriticalSection()\n"), debug.Count("ScopeLock::LeaveCriticalSection()\n"));
  EXPECT_TRUE(LockIsFree(mod));
}

TEST_F(Failures, NoNodeCarriesTheStack) {
  Wakeweave* mod = NewModifier();
  IDerivedObject* d = CreateDerivedObject(Circle(5.0f));
  d->AddModifier(mod);
  ObjectState os = d->Eval(1600, 0);
  TriObject* tri = dynamic_cast<TriObject*>(os.obj);
  ASSERT_NE(tri, nullptr);
  EXPECT_TRUE(IsFallbackTriangle(tri->GetMesh()));
  EXPECT_TRUE(LockIsFree(mod));
  d->DeleteMe();
}

TEST_F(Failures, InputThatIsNotAShape) {
  Wakeweave* mod;
  INode* node = MovingNode(CreateNewTriObject(), &mod);
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 1600)));
  EXPECT_TRUE(LockIsFree(mod));
}

TEST_F(Failures, ShapeWithFewerPointsAtASampleTimeThanNow) {
  Wakeweave* mod = NewModifier();
  IDerivedObject* d = CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(0, 1, 0), Point3(0, 2, 0)}, false));
  d->AddModifier(new KnotDropper(1500));  // bottom
  d->AddModifier(mod);                    // top
  INode* node = ip()->CreateObjectNode(d);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 100 * kTpf, Point3(1000, 0, 0));
  // At 1600 the shape has 3 knots, at the older samples only 2.
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 1600)));
  EXPECT_TRUE(LockIsFree(mod));
  // With all samples after the change the trail is drawn.
  EXPECT_FALSE(IsFallbackTriangle(EvalMesh(node, 2400)));
}

TEST_F(Failures, ModifierAboveTheTrailDoesNotChangeTheShapeItSamples) {
  Wakeweave* mod = NewModifier();
  IDerivedObject* d = CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false));
  d->AddModifier(mod);
  d->AddModifier(new KnotDropper(100 * kTpf));  // above Wakeweave: its input at sample times is untouched
  INode* node = ip()->CreateObjectNode(d);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 100 * kTpf, Point3(1000, 0, 0));
  Mesh& m = EvalMesh(node, 1600);
  EXPECT_FALSE(IsFallbackTriangle(m));
  EXPECT_EQ(m.getNumVerts(), 8 * 4);  // 8 points per row, 4 rows
}
