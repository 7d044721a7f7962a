// The flow system: what the extension interface answers at each time, the event nodes and their lifetime.
#include "particles_fixture.h"

namespace {

class FlowTest : public ParticlesTest {
 protected:
  void SetUp() override {
    ParticlesTest::SetUp();
    sys = new FlowParticleSystem();
    sysNode = ip->CreateObjectNode(sys);
  }

  // A particle standing at `at` (one path key at its birth).
  static FlowParticle Still(TimeValue born, TimeValue dies, const Point3& at = Point3(0, 0, 0)) {
    FlowParticle p;
    p.born = born;
    p.dies = dies;
    p.path.Set(born, at);
    return p;
  }
  IParticleObjectExt* Ext() { return static_cast<IParticleObjectExt*>(sys->GetInterface(PARTICLEOBJECTEXT_INTERFACE)); }
  // Rank of each born index at the current update (-1: not alive).
  std::vector<int> Ranks(int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
      int index = -1;
      out.push_back(Ext()->HasParticleBornIndex(i, index) ? index : -1);
    }
    return out;
  }

  FlowParticleSystem* sys = nullptr;
  INode* sysNode = nullptr;
};

TEST_F(FlowTest, AnswersTheParticleSystemQueries) {
  EXPECT_TRUE(sys->IsParticleSystem());
  EXPECT_NE(sys->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE)), nullptr);
  BaseInterface* bi = sysNode->GetObjectRef()->GetInterface(PARTICLEOBJECTEXT_INTERFACE);
  ASSERT_NE(bi, nullptr);
  EXPECT_EQ(bi->GetID(), PARTICLEOBJECTEXT_INTERFACE);
  EXPECT_EQ(sys->GetInterface(PARTICLEGROUP_INTERFACE), nullptr);
  EXPECT_EQ(sys->ClassID(), FLOW_PARTICLES_CLASS_ID);
}

TEST_F(FlowTest, LifeAgeAndPositionAroundBirthAndDeath) {
  FlowParticle p = Still(100, 200);
  p.path.Set(200, Point3(100, 0, 0));
  sys->AddParticle(p);
  IParticleObjectExt* x = Ext();
  struct Case {
    TimeValue t;
    int generated, alive, age;
  };
  for (const Case& c : {Case{99, 0, 0, -1}, Case{100, 1, 1, 0}, Case{199, 1, 1, 99}, Case{200, 1, 0, -1},
                        Case{TIME_PosInfinity, 1, 0, -1}}) {
    SCOPED_TRACE(c.t);
    EXPECT_TRUE(x->UpdateParticles(sysNode, c.t));
    EXPECT_EQ(x->NumParticlesGenerated(), c.generated);
    EXPECT_EQ(x->NumParticles(), c.alive);
    EXPECT_EQ(x->GetParticleAgeByBornIndex(0), c.age);
    EXPECT_EQ(x->GetParticlePositionByBornIndex(0) != nullptr, c.alive == 1);
    EXPECT_EQ(x->GetParticleTMByBornIndex(0) != nullptr, c.alive == 1);
    int index = 77;
    EXPECT_EQ(x->HasParticleBornIndex(0, index), c.alive == 1);
    if (c.alive) {
      EXPECT_EQ(index, 0);
    }
  }
  x->UpdateParticles(nullptr, 199);  // the node argument is not needed
  ASSERT_NE(x->GetParticlePositionByBornIndex(0), nullptr);
  EXPECT_TRUE(Near(*x->GetParticlePositionByBornIndex(0), Point3(99, 0, 0)));
  EXPECT_TRUE(Near(x->GetParticleTMByBornIndex(0)->GetTrans(), Point3(99, 0, 0)));
  // Born indices beyond the list are no particle, not a fault: the recorder asks up to the count.
  for (int i : {-1, 1, 1000}) {
    int index = 5;
    EXPECT_EQ(x->GetParticleAgeByBornIndex(i), -1);
    EXPECT_EQ(x->GetParticleTMByBornIndex(i), nullptr);
    EXPECT_EQ(x->GetParticlePositionByBornIndex(i), nullptr);
    EXPECT_FALSE(x->HasParticleBornIndex(i, index));
  }
  EXPECT_TRUE(asserts.empty());
}

