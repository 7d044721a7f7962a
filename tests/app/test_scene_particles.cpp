// Particle systems in scene files, loaded in-process and asked what the plug-in asks: the flow system through
// its extension interface and its event nodes, the legacy system by slot, the emitter's particles, and the
// node parameter that picks a particle system.
#include "loader_fixture.h"

#include "app/EmitterBounds.h"

#include <chrono>

#include "sanitized_build.h"

namespace {

class ParticleScene : public SceneLoader {
 protected:
  void SetUp() override {
    SceneLoader::SetUp();
    liveAtStart_ = MAX_heapLiveCount();
  }
  // The loader hands the host only well-formed particles (the host reports others through its assertions),
  // and the scene, loaded or refused, goes with the reset.
  void TearDown() override {
    ip()->ResetScene();
    EXPECT_EQ(MAX_heapLiveCount(), liveAtStart_) << "host objects left behind";
    for (const auto& e : asserts_.Entries()) ADD_FAILURE() << "host assertion: " << e.expression;
    SceneLoader::TearDown();
  }

  static IParticleObjectExt* Ext(INode* node) {
    Object* obj = node->GetObjectRef();
    return obj ? static_cast<IParticleObjectExt*>(obj->GetInterface(PARTICLEOBJECTEXT_INTERFACE)) : nullptr;
  }
  static IParamBlock2* Block(INode* node) {
    auto* d = dynamic_cast<IDerivedObject*>(node->GetObjectRef());
    return d ? d->GetModifier(0)->GetParamBlockByID(0) : nullptr;
  }

  AssertCapture asserts_;

 private:
  long liveAtStart_ = 0;
};

// At 10 ticks per frame. The system's node stands at x = 100, turned a quarter: its particles stay where their
// paths put them. Particles 2 and 3 are born on the same tick (4.05 frames round to 41 ticks).
const char* kFlow = R"({"ticksPerFrame": 10, "nodes": [
  {"name": "PF Source 001", "position": [100, 0, 0], "rotation": [0, 0, 1, 90],
   "object": {"type": "particles", "interface": "flow", "events": ["Event 001", "Event 002"], "particles": [
     {"born": 0, "dies": 10, "path": {"keys": [[0, [0, 0, 0]], [10, [10, 0, 0]]]},
      "event": {"keys": [[5, "Event 002"], [7, "Event 001"]]}},
     {"born": 2, "path": [1, 2, 3], "event": "Event 002", "transform": false},
     {"born": 4.05, "dies": 6, "path": {"keys": [[4, [0, 0, 5]], [6, [0, 0, 7]]]}, "rotation": [0, 0, 1, 90],
      "scale": {"keys": [[4, [2, 2, 2]]]}},
     {"born": 4.05, "path": [9, 9, 9]}]}},
  {"name": "After", "object": {"type": "circle", "radius": 1}}]})";

}  // namespace

TEST_F(ParticleScene, FlowEventsAreNodesListedAfterTheirSystemInTheirOrder) {
  LoadedScene s = Load(kFlow);
  ASSERT_EQ(s.nodes.size(), 4u);
  EXPECT_STREQ(s.nodes[0]->GetName(), "PF Source 001");
  EXPECT_STREQ(s.nodes[1]->GetName(), "Event 001");
  EXPECT_STREQ(s.nodes[2]->GetName(), "Event 002");
  EXPECT_STREQ(s.nodes[3]->GetName(), "After");
  EXPECT_TRUE(s.nodesWithWakeweave.empty());

  auto* sys = dynamic_cast<FlowParticleSystem*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(sys, nullptr);
  EXPECT_NE(sys->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE)), nullptr);
  EXPECT_EQ(sys->NumParticlesTotal(), 4);
  ASSERT_EQ(sys->NumEvents(), 2);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(sys->GetEvent(k), s.nodes[size_t(k) + 1]);
    auto* group =
        static_cast<IParticleGroup*>(s.nodes[size_t(k) + 1]->GetObjectRef()->GetInterface(PARTICLEGROUP_INTERFACE));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->GetParticleSystem(), sys);
  }
}

