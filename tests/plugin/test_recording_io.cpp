// The modifier's Save and Load as the host calls them: a scene save or load never fails because of the
// particle recording, damage is reported on the debug output, and a hostile recording evaluates soundly.
#include <climits>
#include <cmath>

#include "particles/memory_chunks.h"
#include "plugin_test_util.h"

namespace {

const std::string kDamaged = "Wakeweave::Load: particle recording damaged\n";

class RecordingIO : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    mod_ = NewModifier();
    ASSERT_NE(mod_, nullptr);
    ParticleState life;
    life.addKey(ParticlePositionKey(0, Point3(1, 2, 3), 0));
    life.addKey(ParticlePositionKey(160, Point3(4, 5, 6), 160));
    ParticleSystemState recording;
    recording.addParticle(life);
    recording.addParticle(life);
    ASSERT_EQ(LoadRecording(mod_, recording), IO_OK);
    ASSERT_EQ(mod_->particleState().numParticles(), 2);
  }
  void TearDown() override {
    if (mod_) mod_->DeleteThis();
    SceneTest::TearDown();
  }
  std::vector<MemChunk> SavedChunks() {
    MemSave out;
    EXPECT_EQ(mod_->Save(&out), IO_OK);
    return out.chunks;
  }

  Wakeweave* mod_ = nullptr;
};

}  // namespace

TEST_F(RecordingIO, SaveSucceedsWhateverTheWriterAnswers) {
  for (int failAt : {0, 1, 7, 20}) {
    SCOPED_TRACE(failAt);
    MemSave out;
    out.failAtWrite = failAt;
    EXPECT_EQ(mod_->Save(&out), IO_OK);
    EXPECT_GT(out.writes, failAt) << "the recording was written up to the failure";
    EXPECT_EQ(out.ended, 0) << "the recording's writer stopped at the failed write";
  }
  MemSave good;
  EXPECT_EQ(mod_->Save(&good), IO_OK);
  EXPECT_EQ(good.ended, 1);
}

TEST_F(RecordingIO, LoadSucceedsWhateverTheReaderAnswersAndReportsDamage) {
  std::vector<MemChunk> chunks = SavedChunks();
  ASSERT_EQ(chunks.size(), 1u);
  {
    DebugCapture debug;
    Wakeweave* loaded = NewModifier();
    MemLoad in(chunks);
    EXPECT_EQ(loaded->Load(&in), IO_OK);
    EXPECT_EQ(loaded->particleState().numParticles(), 2);
    EXPECT_EQ(debug.Count(kDamaged), 0) << "a sound recording is not reported";
    loaded->DeleteThis();
  }
  // Cut inside the second life: the reader fails part way; the first life stays.
  std::vector<MemChunk> cut = chunks;
  cut[0].data.resize(cut[0].data.size() - 30);
  {
    DebugCapture debug;
    Wakeweave* loaded = NewModifier();
    MemLoad in(cut);
    ParticleSystemState reader;
    EXPECT_EQ(reader.load(&in), IO_ERROR) << "the recording's reader does fail";
    MemLoad again(cut);
    EXPECT_EQ(loaded->Load(&again), IO_OK);
    EXPECT_EQ(loaded->particleState().numParticles(), 1);
    EXPECT_EQ(debug.Count(kDamaged), 1);
    loaded->DeleteThis();
  }
  // A chunk header that cannot be read.
  {
    DebugCapture debug;
    Wakeweave* loaded = NewModifier();
    MemLoad in(chunks);
    in.damageAt = 0;
    EXPECT_EQ(loaded->Load(&in), IO_OK);
    EXPECT_EQ(loaded->particleState().numParticles(), 0);
    EXPECT_EQ(debug.Count(kDamaged), 1);
    loaded->DeleteThis();
  }
}

TEST_F(RecordingIO, LoadedRecordingWithKeysAtTheEdgesOfTimeEvaluates) {
  // One life from INT_MIN to INT_MAX moving along X at an even pace: -1e6 at INT_MIN, 0 at 0, 1e6 at INT_MAX.
  const float tm0[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, -1e6f, 0, 0};
  const float tm1[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  const float tm2[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1e6f, 0, 0};
  LeBytes body;
  body.i32(1).i32(0).i32(1).i32(40).i32(-1).i32(1).i32(1);
  body.i32(INT_MIN).i32(INT_MAX).i32(3);
  body.key(tm0, 0, INT_MIN, 0).key(tm1, 0, 0, 0).key(tm2, 0, INT_MAX, 0);
  Wakeweave* mod = NewModifier();
  {
    DebugCapture debug;
    MemLoad in({MemChunk{ParticleSystemState::kChunkId, body.bytes}});
    ASSERT_EQ(mod->Load(&in), IO_OK);
    EXPECT_EQ(debug.Count(kDamaged), 0);
  }
  ASSERT_EQ(mod->particleState().numParticles(), 1);
  INode* node = AddNode("Emitter", Polyline({Point3(0, 0, 0)}, false), mod);
  ASSERT_TRUE(mod->pblock->SetValue(pb_particle_trails_b, 0, 1));
  ASSERT_TRUE(mod->pblock->SetValue(pb_generate_age_map, 0, 1));
  ASSERT_TRUE(mod->pblock->SetValue(pb_spline_steps, 0, 0));
  ASSERT_TRUE(mod->pblock->SetValue(pb_old_frames, 0, 3));
  ASSERT_TRUE(mod->pblock->SetValue(pb_segments_per_frame, 0, 1.0f));

  // Moving trail of 3 frames at 1600: samples 1600, 1440, 1280, 1120.
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_FALSE(IsFallbackTriangle(m));
  ASSERT_EQ(m.getNumVerts(), 4);
  const int samples[4] = {1600, 1440, 1280, 1120};
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(samples[i]);
    EXPECT_NEAR(m.verts[i].x, 1e6 * samples[i] / double(INT_MAX), 1e-3);
  }
  // A life too long to count in ticks has no age: the age map shows it as not applicable.
  ASSERT_TRUE(m.mapSupport(2));
  ASSERT_EQ(m.getNumMapVerts(2), 4);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(m.mapVerts(2)[i].y, 0.99f);
}