TEST_F(FlowTest, NeverDyingParticlesAndSaturatedAges) {
  sys->AddParticle(Still(TIME_NegInfinity, TIME_PosInfinity));
  IParticleObjectExt* x = Ext();
  x->UpdateParticles(nullptr, TIME_PosInfinity);
  EXPECT_EQ(x->NumParticles(), 1);                               // "never" includes the end of time
  EXPECT_EQ(x->GetParticleAgeByBornIndex(0), TIME_PosInfinity);  // saturated, not wrapped negative
  x->UpdateParticles(nullptr, 0);
  EXPECT_EQ(x->GetParticleAgeByBornIndex(0), TIME_PosInfinity);
  x->UpdateParticles(nullptr, TIME_NegInfinity);
  EXPECT_EQ(x->GetParticleAgeByBornIndex(0), 0);
}

TEST_F(FlowTest, RanksFollowTheLivingParticlesInBornOrder) {
  // Born in order, dying out of order: 0 lives longest, 1 dies first, 3 is born last.
  sys->AddParticle(Still(0, 1000));
  sys->AddParticle(Still(10, 50));
  sys->AddParticle(Still(20, 300));
  sys->AddParticle(Still(100, 200));
  IParticleObjectExt* x = Ext();
  x->UpdateParticles(nullptr, 30);
  EXPECT_EQ(x->NumParticlesGenerated(), 3);
  EXPECT_EQ(Ranks(4), (std::vector<int>{0, 1, 2, -1}));
  x->UpdateParticles(nullptr, 150);
  EXPECT_EQ(x->NumParticlesGenerated(), 4);
  EXPECT_EQ(x->NumParticles(), 3);
  EXPECT_EQ(Ranks(4), (std::vector<int>{0, -1, 1, 2}));
  x->UpdateParticles(nullptr, 250);
  EXPECT_EQ(Ranks(4), (std::vector<int>{0, -1, 1, -1}));
  // Going back in time ranks afresh.
  x->UpdateParticles(nullptr, 10);
  EXPECT_EQ(Ranks(4), (std::vector<int>{0, 1, -1, -1}));
  // A particle added after an update is answered at that update's time.
  sys->AddParticle(Still(10, 20));
  EXPECT_EQ(x->NumParticlesGenerated(), 3);
  EXPECT_EQ(Ranks(5), (std::vector<int>{0, 1, -1, -1, 2}));
  EXPECT_EQ(sys->NumParticlesTotal(), 5);
}

TEST_F(FlowTest, TransformIsScaleThenRotateThenTranslate) {
  FlowParticle p = Still(0, TIME_PosInfinity, Point3(10, 0, 0));
  p.scale.Set(0, Point3(2, 1, 1));
  p.rotation.Set(0, QFromAngAxis(float(PI) / 2, Point3(0, 0, 1)));
  sys->AddParticle(p);
  FlowParticle noTm = Still(0, TIME_PosInfinity, Point3(5, 6, 7));
  noTm.transform = false;
  sys->AddParticle(noTm);
  FlowParticle plain = Still(0, TIME_PosInfinity, Point3(1, 2, 3));  // no rotation, no scale
  sys->AddParticle(plain);

  IParticleObjectExt* x = Ext();
  x->UpdateParticles(nullptr, 50);
  Matrix3* tm = x->GetParticleTMByBornIndex(0);
  ASSERT_NE(tm, nullptr);
  // (1, 0, 0) stretched to (2, 0, 0), turned to (0, 2, 0), moved by (10, 0, 0).
  EXPECT_TRUE(Near(Point3(1, 0, 0) * *tm, Point3(10, 2, 0)));
  EXPECT_TRUE(Near(Point3(0, 1, 0) * *tm, Point3(9, 0, 0)));

  EXPECT_EQ(x->GetParticleTMByBornIndex(1), nullptr);
  ASSERT_NE(x->GetParticlePositionByBornIndex(1), nullptr);
  EXPECT_TRUE(Near(*x->GetParticlePositionByBornIndex(1), Point3(5, 6, 7)));

  tm = x->GetParticleTMByBornIndex(2);
  ASSERT_NE(tm, nullptr);
  EXPECT_TRUE(Near(Point3(1, 1, 1) * *tm, Point3(2, 3, 4)));
}

