// The legacy system: lives found by slot and time, its particle-system answers, its copies.
#include "particles_fixture.h"

namespace {

LegacyParticleLife Life(TimeValue born, TimeValue dies, const Point3& at) {
  LegacyParticleLife l;
  l.born = born;
  l.dies = dies;
  l.path.Set(born, at);
  return l;
}

using LegacyTest = ParticlesTest;

TEST_F(LegacyTest, LifeAtFindsTheLifeAliveAtEachTime) {
  auto* sys = new LegacyParticleSystem();
  // Slot 0: three lives with a gap between the second and third; slot 1: one life that never ends.
  sys->AddSlot({Life(0, 100, Point3(1, 0, 0)), Life(100, 250, Point3(2, 0, 0)), Life(400, 500, Point3(3, 0, 0))});
  sys->AddSlot({Life(50, TIME_PosInfinity, Point3(4, 0, 0))});
  sys->AddSlot({});
  EXPECT_TRUE(asserts.empty());
  EXPECT_EQ(sys->NumSlots(), 3);

  auto bornAt = [&](int slot, TimeValue t) -> TimeValue {
    const LegacyParticleLife* l = sys->LifeAt(slot, t);
    return l ? l->born : -1;
  };
  EXPECT_EQ(bornAt(0, -1), -1);
  EXPECT_EQ(bornAt(0, 0), 0);
  EXPECT_EQ(bornAt(0, 99), 0);
  EXPECT_EQ(bornAt(0, 100), 100);  // death and the next birth at the same tick: the new life
  EXPECT_EQ(bornAt(0, 249), 100);
  EXPECT_EQ(bornAt(0, 250), -1);  // the gap
  EXPECT_EQ(bornAt(0, 399), -1);
  EXPECT_EQ(bornAt(0, 400), 400);
  EXPECT_EQ(bornAt(0, 500), -1);
  EXPECT_EQ(bornAt(0, TIME_PosInfinity), -1);
  EXPECT_EQ(bornAt(1, 49), -1);
  EXPECT_EQ(bornAt(1, TIME_PosInfinity), 50);
  EXPECT_EQ(bornAt(2, 0), -1);
  // Slots out of range are no life (the scripting runtime reports bad indices itself).
  EXPECT_EQ(sys->LifeAt(-1, 0), nullptr);
  EXPECT_EQ(sys->LifeAt(3, 0), nullptr);
  EXPECT_TRUE(Near(TrackValue(sys->LifeAt(0, 120)->path, 120, Point3()), Point3(2, 0, 0)));
  sys->DeleteThis();
}

TEST_F(LegacyTest, AnswersAsAParticleSystemWithoutTheFlowInterface) {
  INode* node = ip->CreateObjectNode(new LegacyParticleSystem());
  Object* obj = node->GetObjectRef();
  EXPECT_TRUE(obj->IsParticleSystem());
  EXPECT_NE(obj->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE)), nullptr);
  EXPECT_EQ(obj->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE + 1)), nullptr);
  EXPECT_EQ(obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE), nullptr);
  EXPECT_EQ(obj->ClassID(), LEGACY_PARTICLES_CLASS_ID);
  EXPECT_EQ(obj->SuperClassID(), GEOMOBJECT_CLASS_ID);
}

TEST_F(LegacyTest, CloneCopiesTheSlots) {
  auto* sys = new LegacyParticleSystem();
  sys->AddSlot({Life(0, 100, Point3(1, 2, 3))});
  RemapDir* remap = NewRemapDir();
  auto* copy = static_cast<LegacyParticleSystem*>(sys->Clone(*remap));
  remap->DeleteThis();
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, sys);
  sys->AddSlot({Life(0, 10, Point3())});  // the copy is independent
  sys->DeleteThis();
  ASSERT_EQ(copy->NumSlots(), 1);
  const LegacyParticleLife* l = copy->LifeAt(0, 50);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->dies, 100);
  EXPECT_TRUE(Near(TrackValue(l->path, 50, Point3()), Point3(1, 2, 3)));
  copy->DeleteThis();
}

TEST_F(LegacyTest, MalformedSlotsAreReported) {
  auto* sys = new LegacyParticleSystem();
  LegacyParticleLife noPath;
  sys->AddSlot({noPath});
  EXPECT_EQ(asserts.size(), 1u);
  sys->AddSlot({Life(100, 50, Point3())});  // dies before it is born
  EXPECT_EQ(asserts.size(), 2u);
  sys->AddSlot({Life(100, 200, Point3()), Life(150, 300, Point3())});  // overlapping lives
  EXPECT_EQ(asserts.size(), 3u);
  sys->AddSlot({Life(100, 100, Point3()), Life(100, 300, Point3())});  // an empty life is allowed
  EXPECT_EQ(asserts.size(), 3u);
  EXPECT_EQ(sys->LifeAt(3, 100)->dies, 300);
  sys->DeleteThis();
}

}  // namespace
