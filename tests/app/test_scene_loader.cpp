// The scene loader in-process: what a scene file builds in the host, checked through the host's own interfaces.
#include "loader_fixture.h"

TEST_F(SceneLoader, SceneSettingsReachTheHost) {
  LoadedScene s = Load(R"({"ticksPerFrame": 10, "animationRange": [2, 30.5], "frame": 7.25, "nodes": []})");
  EXPECT_EQ(GetTicksPerFrame(), 10);
  EXPECT_EQ(ip()->GetAnimRange().Start(), 20);
  EXPECT_EQ(ip()->GetAnimRange().End(), 305);
  EXPECT_EQ(ip()->GetTime(), 73);  // 72.5 ticks, half away from zero
  EXPECT_EQ(s.time, 73);
  EXPECT_TRUE(s.nodes.empty());

  Load(R"({"nodes": []})");
  EXPECT_EQ(GetTicksPerFrame(), 160);
  EXPECT_EQ(ip()->GetAnimRange().Start(), 0);
  EXPECT_EQ(ip()->GetAnimRange().End(), 100 * 160);
  EXPECT_EQ(ip()->GetTime(), 0);
}

TEST_F(SceneLoader, FramesRoundHalfwayAwayFromZeroAndMustFitATimeValue) {
  EXPECT_EQ(FramesToTicks(2.5, 1, "x"), 3);
  EXPECT_EQ(FramesToTicks(-2.5, 1, "x"), -3);
  EXPECT_EQ(FramesToTicks(0.4, 1, "x"), 0);
  EXPECT_EQ(FramesToTicks(1.0 / 3.0, 160, "x"), 53);
  EXPECT_EQ(FramesToTicks(-1.0 / 3.0, 160, "x"), -53);
  EXPECT_EQ(FramesToTicks(13421772.0, 160, "x"), 2147483520);
  EXPECT_THROW(FramesToTicks(13421773.0, 160, "x"), SceneError);
  EXPECT_THROW(FramesToTicks(-13421773.0, 160, "x"), SceneError);
}

TEST_F(SceneLoader, NodeTransformsFollowTheFileInRowVectorOrder) {
  LoadedScene s = Load(R"({"nodes": [{
      "name": "N",
      "position": {"keys": [[0, [0, 0, 0]], [10, [100, 0, 0]]]},
      "rotation": [0, 0, 2, 90],
      "scale": [2, 2, 2],
      "offset": {"position": [5, 0, 0], "rotation": [1, 0, 0, 0], "scale": [1, 1, 1]}}]})");
  ASSERT_EQ(s.nodes.size(), 1u);
  INode* n = s.nodes[0];
  EXPECT_STREQ(n->GetName(), "N");
  EXPECT_EQ(n->GetObjectRef(), nullptr);
  // Scale, then a quarter turn counter-clockwise about +Z (the axis is normalised), then the position.
  ExpectPoint(Point3(1, 0, 0) * n->GetNodeTM(5 * 160), Point3(50, 2, 0));
  ExpectPoint(Point3(0, 1, 0) * n->GetNodeTM(10 * 160), Point3(98, 0, 0));
  // Held after the last key.
  ExpectPoint(Point3(0, 0, 0) * n->GetNodeTM(20 * 160), Point3(100, 0, 0));
  // The offset goes before the node transform.
  ExpectPoint(Point3(0, 0, 0) * n->GetObjectTM(0), Point3(0, 10, 0));
}

TEST_F(SceneLoader, RotationKeysTurnTheShortWay) {
  LoadedScene s = Load(R"({"nodes": [{"name": "R",
      "rotation": {"keys": [[0, [0, 0, 1, 0]], [10, [0, 0, 1, 90]]]}}]})");
  // Halfway: 45 degrees about +Z.
  const float h = std::sqrt(0.5f);
  ExpectPoint(Point3(1, 0, 0) * s.nodes[0]->GetNodeTM(5 * 160), Point3(h, h, 0.0f));
}