TEST_F(FlowTest, TransformTracksInterpolate) {
  FlowParticle p = Still(0, TIME_PosInfinity, Point3(0, 0, 0));
  p.path.Set(100, Point3(10, 0, 0));
  p.rotation.Set(0, Quat());
  p.rotation.Set(100, QFromAngAxis(float(PI) / 2, Point3(0, 0, 1)));
  p.scale.Set(0, Point3(1, 1, 1));
  p.scale.Set(100, Point3(3, 3, 3));
  sys->AddParticle(p);
  IParticleObjectExt* x = Ext();
  x->UpdateParticles(nullptr, 50);
  Matrix3* tm = x->GetParticleTMByBornIndex(0);
  ASSERT_NE(tm, nullptr);
  // Scale 2, turned 45 degrees, at (5, 0, 0).
  const float s = 2.0f * std::sqrt(0.5f);
  EXPECT_TRUE(Near(Point3(1, 0, 0) * *tm, Point3(5 + s, s, 0.0f), 1e-3f));
}

TEST_F(FlowTest, GroupsFollowTheEventTracks) {
  const int e1 = sys->AddEvent("Event 001");
  const int e2 = sys->AddEvent("Event 002");
  EXPECT_EQ(e1, 0);
  EXPECT_EQ(e2, 1);
  INode* n1 = sys->GetEvent(0);
  INode* n2 = sys->GetEvent(1);
  ASSERT_NE(n1, nullptr);
  ASSERT_NE(n2, nullptr);
  EXPECT_STREQ(n1->GetName(), "Event 001");
  EXPECT_EQ(ip->GetINodeByName("Event 002"), n2);

  sys->AddParticle(Still(0, 1000));  // no event track: the first event
  FlowParticle switching = Still(0, 1000);
  switching.event.Set(100, 0);
  switching.event.Set(200, 1);
  sys->AddParticle(switching);
  FlowParticle stray = Still(0, 1000);
  stray.event.Set(0, 5);  // an event index the system does not have
  sys->AddParticle(stray);

  IParticleObjectExt* x = Ext();
  auto groups = [&](TimeValue t) {
    x->UpdateParticles(sysNode, t);
    std::vector<INode*> out;
    for (int i = 0; i < x->NumParticles(); ++i) out.push_back(x->GetParticleGroup(i));
    return out;
  };
  EXPECT_EQ(groups(50), (std::vector<INode*>{n1, n1, nullptr}));  // before the first key: its event
  EXPECT_EQ(groups(199), (std::vector<INode*>{n1, n1, nullptr}));
  EXPECT_EQ(groups(200), (std::vector<INode*>{n1, n2, nullptr}));
  EXPECT_EQ(x->GetParticleGroup(-1), nullptr);
  EXPECT_EQ(x->GetParticleGroup(3), nullptr);
  EXPECT_EQ(sys->GetEvent(2), nullptr);
  EXPECT_EQ(sys->GetEvent(-1), nullptr);
}

TEST_F(FlowTest, GroupIndexIsTheRankNotTheBornIndex) {
  sys->AddEvent("A");
  sys->AddEvent("B");
  sys->AddParticle(Still(0, 10));  // dead by t = 50
  FlowParticle inB = Still(0, 1000);
  inB.event.Set(0, 1);
  sys->AddParticle(inB);
  IParticleObjectExt* x = Ext();
  x->UpdateParticles(nullptr, 50);
  int index = -1;
  ASSERT_TRUE(x->HasParticleBornIndex(1, index));
  EXPECT_EQ(index, 0);
  EXPECT_EQ(x->GetParticleGroup(index), sys->GetEvent(1));
  EXPECT_EQ(x->GetParticleGroup(1), nullptr);
}

