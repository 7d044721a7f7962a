// The modifier in the host's stacks: one instance applied to two nodes, stacks nested in derived objects,
// what evaluating the stack below tells the node, and a clone before any regeneration.
#include "plugin_test_util.h"
#include "modifier/WakeweaveLocalModData.h"

namespace {

// Removes the last knot of every spline: the trail's rows then have one point fewer than the base shape.
class DropLastKnot : public Modifier {
 public:
  ChannelMask ChannelsUsed() override { return GEOM_CHANNEL | TOPO_CHANNEL; }
  ChannelMask ChannelsChanged() override { return GEOM_CHANNEL | TOPO_CHANNEL; }
  Class_ID InputType() override { return genericShapeClassID; }
  void ModifyObject(TimeValue, ModContext&, ObjectState* os, INode*) override {
    if (auto* s = dynamic_cast<SplineShape*>(os->obj))
      for (int i = 0; i < s->shape.splineCount; ++i)
        s->shape.splines[i]->DeleteKnot(s->shape.splines[i]->KnotCount() - 1);
  }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
};

// Passes its input on untouched and counts how often it was asked.
class PassOn : public Modifier {
 public:
  ChannelMask ChannelsUsed() override { return 0; }
  ChannelMask ChannelsChanged() override { return 0; }
  Class_ID InputType() override { return triObjectClassID; }
  void ModifyObject(TimeValue, ModContext&, ObjectState*, INode*) override { ++calls; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  int calls = 0;
};

// A shape that counts its evaluations.
class CountedShape : public SplineShape {
 public:
  ObjectState Eval(TimeValue t) override {
    ++evals;
    return SplineShape::Eval(t);
  }
  int evals = 0;
};

class ModifierStack : public SceneTest {
 protected:
  static void MoveAlong(INode* node, const Point3& perTick) {
    KeyPosition(node, 0, Point3(0, 0, 0));
    KeyPosition(node, 100 * kTpf, perTick * float(100 * kTpf));
  }
  // A moving trail reaching 3 frames back, one sample per frame: rows at t, t - 160, t - 320, t - 480.
  static void ThreeFramesBack(Wakeweave* mod) {
    ASSERT_TRUE(mod->pblock->SetValue(pb_old_frames, 0, 3));
    ASSERT_TRUE(mod->pblock->SetValue(pb_segments_per_frame, 0, 1.0f));
    ASSERT_TRUE(mod->pblock->SetValue(pb_spline_steps, 0, 0));
  }
  static INode* LocalNode(IDerivedObject* d, int index) {
    auto* local = static_cast<WakeweaveLocalModData*>(d->GetModContext(index)->localData);
    return local ? local->node : nullptr;
  }
  // Row r of a trail with `perRow` points per row starts `offset` away from row 0.
  static ::testing::AssertionResult RowStartsAt(const Mesh& m, int perRow, int r, const Point3& offset) {
    const Point3 got = m.verts[r * perRow] - m.verts[0];
    if ((got - offset).Length() < 1e-3f) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "row " << r << " starts at (" << got.x << ", " << got.y << ", " << got.z
                                         << ")";
  }
};

}  // namespace

TEST_F(ModifierStack, OneModifierOnTwoNodesFindsEachApplicationsOwnNode) {
  Wakeweave* mod = NewModifier();
  ThreeFramesBack(mod);
  IDerivedObject* d1 = CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false));
  d1->AddModifier(mod);
  IDerivedObject* d2 = CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(2, 0, 0), Point3(2, 2, 0)}, false));
  d2->AddModifier(mod);
  ASSERT_EQ(mod->NumDependents(), 2);
  INode* n1 = ip()->CreateObjectNode(d1);
  INode* n2 = ip()->CreateObjectNode(d2);
  MoveAlong(n1, Point3(1, 0, 0));
  MoveAlong(n2, Point3(0, 1, 0));

  // The second application first, so that a lookup settling on the first node found cannot pass.
  Mesh& m2 = EvalMesh(n2, 1600);
  ASSERT_EQ(m2.getNumVerts(), 3 * 4) << "three points per row: the second node's own shape";
  for (int r = 0; r < 4; ++r) EXPECT_TRUE(RowStartsAt(m2, 3, r, Point3(0.0f, -160.0f * r, 0.0f)));
  EXPECT_EQ(LocalNode(d2, 0), n2);

  Mesh& m1 = EvalMesh(n1, 1600);
  ASSERT_EQ(m1.getNumVerts(), 2 * 4);
  for (int r = 0; r < 4; ++r) EXPECT_TRUE(RowStartsAt(m1, 2, r, Point3(-160.0f * r, 0.0f, 0.0f)));
  EXPECT_EQ(LocalNode(d1, 0), n1);
  EXPECT_EQ(LocalNode(d2, 0), n2);
}