TEST_F(SceneLoader, SplineKnotsKeepTheirHandlesAndCornersSitOnTheirPoints) {
  LoadedScene s = Load(R"({"nodes": [{"name": "S", "object": {"type": "spline", "splines": [
      {"closed": true, "knots": [[1, 2, 3], {"p": [4, 0, 0], "in": [3, 1, 0], "out": [5, -1, 0]}]},
      {"knots": [[7, 7, 7]]}]}}]})");
  auto* shape = dynamic_cast<SplineShape*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(shape, nullptr);
  ASSERT_EQ(shape->shape.SplineCount(), 2);
  Spline3D* a = shape->shape.GetSpline(0);
  EXPECT_TRUE(a->Closed());
  ASSERT_EQ(a->KnotCount(), 2);
  EXPECT_EQ(a->GetKnotType(0), KTYPE_CORNER);
  EXPECT_EQ(a->GetInVec(0), Point3(1, 2, 3));
  EXPECT_EQ(a->GetOutVec(0), Point3(1, 2, 3));
  EXPECT_EQ(a->GetKnotType(1), KTYPE_BEZIER_CORNER);
  EXPECT_EQ(a->GetKnotPoint(1), Point3(4, 0, 0));
  EXPECT_EQ(a->GetInVec(1), Point3(3, 1, 0));
  EXPECT_EQ(a->GetOutVec(1), Point3(5, -1, 0));
  EXPECT_FALSE(shape->shape.GetSpline(1)->Closed());
  EXPECT_EQ(shape->shape.GetSpline(1)->KnotCount(), 1);
}

TEST_F(SceneLoader, CircleIsFourBezierKnotsCounterClockwiseFromPlusX) {
  LoadedScene s = Load(R"({"nodes": [{"name": "C", "object": {"type": "circle", "radius": 10}}]})");
  auto* shape = dynamic_cast<SplineShape*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(shape, nullptr);
  ASSERT_EQ(shape->shape.SplineCount(), 1);
  Spline3D* sp = shape->shape.GetSpline(0);
  ASSERT_EQ(sp->KnotCount(), 4);
  EXPECT_TRUE(sp->Closed());
  const float h = 5.522847498f;  // kappa x r
  const Point3 p[4] = {Point3(10, 0, 0), Point3(0, 10, 0), Point3(-10, 0, 0), Point3(0, -10, 0)};
  const Point3 out[4] = {Point3(10.0f, h, 0.0f), Point3(-h, 10.0f, 0.0f), Point3(-10.0f, -h, 0.0f),
                         Point3(h, -10.0f, 0.0f)};
  const Point3 in[4] = {Point3(10.0f, -h, 0.0f), Point3(h, 10.0f, 0.0f), Point3(-10.0f, h, 0.0f),
                        Point3(-h, -10.0f, 0.0f)};
  for (int k = 0; k < 4; ++k) {
    ExpectPoint(sp->GetKnotPoint(k), p[k], 0.0f);
    ExpectPoint(sp->GetOutVec(k), out[k]);
    ExpectPoint(sp->GetInVec(k), in[k]);
  }
}

TEST_F(SceneLoader, KeyedSplinesInterpolateEachCoordinate) {
  LoadedScene s = Load(R"({"nodes": [{"name": "K", "object": {"type": "spline", "keys": [
      [0, [{"knots": [[0, 0, 0], [0, 10, 0]]}]],
      [4, [{"knots": [[8, 0, 0], [0, 10, 4]]}]]]}}]})");
  auto* shape = dynamic_cast<SplineShape*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(shape, nullptr);
  ASSERT_EQ(shape->NumShapeKeys(), 2);
  BezierShape at;
  shape->GetShapeAt(1 * 160, at);
  ExpectPoint(at.GetSpline(0)->GetKnotPoint(0), Point3(2, 0, 0));
  ExpectPoint(at.GetSpline(0)->GetKnotPoint(1), Point3(0, 10, 1));
}