TEST_F(ParticleScene, FlowParticlesAnswerByBornIndexAtTheUpdateTime) {
  LoadedScene s = Load(kFlow);
  INode* pf = s.nodes[0];
  INode* event1 = s.nodes[1];
  INode* event2 = s.nodes[2];
  IParticleObjectExt* ext = Ext(pf);
  ASSERT_NE(ext, nullptr);
  int index = -1;

  ext->UpdateParticles(pf, 30);
  EXPECT_EQ(ext->NumParticlesGenerated(), 2);
  EXPECT_EQ(ext->NumParticles(), 2);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(0), 30);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(1), 10);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(2), -1);
  // World positions from the paths alone, whatever the system's node does.
  ASSERT_NE(ext->GetParticlePositionByBornIndex(0), nullptr);
  ExpectPoint(*ext->GetParticlePositionByBornIndex(0), Point3(3, 0, 0));
  EXPECT_EQ(ext->GetParticleTMByBornIndex(1), nullptr);  // "transform": false
  ASSERT_NE(ext->GetParticlePositionByBornIndex(1), nullptr);
  ExpectPoint(*ext->GetParticlePositionByBornIndex(1), Point3(1, 2, 3));
  ASSERT_TRUE(ext->HasParticleBornIndex(1, index));
  EXPECT_EQ(index, 1);
  // Before its first event key a particle is in that key's event.
  EXPECT_EQ(ext->GetParticleGroup(0), event2);
  EXPECT_EQ(ext->GetParticleGroup(1), event2);

  ext->UpdateParticles(pf, 41);
  EXPECT_EQ(ext->NumParticlesGenerated(), 4);
  EXPECT_EQ(ext->NumParticles(), 4);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(2), 0);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(3), 0);
  // Scale 2, a quarter turn about +Z, then the path's position (z from 5 to 7 over frames 4 to 6).
  Matrix3* tm = ext->GetParticleTMByBornIndex(2);
  ASSERT_NE(tm, nullptr);
  ExpectPoint(Point3(1, 0, 0) * *tm, Point3(0.0f, 2.0f, 5.1f));
  // No event given: the first of the system's events.
  EXPECT_EQ(ext->GetParticleGroup(2), event1);
  EXPECT_EQ(ext->GetParticleGroup(3), event1);

  ext->UpdateParticles(pf, 70);
  // Particle 2 died at frame 6: the ones alive keep their born order.
  EXPECT_EQ(ext->NumParticlesGenerated(), 4);
  EXPECT_EQ(ext->NumParticles(), 3);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(2), -1);
  EXPECT_FALSE(ext->HasParticleBornIndex(2, index));
  ASSERT_TRUE(ext->HasParticleBornIndex(3, index));
  EXPECT_EQ(index, 2);
  // The last event key at or before the time.
  EXPECT_EQ(ext->GetParticleGroup(0), event1);
  ext->UpdateParticles(pf, 69);
  EXPECT_EQ(ext->GetParticleGroup(0), event2);

  // Particle 0 dies at frame 10; the others never do.
  ext->UpdateParticles(pf, 100);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(0), -1);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(1), 80);
  EXPECT_EQ(ext->NumParticles(), 2);
}

TEST_F(ParticleScene, LegacySlotsHoldTheirLivesInTimeOrder) {
  // Slot 0 lists its lives out of order; slot 1 has none; slot 2's life never ends.
  LoadedScene s = Load(R"({"ticksPerFrame": 10, "nodes": [{"name": "Spray001",
      "object": {"type": "particles", "interface": "legacy", "slots": [
        [{"born": 5, "dies": 8, "path": {"keys": [[5, [0, 0, 0]], [8, [3, 0, 0]]]}},
         {"born": 0, "dies": 5, "path": [1, 1, 1]}],
        [],
        [{"born": 2, "path": [7, 7, 7]}]]}}]})");
  ASSERT_EQ(s.nodes.size(), 1u);
  auto* sys = dynamic_cast<LegacyParticleSystem*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(sys, nullptr);
  EXPECT_NE(sys->GetInterface(ULONG(PARTICLE_SYSTEM_INTERFACE)), nullptr);
  EXPECT_EQ(static_cast<Object*>(sys)->GetInterface(PARTICLEOBJECTEXT_INTERFACE), nullptr);
  ASSERT_EQ(sys->NumSlots(), 3);

  const LegacyParticleLife* life = sys->LifeAt(0, 49);
  ASSERT_NE(life, nullptr);
  EXPECT_EQ(life->born, 0);
  EXPECT_EQ(life->dies, 50);
  ExpectPoint(TrackValue(life->path, 49, Point3()), Point3(1, 1, 1));
  life = sys->LifeAt(0, 50);
  ASSERT_NE(life, nullptr);
  EXPECT_EQ(life->born, 50);
  EXPECT_EQ(life->dies, 80);
  ExpectPoint(TrackValue(life->path, 60, Point3()), Point3(1, 0, 0));
  EXPECT_EQ(sys->LifeAt(0, 80), nullptr);
  EXPECT_EQ(sys->LifeAt(1, 0), nullptr);
  EXPECT_EQ(sys->LifeAt(2, 19), nullptr);
  ASSERT_NE(sys->LifeAt(2, 1000000), nullptr);
  EXPECT_EQ(sys->LifeAt(2, 1000000)->dies, TIME_PosInfinity);
}