TEST_F(ModifierStack, ShapeBelowIsFoundInsideANestedDerivedObject) {
  // The node's stack is an outer derived object (one modifier of its own) over an inner one holding the
  // trail above a modifier that drops a knot.
  Wakeweave* mod = NewModifier();
  ThreeFramesBack(mod);
  IDerivedObject* inner =
      CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(1, 0, 0), Point3(1, 1, 0), Point3(0, 1, 0)}, false));
  inner->AddModifier(new DropLastKnot());
  inner->AddModifier(mod);
  IDerivedObject* outer = CreateDerivedObject(inner);
  auto* above = new PassOn();
  outer->AddModifier(above);
  INode* node = ip()->CreateObjectNode(outer);
  MoveAlong(node, Point3(1, 0, 0));

  Mesh& m = EvalMesh(node, 1600);
  ASSERT_FALSE(IsFallbackTriangle(m));
  ASSERT_EQ(m.getNumVerts(), 3 * 4) << "the shape just below the trail: one knot dropped";
  for (int r = 0; r < 4; ++r) EXPECT_TRUE(RowStartsAt(m, 3, r, Point3(-160.0f * r, 0.0f, 0.0f)));
  EXPECT_EQ(LocalNode(inner, 0), node);
  EXPECT_GE(above->calls, 1);

  // Asked directly, at another time, the stack below still comes from the inner object.
  PolyShape shape;
  ASSERT_TRUE(mod->GetShapeBelow(node, shape, 800, 0));
  ASSERT_EQ(shape.numLines, 1);
  EXPECT_EQ(shape.lines[0].numPts, 3);
  // A node whose stack does not hold this modifier has no shape below it.
  Wakeweave* other = NewModifier();
  EXPECT_FALSE(other->GetShapeBelow(node, shape, 800, 0));
  other->DeleteThis();
}

TEST_F(ModifierStack, EvaluatingTheStackBelowTellsTheNodesDependentsAndDropsItsWorldState) {
  auto* base = new CountedShape();
  AddPolyline(base, {Point3(0, 0, 0), Point3(3, 0, 0)}, false);
  Wakeweave* mod = NewModifier();
  IDerivedObject* d = CreateDerivedObject(base);
  d->AddModifier(mod);
  INode* node = ip()->CreateObjectNode(d);
  RefWatcher watcher;
  ASSERT_EQ(watcher.ReplaceReference(0, node), REF_SUCCEED);

  PolyShape shape;
  const size_t before = watcher.messages.size();
  const int changes = watcher.Count(REFMSG_CHANGE);
  ASSERT_TRUE(mod->GetShapeBelow(node, shape, 800, 0));
  EXPECT_EQ(watcher.messages.size(), before + 1);
  EXPECT_EQ(watcher.Count(REFMSG_CHANGE), changes + 1);

  // The world state: with the trail switched off the node's pipeline is the base object alone, so each
  // evaluation of the world state that is not served from the node's cache evaluates the base.
  mod->DisableMod();
  node->EvalWorldState(1600);
  const int cached = base->evals;
  node->EvalWorldState(1600);
  ASSERT_EQ(base->evals, cached) << "the node keeps its world state while nothing changes";
  ASSERT_TRUE(mod->GetShapeBelow(node, shape, 800, 0));
  const int afterBelow = base->evals;
  node->EvalWorldState(1600);
  EXPECT_GT(base->evals, afterBelow) << "the world state is evaluated afresh";
  watcher.DeleteAllRefsFromMe();
}

TEST_F(ModifierStack, CloneBeforeRegenerationDrawsItsSplineTrailAndNoParticleTrails) {
  // Spline trails: the clone on an equal node draws the same trail.
  Wakeweave* spline = NewModifier();
  ThreeFramesBack(spline);
  INode* a = AddNode("A", Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false), spline);
  RemapDir* remap = NewRemapDir();
  auto* splineCopy = static_cast<Wakeweave*>(spline->Clone(*remap));
  remap->DeleteThis();
  INode* b = AddNode("B", Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false), splineCopy);
  MoveAlong(a, Point3(1, 0, 0));
  MoveAlong(b, Point3(1, 0, 0));
  Mesh& ma = EvalMesh(a, 1600);
  Mesh& mb = EvalMesh(b, 1600);
  ASSERT_EQ(ma.getNumVerts(), 2 * 4);
  ASSERT_EQ(mb.getNumVerts(), ma.getNumVerts());
  ASSERT_EQ(mb.getNumFaces(), ma.getNumFaces());
  for (int i = 0; i < ma.getNumVerts(); ++i) EXPECT_TRUE(mb.verts[i] == ma.verts[i]) << "vertex " << i;

  // Particle trails: the original draws its recording, the clone has none to draw until regenerated.
  Wakeweave* particles = NewModifier();
  ThreeFramesBack(particles);
  ASSERT_TRUE(particles->pblock->SetValue(pb_particle_trails_b, 0, 1));
  ParticleSystemState recording;
  recording.setParticleFlow(1);
  for (int i = 0; i < 2; ++i) {
    ParticleState life;
    life.addKey(ParticlePositionKey(0, Point3(0.0f, float(i), 0.0f), 0));
    life.addKey(ParticlePositionKey(16000, Point3(1000.0f, float(i), 0.0f), 16000));
    recording.addParticle(life);
  }
  ASSERT_EQ(LoadRecording(particles, recording), IO_OK);
  INode* c = AddNode("C", Polyline({Point3(0, 0, 0)}, false), particles);
  remap = NewRemapDir();
  auto* particleCopy = static_cast<Wakeweave*>(particles->Clone(*remap));
  remap->DeleteThis();
  INode* e = AddNode("E", Polyline({Point3(0, 0, 0)}, false), particleCopy);
  EXPECT_EQ(EvalMesh(c, 1600).getNumVerts(), 2 * 4);
  Mesh& me = EvalMesh(e, 1600);
  EXPECT_FALSE(IsFallbackTriangle(me));
  EXPECT_EQ(me.getNumVerts(), 0);
  EXPECT_EQ(me.getNumFaces(), 0);
  EXPECT_EQ(particleCopy->particleState().numParticles(), 0);
}
