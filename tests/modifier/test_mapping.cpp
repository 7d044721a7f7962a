// Texture coordinates: U across the shape, V along the trail ("String", "Stretch", path length), the age
// map on channel 2, and the texture faces of both channels.
#include "trail_scene.h"

class Mapping : public TrailTest {
 protected:
  // V of each sample of the first drawn trail's first polyline with `columns` columns.
  static std::vector<float> SampleVs(const Mesh& m, int columns, int samples) {
    std::vector<float> vs;
    for (int l = 0; l < samples; ++l) vs.push_back(m.tVerts[l * columns].y);
    return vs;
  }
  static void ConstantLag(Wakeweave* mod, float frames) {
    LinearFloatControl* c = new LinearFloatControl();
    c->AddKey(0, frames);
    c->AddKey(100 * kTpf, frames);
    ASSERT_TRUE(mod->pblock->SetController(pb_old_frames, 0, c));
  }
};

#define EXPECT_FLOATS_NEAR(actual, expected)                                                    \
  do {                                                                                          \
    auto a_ = (actual);                                                                         \
    auto e_ = (expected);                                                                       \
    ASSERT_EQ(a_.size(), e_.size());                                                            \
    for (size_t i_ = 0; i_ < a_.size(); ++i_) EXPECT_NEAR(a_[i_], e_[i_], 1e-5) << "at " << i_; \
  } while (0)

TEST_F(Mapping, UFollowsTheDistanceAlongAnOpenLineAndEndsAtTheRepeat) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(0, 4, 0), Point3(0, 10, 0)}, false), &mod);
  Set(mod, pb_spline_steps, 0);
  Set(mod, pb_urepeat, 2.0f);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumTVerts(), 3 * 4);
  for (int l = 0; l < 4; ++l)
    EXPECT_FLOATS_NEAR((std::vector<float>{m.tVerts[l * 3].x, m.tVerts[l * 3 + 1].x, m.tVerts[l * 3 + 2].x}),
                       (std::vector<float>{0.0f, 0.8f, 2.0f}));
  EXPECT_EQ(m.tVerts[0].z, 0.0f);
}

TEST_F(Mapping, ClosedLineDoublesItsSeam) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(1, 0, 0), Point3(1, 1, 0), Point3(0, 1, 0)}, true), &mod);
  Set(mod, pb_spline_steps, 0);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumTVerts(), 5 * 4);
  std::vector<float> us;
  for (int c = 0; c < 5; ++c) us.push_back(m.tVerts[c].x);
  EXPECT_FLOATS_NEAR(us, (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f, 1.0f}));
}

TEST_F(Mapping, LineOfNoLengthGetsFiniteEvenlySpreadU) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(2, 2, 0), Point3(2, 2, 0), Point3(2, 2, 0)}, false), &mod);
  Set(mod, pb_spline_steps, 0);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumTVerts(), 3 * 4);
  for (int i = 0; i < m.getNumTVerts(); ++i) EXPECT_TRUE(std::isfinite(m.tVerts[i].x)) << i;
  EXPECT_FLOATS_NEAR((std::vector<float>{m.tVerts[0].x, m.tVerts[1].x, m.tVerts[2].x}),
                     (std::vector<float>{0.0f, 0.5f, 1.0f}));
}

TEST_F(Mapping, StringTiesVToTheTimeOffset) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Mesh& m = EvalMesh(node, 1600);  // lag 3, one sample per frame
  EXPECT_FLOATS_NEAR(SampleVs(m, 1, 4), (std::vector<float>{0.0f, 1.0f / 3, 2.0f / 3, 1.0f}));

  ConstantLag(mod, 1.5f);
  EXPECT_FLOATS_NEAR(SampleVs(EvalMesh(node, 1600), 1, 3), (std::vector<float>{0.0f, 2.0f / 3, 1.0f}));
}

TEST_F(Mapping, StringGivesTheOldestPointVOneWhateverTheFraction) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  ConstantLag(mod, 2.25f);
  // Samples at 0, 1, 2 and 2.25 frames back: the oldest point is the whole lag.
  EXPECT_FLOATS_NEAR(SampleVs(EvalMesh(node, 1600), 1, 4),
                     (std::vector<float>{0.0f, 1.0f / 2.25f, 2.0f / 2.25f, 1.0f}));
}

TEST_F(Mapping, StretchGivesTheStillEndOfTheTrailVOne) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Starter", Polyline({Point3(0, 0, 0)}, false), mod);
  // Still until frame 7, then moving: at frame 10 with a lag of 5 the samples at 7, 6 and 5 stand still.
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 7 * kTpf, Point3(0, 0, 0));
  KeyPosition(node, 20 * kTpf, Point3(130, 0, 0));
  Set(mod, pb_old_frames, 5);
  Set(mod, pb_maptype, 1);
  Mesh& m = EvalMesh(node, 10 * kTpf);
  // countStillSamples answers 2 for these samples; numSteps is 5.
  EXPECT_FLOATS_NEAR(SampleVs(m, 1, 6), (std::vector<float>{0.0f, 1.0f / 3, 2.0f / 3, 1.0f, 1.0f, 1.0f}));
}