// Collects every dependent, as the event picker walks them.
struct Collect : DependentEnumProc {
  std::vector<ReferenceMaker*> seen;
  int proc(ReferenceMaker* m) override {
    seen.push_back(m);
    return DEP_ENUM_CONTINUE;
  }
};

TEST_F(FlowTest, EventNodesAreDependentsAnsweringTheEventInterface) {
  sys->AddEvent("Event 001");
  sys->AddEvent("Event 002");
  sys->AddEvent("Event 003");
  Collect c;
  sys->DoEnumDependents(&c);
  std::vector<INode*> events;
  for (ReferenceMaker* m : c.seen) {
    if (m->SuperClassID() != BASENODE_CLASS_ID) continue;
    auto* node = static_cast<INode*>(m);
    Object* obj = node->GetObjectRef();
    if (!obj) continue;
    auto* group = static_cast<IParticleGroup*>(obj->GetInterface(PARTICLEGROUP_INTERFACE));
    if (!group) continue;
    EXPECT_EQ(group->GetID(), PARTICLEGROUP_INTERFACE);
    EXPECT_EQ(group->GetParticleSystem(), sys);
    EXPECT_EQ(obj->ClassID(), PARTICLE_EVENT_CLASS_ID);
    EXPECT_FALSE(obj->IsParticleSystem());
    events.push_back(node);
  }
  // The system's own node is a dependent too, but not an event.
  EXPECT_NE(std::find(c.seen.begin(), c.seen.end(), sysNode), c.seen.end());
  EXPECT_EQ(events, (std::vector<INode*>{sys->GetEvent(0), sys->GetEvent(1), sys->GetEvent(2)}));
}

TEST_F(FlowTest, DeletedEventNodesAreForgotten) {
  sys->AddEvent("A");
  sys->AddEvent("B");
  sys->AddParticle(Still(0, 1000));
  FlowParticle inB = Still(0, 1000);
  inB.event.Set(0, 1);
  sys->AddParticle(inB);
  INode* b = sys->GetEvent(1);
  const int depsBefore = sys->NumDependents();
  ip->DeleteNode(sys->GetEvent(0));
  EXPECT_EQ(sys->GetEvent(0), nullptr);
  EXPECT_EQ(sys->GetEvent(1), b);
  EXPECT_EQ(sys->NumEvents(), 2);  // indices stay as they were
  EXPECT_EQ(sys->NumDependents(), depsBefore - 1);
  IParticleObjectExt* x = Ext();
  x->UpdateParticles(nullptr, 5);
  EXPECT_EQ(x->GetParticleGroup(0), nullptr);
  EXPECT_EQ(x->GetParticleGroup(1), b);
  // Replacing the event node's object drops the event as well.
  b->SetObjectRef(nullptr);
  EXPECT_EQ(sys->GetEvent(1), nullptr);
  EXPECT_EQ(x->GetParticleGroup(1), nullptr);
}

TEST_F(FlowTest, TheSystemOutlivesItsNodeWhileEventsHoldIt) {
  sys->AddEvent("A");
  INode* a = sys->GetEvent(0);
  sys->AddParticle(Still(0, 1000));
  ip->DeleteNode(sysNode);
  // The event still references the system: it is alive and answers.
  auto* group = static_cast<IParticleGroup*>(a->GetObjectRef()->GetInterface(PARTICLEGROUP_INTERFACE));
  ASSERT_EQ(group->GetParticleSystem(), sys);
  EXPECT_EQ(sys->GetEvent(0), a);
  Ext()->UpdateParticles(nullptr, 10);
  EXPECT_EQ(Ext()->GetParticleGroup(0), a);
  // The last event node going takes the system with it (the fixture's heap count sees a leak otherwise).
  ip->DeleteNode(a);
}

TEST_F(FlowTest, ResetSceneDeletesSystemAndEvents) {
  for (int i = 0; i < 3; ++i) sys->AddEvent("E");
  sys->AddParticle(Still(0, 1000));
  ip->ResetScene();  // the fixture then checks that everything was freed, once
  EXPECT_EQ(ip->GetRootNode()->NumberOfChildren(), 0);
}