TEST_F(ParticleScene, EmitterParticlesFollowItsValuesInTheScenesTicks) {
  // At 10 ticks per frame: two particles a frame from frame 1 to frame 3 (births 5 ticks apart), each living
  // 4 frames, flying along +X at 5 units a frame and falling under gravity.
  LoadedScene s = Load(R"({"ticksPerFrame": 10, "nodes": [{"name": "Jet", "object": {"type": "particles",
      "interface": "flow", "events": ["Spawn"], "emitter": {"start": 1, "stop": 3, "rate": 2, "life": 4,
      "speed": 5, "direction": [2, 0, 0], "gravity": [0, 0, -2], "seed": 7}}}]})");
  ASSERT_EQ(s.nodes.size(), 2u);
  auto* sys = dynamic_cast<FlowParticleSystem*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(sys, nullptr);
  EXPECT_EQ(sys->NumParticlesTotal(), 5);
  IParticleObjectExt* ext = Ext(s.nodes[0]);
  ext->UpdateParticles(s.nodes[0], 20);
  EXPECT_EQ(ext->NumParticlesGenerated(), 3);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(0), 10);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(1), 5);
  // One frame old: 5 along X, half of the gravity down.
  ExpectPoint(*ext->GetParticlePositionByBornIndex(0), Point3(5, 0, -1), 1e-4f);
  EXPECT_EQ(ext->GetParticleGroup(0), s.nodes[1]);
  ext->UpdateParticles(s.nodes[0], 50);  // particle 0 lived 4 frames
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(0), -1);
  EXPECT_EQ(ext->GetParticleAgeByBornIndex(4), 20);

  // Spread and seed reach the host's emitter too: the same particles as it makes from those values.
  s = Load(R"({"nodes": [{"name": "Fan", "object": {"type": "particles", "interface": "flow",
      "events": ["Spawn"], "emitter": {"start": 0, "stop": 2, "rate": 3, "life": 10, "spread": 30,
      "seed": 12345}}}]})");
  ParticleEmitter e;
  e.start = 0;
  e.stop = 2 * kTpf;
  e.rate = 3;
  e.life = 10 * kTpf;
  e.spread = 30;
  e.seed = 12345;
  const std::vector<FlowParticle> want = EmitParticles(e);
  ext = Ext(s.nodes[0]);
  ext->UpdateParticles(s.nodes[0], 5 * kTpf);
  ASSERT_EQ(ext->NumParticlesGenerated(), int(want.size()));
  bool spread = false;
  for (size_t i = 0; i < want.size(); ++i) {
    const Point3 p = TrackValue(want[i].path, 5 * kTpf, Point3());
    ExpectPoint(*ext->GetParticlePositionByBornIndex(int(i)), p, 0.0f);
    spread = spread || std::fabs(p.x) > 0.01f;
  }
  EXPECT_TRUE(spread) << "the particles should leave the axis";
}

TEST_F(ParticleScene, EmittersAskingForTooMuchAreRefusedBeforeTheyRun) {
  // 2000 particles a tick for 1000 ticks.
  EXPECT_EQ(LoadError(R"({"ticksPerFrame": 1, "nodes": [{"name": "Jet", "object": {"type": "particles",
      "interface": "flow", "events": ["E"], "emitter": {"start": 0, "stop": 1000, "rate": 2000, "life": 1}}}]})"),
            "nodes[0].object.emitter: the emitter asks for 2002000 particles; at most 1000000 are allowed");
  // 10001 particles whose paths have a key a frame of their 1000-frame lives and one at their death.
  EXPECT_EQ(LoadError(R"({"ticksPerFrame": 1, "nodes": [{"name": "Jet", "object": {"type": "particles",
      "interface": "flow", "events": ["E"], "emitter": {"start": 0, "stop": 10000, "rate": 1, "life": 1000}}}]})"),
            "nodes[0].object.emitter: the emitter's particle paths take 10011001 keys (10001 particles of 1001); at "
            "most 10000000 are allowed");
  // Checked before any node is built.
  EXPECT_EQ(GetCOREInterface()->GetRootNode()->NumberOfChildren(), 0);

  // A harness may set tighter bounds (six particles, 12 keys here).
  const scenefile::EmitterBounds before = scenefile::SetEmitterBounds({5, 11});
  const std::string six = R"({"nodes": [{"name": "Jet", "object": {"type": "particles", "interface": "flow",
      "events": ["E"], "emitter": {"start": 0, "stop": 5, "rate": 1, "life": 1}}}]})";
  EXPECT_EQ(LoadError(six), "nodes[0].object.emitter: the emitter asks for 6 particles; at most 5 are allowed");
  scenefile::SetEmitterBounds({6, 11});
  EXPECT_EQ(LoadError(six),
            "nodes[0].object.emitter: the emitter's particle paths take 12 keys (6 particles of 2); at most 11 are "
            "allowed");
  scenefile::SetEmitterBounds({6, 12});
  EXPECT_EQ(LoadError(six), "(no error)");
  scenefile::SetEmitterBounds(before);
}

