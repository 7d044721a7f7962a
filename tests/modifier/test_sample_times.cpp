// When the trail is sampled: moving and anchored trails, lag, segments per frame and ranges.
#include "trail_scene.h"

class SampleTiming : public TrailTest {};

TEST_F(SampleTiming, MovingTrailRunsBackFromThePresentByWholeFrames) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_old_frames, 3);
  Mesh& m = EvalMesh(node, 1600);
  EXPECT_EQ(SampleTimes(m, 1600), (std::vector<int>{1600, 1440, 1280, 1120}));
  EXPECT_EQ(m.getNumFaces(), 0);
}

TEST_F(SampleTiming, FractionalStepsTruncateEachTime) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_old_frames, 2);
  Set(mod, pb_segments_per_frame, 1.5f);
  EXPECT_EQ(SampleTimes(EvalMesh(node, 1600), 1600), (std::vector<int>{1600, 1493, 1386, 1280}));
}

TEST_F(SampleTiming, AnimatedLagIsReadSmoothlyAndTheOldestPointIsAppended) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  LinearFloatControl* lag = new LinearFloatControl();
  lag->AddKey(0, 1.0f);
  lag->AddKey(100 * kTpf, 2.0f);
  ASSERT_TRUE(mod->pblock->SetController(pb_old_frames, 0, lag));
  // At frame 50 the lag is 1.5 frames: samples at t, t - 1 frame, then the oldest point t - 1.5 frames.
  EXPECT_EQ(SampleTimes(EvalMesh(node, 8000), 8000), (std::vector<int>{8000, 7840, 7760}));
}

TEST_F(SampleTiming, NoLagGivesTwoEqualTimesAndZeroAreaFaces) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(0, 10, 0)}, false), &mod);
  Set(mod, pb_old_frames, 0);
  Set(mod, pb_spline_steps, 0);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumVerts(), 4);
  ASSERT_EQ(m.getNumFaces(), 2);
  EXPECT_EQ(m.verts[0], m.verts[2]);
  EXPECT_EQ(m.verts[1], m.verts[3]);
}

TEST_F(SampleTiming, AnchoredTrailRunsFromTheRangeStartAndRepeatsThePresent) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_moving_or_still, 1);
  EXPECT_EQ(SampleTimes(EvalMesh(node, 800), 800), (std::vector<int>{0, 160, 320, 480, 640, 800, 800}));
  // Between whole steps the present is appended after the last whole step.
  EXPECT_EQ(SampleTimes(EvalMesh(node, 900), 900), (std::vector<int>{0, 160, 320, 480, 640, 800, 900}));
}

TEST_F(SampleTiming, AnchoredRangeOfItsOwnIsClampedToThePresent) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_moving_or_still, 1);
  Set(mod, pb_userange, 1);
  Set(mod, pb_start_frame, 10 * kTpf);
  Set(mod, pb_end_frame, 12 * kTpf);
  EXPECT_EQ(SampleTimes(EvalMesh(node, 1760), 1760), (std::vector<int>{1600, 1760, 1760}));
  EXPECT_EQ(SampleTimes(EvalMesh(node, 3200), 3200), (std::vector<int>{1600, 1760, 1920, 1920}));
  // Before the start frame there is no trail: the fallback triangle.
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 1000)));
}

TEST_F(SampleTiming, AnchoredWithoutRangeFailsBeforeTheAnimationRange) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_moving_or_still, 1);
  ip()->SetAnimRange(Interval(10 * kTpf, 100 * kTpf));
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 5 * kTpf)));
  EXPECT_FALSE(IsFallbackTriangle(EvalMesh(node, 11 * kTpf)));
}

TEST_F(SampleTiming, RangeWhoseStartIsAfterItsEndFails) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_userange, 1);
  Set(mod, pb_start_frame, 20 * kTpf);
  Set(mod, pb_end_frame, 10 * kTpf);
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 30 * kTpf)));
}

TEST_F(SampleTiming, SettingsThatWouldNeedBillionsOfSamplesFailInsteadOfExhaustingMemory) {
  Wakeweave* mod;
  INode* node = MovingNode(Dot(), &mod);
  Set(mod, pb_old_frames, 100000);
  Set(mod, pb_segments_per_frame, 10000.0f);
  EXPECT_TRUE(IsFallbackTriangle(EvalMesh(node, 1600)));
}

TEST_F(SampleTiming, StationaryNodeGivesAnEmptyMesh) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Still", Circle(5.0f), mod);
  Mesh& m = EvalMesh(node, 1600);
  EXPECT_EQ(m.getNumVerts(), 0);
  EXPECT_EQ(m.getNumFaces(), 0);
}
