// Particle systems described in scene files, recorded into the modifier's recording as regeneration will
// record them: the flow recorder on the loading thread, the legacy recorder on a worker thread.
#include <thread>

#include "plugin_fixture.h"

#include "app/SceneLoader.h"
#include "particles/ParticleStateBuilder.h"

namespace {

constexpr int kTpf = 160;

const char* kScene = R"({"frame": 2, "nodes": [
  {"name": "PF Source 001", "object": {"type": "particles", "interface": "flow",
     "events": ["Event 001", "Event 002"],
     "particles": [
       {"born": 0, "dies": 5, "path": {"keys": [[0, [0, 0, 0]], [10, [10, 0, 0]]]}},
       {"born": 2, "path": [1, 1, 1], "event": {"keys": [[0, "Event 001"], [4, "Event 002"]]}},
       {"born": 3, "dies": 4, "path": {"keys": [[0, [0, 0, 0]], [10, [0, 10, 0]]]}, "transform": false}]}},
  {"name": "Spray001", "object": {"type": "particles", "interface": "legacy", "slots": [
     [{"born": 0, "dies": 3, "path": {"keys": [[0, [0, 0, 0]], [10, [10, 0, 0]]]}}, {"born": 3, "path": [5, 5, 5]}],
     [{"born": 1, "dies": 4, "path": [2, 2, 2]}]]}}]})";

class SceneRecording : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    LoadSceneText(kScene, GetWakeweaveDesc());
  }
  static std::vector<int> KeyFrames(const ParticleState& life) {
    std::vector<int> frames;
    for (int k = 0; k < life.numKeys(); ++k) frames.push_back(life.key(k).time / kTpf);
    return frames;
  }
  static Point3 Position(const ParticleState& life, int k) { return life.key(k).tm.GetTrans(); }
};

TEST_F(SceneRecording, FlowSystemGivesOneLifePerBornIndexAndLeavesTheSceneTimeAsFound) {
  INode* node = ip()->GetINodeByName("PF Source 001");
  ASSERT_NE(node, nullptr);
  ParticleStateBuilder rec;
  ASSERT_TRUE(rec.build(node, 0, 6 * kTpf, kTpf, nullptr, nullptr));
  EXPECT_TRUE(rec.isParticleFlow());
  ASSERT_EQ(rec.numParticles(), 3);
  EXPECT_EQ(KeyFrames(rec.particle(0)), (std::vector<int>{0, 1, 2, 3, 4}));  // dies at 5
  EXPECT_EQ(KeyFrames(rec.particle(1)), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(KeyFrames(rec.particle(2)), (std::vector<int>{3}));
  EXPECT_EQ(rec.particle(0).key(3).age, 3 * kTpf);
  EXPECT_FLOAT_EQ(Position(rec.particle(0), 3).x, 3.0f);
  // Without a transform the key is the translation to the position.
  EXPECT_FLOAT_EQ(Position(rec.particle(2), 0).y, 3.0f);
  EXPECT_EQ(rec.getMaxLifeSpan(), 4 * kTpf);

  auto* ext = static_cast<IParticleObjectExt*>(node->GetObjectRef()->GetInterface(PARTICLEOBJECTEXT_INTERFACE));
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(ext->NumParticlesGenerated(), 2);  // the scene's frame 2, not the last sample
}

TEST_F(SceneRecording, EventFilterTakesParticlesOnlyWhileInTheChosenEvents) {
  INode* node = ip()->GetINodeByName("PF Source 001");
  Tab<INode*> filter;
  INode* second = ip()->GetINodeByName("Event 002");
  ASSERT_NE(second, nullptr);
  filter.Append(1, &second);
  ParticleStateBuilder rec;
  ASSERT_TRUE(rec.build(node, 0, 6 * kTpf, kTpf, nullptr, &filter));
  ASSERT_EQ(rec.numParticles(), 3);
  EXPECT_EQ(rec.particle(0).numKeys(), 0);
  EXPECT_EQ(KeyFrames(rec.particle(1)), (std::vector<int>{4, 5, 6}));
  EXPECT_EQ(rec.particle(2).numKeys(), 0);
}

TEST_F(SceneRecording, LegacySystemRecordedOnAWorkerThreadGivesLivesInTheOrderTheyClose) {
  INode* node = ip()->GetINodeByName("Spray001");
  ASSERT_NE(node, nullptr);
  ParticleStateBuilder rec;
  BOOL ok = FALSE;
  std::thread worker([&] { ok = rec.build(node, 0, 6 * kTpf, kTpf, nullptr, nullptr); });
  worker.join();
  ASSERT_TRUE(ok);
  EXPECT_FALSE(rec.isParticleFlow());
  ASSERT_EQ(rec.numParticles(), 3);
  // Slot 1's first life, closed when the slot's age starts again at frame 3.
  EXPECT_EQ(KeyFrames(rec.particle(0)), (std::vector<int>{0, 1, 2}));
  // Slot 2's life, closed at frame 4 where it is no longer alive; that sample adds no key.
  EXPECT_EQ(KeyFrames(rec.particle(1)), (std::vector<int>{1, 2, 3}));
  // Slot 1's second life, still running at the end.
  EXPECT_EQ(KeyFrames(rec.particle(2)), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_EQ(rec.particle(2).key(0).age, 0);
  EXPECT_EQ(rec.particle(2).key(2).age, 2 * kTpf);
  EXPECT_FLOAT_EQ(Position(rec.particle(0), 2).x, 2.0f);
  EXPECT_FLOAT_EQ(Position(rec.particle(2), 1).z, 5.0f);
  // The worker's script time never moved the scene's.
  EXPECT_EQ(ip()->GetTime(), 2 * kTpf);
}

}  // namespace