TEST_F(Mapping, AnchoredSplineTrailsTakeVFromThePathCoveredOverTheWholeRange) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Runner", Polyline({Point3(0, 0, 0)}, false), mod);
  KeyPosition(node, 0, Point3(0, 0, 0));
  KeyPosition(node, 10 * kTpf, Point3(100, 0, 0));
  KeyPosition(node, 20 * kTpf, Point3(400, 0, 0));
  ip()->SetAnimRange(Interval(0, 20 * kTpf));
  Set(mod, pb_moving_or_still, 1);
  Mesh& full = EvalMesh(node, 20 * kTpf);
  ASSERT_EQ(full.getNumTVerts(), 22);
  EXPECT_NEAR(full.tVerts[5].y, 50.0f / 400.0f, 1e-6);
  EXPECT_NEAR(full.tVerts[10].y, 0.25f, 1e-6);
  EXPECT_NEAR(full.tVerts[15].y, 250.0f / 400.0f, 1e-6);
  EXPECT_NEAR(full.tVerts[21].y, 1.0f, 1e-6);
  // Earlier, the samples already drawn keep their V.
  Mesh& half = EvalMesh(node, 10 * kTpf);
  ASSERT_EQ(half.getNumTVerts(), 12);
  EXPECT_NEAR(half.tVerts[5].y, 50.0f / 400.0f, 1e-6);
  EXPECT_NEAR(half.tVerts[10].y, 0.25f, 1e-6);
  // The present between two path samples is interpolated by the distance covered.
  Mesh& between = EvalMesh(node, 10 * kTpf + 80);
  EXPECT_NEAR(between.tVerts[11].y, 0.25f + 0.5f * (30.0f / 400.0f), 1e-5);
}

TEST_F(Mapping, AgeMapFollowsTheParticleAgeAndClampsBelowOne) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Emitter", Polyline({Point3(0, 0, 0)}, false), mod);
  Set(mod, pb_particle_trails_b, 1);
  Set(mod, pb_generate_age_map, 1);
  Set(mod, pb_spline_steps, 0);
  ParticleSystemState recording;
  recording.setParticleFlow(1);
  ParticleState life;
  life.addKey(ParticlePositionKey(0, Point3(0, 0, 0), 0));
  life.addKey(ParticlePositionKey(100, Point3(100, 0, 0), 100));
  recording.addParticle(life);
  ASSERT_EQ(LoadRecording(mod, recording), IO_OK);
  Mesh& m = EvalMesh(node, 25);
  ASSERT_TRUE(m.mapSupport(2));
  ASSERT_EQ(m.getNumMapVerts(2), 4);
  UVVert* v = m.mapVerts(2);
  EXPECT_NEAR(v[0].y, 0.25f, 1e-6);  // age 25 of 100
  EXPECT_NEAR(v[1].y, 0.99f, 1e-6);  // before birth
  EXPECT_EQ(v[0].x, 0.0f);           // a single column has U 0
}

TEST_F(Mapping, SplineTrailAgeMapIsNearlyOneThroughout) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false), &mod);
  Set(mod, pb_spline_steps, 0);
  Set(mod, pb_generate_age_map, 1);
  Set(mod, pb_urepeat, 3.0f);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumMapVerts(2), 2 * 4);
  for (int i = 0; i < 8; ++i) {
    EXPECT_NEAR(m.mapVerts(2)[i].y, 0.99f, 1e-6);
    EXPECT_NEAR(m.mapVerts(2)[i].x, (i % 2) * 3.0f, 1e-6);
  }
}

TEST_F(Mapping, TextureFacesOfTwoPolylinesUseTheirOwnBlocksAndRows) {
  SplineShape* shape = Polyline({Point3(0, 0, 0), Point3(0, 1, 0), Point3(0, 2, 0)}, false);
  AddPolyline(shape, {Point3(5, 0, 0), Point3(5, 1, 0)}, false);
  Wakeweave* mod;
  INode* node = MovingNode(shape, &mod);
  Set(mod, pb_spline_steps, 0);
  Set(mod, pb_old_frames, 1);
  Set(mod, pb_generate_age_map, 1);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumFaces(), 6);
  auto tv = [](const TVFace& f) { return std::vector<int>{int(f.t[0]), int(f.t[1]), int(f.t[2])}; };
  EXPECT_EQ(tv(m.tvFace[4]), (std::vector<int>{6, 7, 9}));
  EXPECT_EQ(tv(m.tvFace[5]), (std::vector<int>{6, 9, 8}));
  EXPECT_EQ(tv(m.mapFaces(2)[4]), (std::vector<int>{3, 4, 9}));
  EXPECT_EQ(tv(m.mapFaces(2)[5]), (std::vector<int>{3, 9, 8}));
  // Flipped winding for both channels.
  Set(mod, pb_flip_normals, 1);
  Mesh& f = EvalMesh(node, 1600);
  EXPECT_EQ(tv(f.tvFace[4]), (std::vector<int>{6, 9, 7}));
  EXPECT_EQ(tv(f.mapFaces(2)[5]), (std::vector<int>{3, 8, 9}));
}

TEST_F(Mapping, NoMappingWhenSwitchedOff) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false), &mod);
  Set(mod, pb_generate_map, 0);
  Mesh& m = EvalMesh(node, 1600);
  EXPECT_GT(m.getNumFaces(), 0);
  EXPECT_EQ(m.getNumTVerts(), 0);
  EXPECT_FALSE(m.mapSupport(2));
}