TEST_F(ParticleScene, ParticleNodeParameterTakesEitherKindAndEventListsTakeEvents) {
  const std::string systems = R"(
      {"name": "PF", "object": {"type": "particles", "interface": "flow", "events": ["E1", "E2"],
                                "particles": [{"born": 0, "path": [0, 0, 0]}]}},
      {"name": "Spray", "object": {"type": "particles", "interface": "legacy", "slots": [[]]}},
      {"name": "Line", "object": {"type": "spline", "splines": [{"knots": [[0, 0, 0], [0, 1, 0]]}]}},
      {"name": "Covered", "object": {"type": "particles", "interface": "legacy", "slots": []},
       "modifiers": [{"class": "Wakeweave"}]})";
  auto trail = [&](const std::string& params) {
    return R"({"nodes": [)" + systems + R"(, {"name": "T", "object": {"type": "circle", "radius": 1},
        "modifiers": [{"class": "Wakeweave", "params": )" +
           params + "}]}]}";
  };
  LoadedScene s = Load(trail(R"({"pb_particle_node": "PF", "pfEventList": ["E2", "E1"]})"));
  ASSERT_EQ(s.nodes.size(), 7u);
  IParamBlock2* pb = Block(s.nodes[6]);
  ASSERT_NE(pb, nullptr);
  EXPECT_EQ(pb->GetINode(pb_particle_node), s.nodes[0]);
  ASSERT_EQ(pb->Count(pb_pf_event_list), 2);
  EXPECT_EQ(pb->GetINode(pb_pf_event_list, 0, 0), s.nodes[2]);
  EXPECT_EQ(pb->GetINode(pb_pf_event_list, 0, 1), s.nodes[1]);

  s = Load(trail(R"({"pb_particle_node": "Spray"})"));
  EXPECT_EQ(Block(s.nodes[6])->GetINode(pb_particle_node), s.nodes[3]);

  const std::string at = "nodes[4].modifiers[0].params.pb_particle_node: ";
  EXPECT_EQ(LoadError(trail(R"({"pb_particle_node": "Line"})")),
            at + "node \"Line\" can't be used here: it is not a particle system");
  EXPECT_EQ(LoadError(trail(R"({"pb_particle_node": "E1"})")),
            at + "node \"E1\" can't be used here: it is not a particle system");
  EXPECT_EQ(LoadError(trail(R"({"pb_particle_node": "Covered"})")),
            at + "node \"Covered\" can't be used here: its particle system carries modifiers (only one without "
                 "modifiers can be picked)");
  EXPECT_EQ(LoadError(trail(R"({"pfEventList": ["E3"]})")),
            "nodes[4].modifiers[0].params.pfEventList[0]: no node named \"E3\"");
}

TEST_F(ParticleScene, ManyEventsAndParticlesLoadInLinearTime) {
  // Every particle names the last of 100 000 events; the last event repeats the first's name.
  std::string events, particles;
  for (int i = 0; i < 100000; ++i) {
    events += "\"E" + std::to_string(i) + "\", ";
    particles += R"({"born": 0, "path": [0, 0, 0], "event": "E99999"}, )";
  }
  const std::string scene = R"({"nodes": [{"name": "PF", "object": {"type": "particles", "interface": "flow",
      "events": [)" + events +
                            R"("Last"], "particles": [)" + particles + R"({"born": 1, "path": [0, 0, 0]}]}}]})";
  const auto start = std::chrono::steady_clock::now();
  LoadedScene s = Load(scene);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(s.nodes.size(), 100002u);
  IParticleObjectExt* ext = Ext(s.nodes[0]);
  ext->UpdateParticles(s.nodes[0], 0);
  EXPECT_EQ(ext->GetParticleGroup(7), s.nodes[100000]);
  // Looking each name up along the list would make 10^10 comparisons; a sanitizer makes every step slower.
  EXPECT_LT(seconds, WAKEWEAVE_SANITIZED ? 90.0 : 15.0);
  RecordProperty("seconds", std::to_string(seconds));
  EXPECT_EQ(LoadError(std::string(scene).replace(scene.find("\"Last\""), 6, "\"E0\"")),
            "nodes[0].object.events[100000]: duplicate event name \"E0\" (the event at nodes[0].object.events[0] has "
            "it)");
}