TEST_F(FlowTest, EventsOutlivingADeletedSystemDoNotReachBack) {
  sys->AddEvent("A");
  INode* a = sys->GetEvent(0);
  // Deleting the system outright clears the events' references to it.
  sysNode->SetObjectRef(nullptr);
  sys->DeleteMe();
  auto* group = static_cast<IParticleGroup*>(a->GetObjectRef()->GetInterface(PARTICLEGROUP_INTERFACE));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->GetParticleSystem(), nullptr);
  ip->DeleteNode(a);  // the event's destruction must not touch the system
}

TEST_F(FlowTest, CloneCopiesParticlesButNotEvents) {
  sys->AddEvent("A");
  FlowParticle p = Still(0, 100, Point3(1, 2, 3));
  sys->AddParticle(p);
  Ext()->UpdateParticles(nullptr, 50);
  RemapDir* remap = NewRemapDir();
  auto* copy = static_cast<FlowParticleSystem*>(sys->Clone(*remap));
  remap->DeleteThis();
  ASSERT_NE(copy, nullptr);
  INode* copyNode = ip->CreateObjectNode(copy);
  EXPECT_EQ(copy->NumParticlesTotal(), 1);
  EXPECT_EQ(copy->NumEvents(), 0);
  auto* cx = static_cast<IParticleObjectExt*>(copy->GetInterface(PARTICLEOBJECTEXT_INTERFACE));
  ASSERT_NE(cx, nullptr);
  EXPECT_NE(cx, Ext());
  EXPECT_EQ(cx->NumParticles(), 1);  // at the original's time
  cx->UpdateParticles(copyNode, 200);
  EXPECT_EQ(cx->NumParticles(), 0);
  Ext()->UpdateParticles(nullptr, 50);
  EXPECT_EQ(Ext()->NumParticles(), 1);  // independent update times
  cx->UpdateParticles(copyNode, 10);
  EXPECT_TRUE(Near(*cx->GetParticlePositionByBornIndex(0), Point3(1, 2, 3)));
  EXPECT_EQ(cx->GetParticleGroup(0), nullptr);  // no events in the copy
  EXPECT_EQ(Ext()->GetParticleGroup(0), sys->GetEvent(0));
}

TEST_F(FlowTest, CopiedEventNodeIsNotAnEventOfTheSystem) {
  sys->AddEvent("A");
  INode* a = sys->GetEvent(0);
  RemapDir* remap = NewRemapDir();
  auto* copy = static_cast<Object*>(a->GetObjectRef()->Clone(*remap));
  remap->DeleteThis();
  INode* copyNode = ip->CreateObjectNode(copy);
  auto* group = static_cast<IParticleGroup*>(copy->GetInterface(PARTICLEGROUP_INTERFACE));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->GetParticleSystem(), sys);
  EXPECT_EQ(sys->NumEvents(), 1);
  ip->DeleteNode(copyNode);
  EXPECT_EQ(sys->GetEvent(0), a);  // the copy going does not take the listed event
}

TEST_F(FlowTest, MalformedParticlesAreReported) {
  FlowParticle noPath;
  sys->AddParticle(noPath);
  EXPECT_EQ(asserts.size(), 1u);
  sys->AddParticle(Still(100, 50));
  EXPECT_EQ(asserts.size(), 2u);
  sys->AddParticle(Still(40, 50));  // born before the particle listed ahead of it
  EXPECT_EQ(asserts.size(), 3u);
  sys->AddParticle(Still(100, 100));  // never alive, but well formed
  EXPECT_EQ(asserts.size(), 3u);
  // Still answered without faults.
  Ext()->UpdateParticles(nullptr, 45);
  EXPECT_NE(Ext()->GetParticlePositionByBornIndex(2), nullptr);
  EXPECT_EQ(Ext()->GetParticleAgeByBornIndex(3), -1);
}

}  // namespace