TEST_F(SceneLoader, ModifiersStackInFileOrderWithTheirParameters) {
  LoadedScene s = Load(R"({"ticksPerFrame": 10, "nodes": [
      {"name": "Plain", "object": {"type": "circle", "radius": 1}},
      {"name": "T", "object": {"type": "circle", "radius": 1}, "modifiers": [
        {"class": "Wakeweave", "params": {"spline steps": 2, "end frame": 2.5, "flipNormals": true,
                                          "segments per frame": 0.5, "pfEventList": ["Plain", "T"]}},
        {"class": "Wakeweave"}]}]})");
  ASSERT_EQ(s.nodes.size(), 2u);
  ASSERT_EQ(s.nodesWithWakeweave.size(), 1u);
  EXPECT_EQ(s.nodesWithWakeweave[0], s.nodes[1]);
  auto* d = dynamic_cast<IDerivedObject*>(s.nodes[1]->GetObjectRef());
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(d->NumModifiers(), 2);
  IParamBlock2* top = d->GetModifier(0)->GetParamBlockByID(0);
  IParamBlock2* bottom = d->GetModifier(1)->GetParamBlockByID(0);
  EXPECT_EQ(top->GetInt(pb_spline_steps), 2);
  EXPECT_EQ(top->GetInt(pb_flip_normals), 1);
  EXPECT_FLOAT_EQ(top->GetFloat(pb_segments_per_frame), 0.5f);
  EXPECT_EQ(top->GetInt(pb_end_frame), 25);  // frames, converted at the scene's 10 ticks per frame
  ASSERT_EQ(top->Count(pb_pf_event_list), 2);
  EXPECT_EQ(top->GetINode(pb_pf_event_list, 0, 0), s.nodes[0]);
  EXPECT_EQ(top->GetINode(pb_pf_event_list, 0, 1), s.nodes[1]);
  // Untouched parameters keep their defaults; "end frame" was fixed when the plug-in loaded at 160.
  EXPECT_EQ(bottom->GetInt(pb_spline_steps), 6);
  EXPECT_EQ(bottom->GetInt(pb_end_frame), 160);
}

TEST_F(SceneLoader, AnimatedParameterTakesItsValueFromTheKeysNotFromParams) {
  LoadedScene s = Load(R"({"nodes": [{"name": "T", "object": {"type": "circle", "radius": 1}, "modifiers": [
      {"class": "Wakeweave", "params": {"old_frames": 50},
       "animate": {"old_frames": {"keys": [[0, 3], [10, 23]]}}}]}]})");
  auto* d = dynamic_cast<IDerivedObject*>(s.nodes[0]->GetObjectRef());
  ASSERT_NE(d, nullptr);
  IParamBlock2* pb = d->GetModifier(0)->GetParamBlockByID(0);
  ASSERT_NE(pb->GetController(pb_old_frames), nullptr);
  EXPECT_EQ(pb->GetInt(pb_old_frames, 0), 3);
  EXPECT_EQ(pb->GetInt(pb_old_frames, 5 * 160), 13);
  EXPECT_EQ(pb->GetInt(pb_old_frames, 30 * 160), 23);
}

TEST_F(SceneLoader, ErrorsNameTheJsonPath) {
  EXPECT_EQ(
      LoadError(R"({"nodes": [{"name": "A", "position": {"keys": [[0, [0,0,0]], [2, [1,0,0]], [1, [2,0,0]]]}}]})"),
      "nodes[0].position.keys[2][0]: key frames must be ascending (this key is not after the one before)");
  EXPECT_EQ(LoadError(R"({"nodes": [{"name": "A", "object": {"type": "circle", "radius": 1},
      "modifiers": [{"class": "Wakeweave", "params": {"spline steps": 10001}}]}]})"),
            "nodes[0].modifiers[0].params[\"spline steps\"]: 10001 is out of range (0 to 10000)");
  EXPECT_EQ(LoadError(R"({"nodes": [{"name": "A"}, {"name": "A"}]})"), "nodes[1].name: duplicate node name \"A\"");
  EXPECT_EQ(LoadError(R"({"nodes": [], "nodes": []})"), "nodes: duplicate key \"nodes\"");
  EXPECT_EQ(LoadError(R"({"nodes": [{"name": "A", "offset": {"position": [0, 0, 0], "position": [1, 1, 1]}}]})"),
            "nodes[0].offset.position: duplicate key \"position\"");
}
