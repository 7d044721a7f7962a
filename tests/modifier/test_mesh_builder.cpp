// Vertices and faces of the trail: where the copies of the shape go, how they are joined, material ids.
#include <cstring>

#include "trail_scene.h"

class MeshBuilder : public TrailTest {};

namespace {

void ExpectNear(const Point3& a, const Point3& b, float eps) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

std::vector<int> FaceVerts(const Mesh& m, int f) {
  return {int(m.faces[f].v[0]), int(m.faces[f].v[1]), int(m.faces[f].v[2])};
}
std::vector<int> EdgeVis(const Mesh& m, int f) {
  return {m.faces[f].getEdgeVis(0) ? 1 : 0, m.faces[f].getEdgeVis(1) ? 1 : 0, m.faces[f].getEdgeVis(2) ? 1 : 0};
}

}  // namespace

TEST_F(MeshBuilder, EachRowIsTheShapeWhereItsObjectWasInTheObjectSpaceOfThePresent) {
  Wakeweave* mod = NewModifier();
  INode* node = AddNode("Circle", Circle(10.0f), mod);
  KeyPosition(node, 0, Point3(0.0f, 0.0f, 0.0f));
  KeyPosition(node, 20 * kTpf, Point3(200.0f, 50.0f, 10.0f));
  KeyRotation(node, 0, QFromAngAxis(0.0f, Point3(0, 0, 1)));
  KeyRotation(node, 20 * kTpf, QFromAngAxis(DegToRad(90.0f), Point3(0, 0, 1)));
  node->SetObjOffsetPos(Point3(5.0f, 0.0f, 0.0f));
  node->SetObjOffsetRot(QFromAngAxis(DegToRad(30.0f), Point3(1, 0, 0)));
  mod->pblock->SetValue(pb_spline_steps, 0, 0);  // the four knots only
  mod->pblock->SetValue(pb_old_frames, 0, 4);

  const TimeValue t = 12 * kTpf;
  Mesh& m = EvalMesh(node, t);
  const Point3 knots[4] = {Point3(10, 0, 0), Point3(0, 10, 0), Point3(-10, 0, 0), Point3(0, -10, 0)};
  ASSERT_EQ(m.getNumVerts(), 4 * 5);
  const Matrix3 toPresent = Inverse(node->GetObjectTM(t));
  for (int l = 0; l < 5; ++l) {
    const TimeValue g = t - l * kTpf;
    const Matrix3 then = node->GetObjectTM(g);
    for (int k = 0; k < 4; ++k) ExpectNear(m.verts[l * 4 + k], knots[k] * then * toPresent, 1e-3f);
  }
  // The newest row is the shape itself.
  for (int k = 0; k < 4; ++k) ExpectNear(m.verts[k], knots[k], 1e-4f);
}

TEST_F(MeshBuilder, OpenPolylineStripsAndTheirFlippedWinding) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(0, 1, 0), Point3(0, 2, 0), Point3(0, 3, 0)}, false), &mod);
  Set(mod, pb_spline_steps, 0);
  Set(mod, pb_old_frames, 2);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumVerts(), 12);
  ASSERT_EQ(m.getNumFaces(), 12);
  EXPECT_EQ(FaceVerts(m, 0), (std::vector<int>{0, 1, 5}));
  EXPECT_EQ(FaceVerts(m, 1), (std::vector<int>{0, 5, 4}));
  EXPECT_EQ(EdgeVis(m, 0), (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(EdgeVis(m, 1), (std::vector<int>{0, 1, 1}));
  // Second interval starts on the second row.
  EXPECT_EQ(FaceVerts(m, 6), (std::vector<int>{4, 5, 9}));
  for (int f = 0; f < m.getNumFaces(); ++f) {
    EXPECT_EQ(m.faces[f].smGroup, 1u);
    EXPECT_EQ(m.faces[f].getMatID(), 0);
  }

  Set(mod, pb_flip_normals, 1);
  Mesh& flipped = EvalMesh(node, 1600);
  EXPECT_EQ(FaceVerts(flipped, 0), (std::vector<int>{0, 5, 1}));
  EXPECT_EQ(FaceVerts(flipped, 1), (std::vector<int>{0, 4, 5}));
  EXPECT_EQ(EdgeVis(flipped, 0), (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(EdgeVis(flipped, 1), (std::vector<int>{1, 1, 0}));
}

TEST_F(MeshBuilder, ClosedPolylineWrapsItsLastSegmentToTheFirstPoint) {
  Wakeweave* mod;
  INode* node = MovingNode(Polyline({Point3(0, 0, 0), Point3(1, 0, 0), Point3(1, 1, 0), Point3(0, 1, 0)}, true), &mod);
  Set(mod, pb_spline_steps, 0);
  Set(mod, pb_old_frames, 2);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumVerts(), 12);
  ASSERT_EQ(m.getNumFaces(), 2 * 4 * 2);
  EXPECT_EQ(FaceVerts(m, 6), (std::vector<int>{3, 0, 4}));
  EXPECT_EQ(FaceVerts(m, 7), (std::vector<int>{3, 4, 7}));
  EXPECT_EQ(FaceVerts(m, 14), (std::vector<int>{7, 4, 8}));
}

TEST_F(MeshBuilder, TwoPolylinesOfOneSplineTrailShareMaterialZero) {
  SplineShape* shape = Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false);
  AddPolyline(shape, {Point3(5, 0, 0), Point3(5, 1, 0), Point3(5, 2, 0)}, false);
  Wakeweave* mod;
  INode* node = MovingNode(shape, &mod);
  Set(mod, pb_spline_steps, 0);
  Set(mod, pb_nummtls, 2);
  Mesh& m = EvalMesh(node, 1600);
  ASSERT_EQ(m.getNumFaces(), (2 * 1 + 2 * 2) * 3);
  for (int f = 0; f < m.getNumFaces(); ++f) EXPECT_EQ(m.faces[f].getMatID(), 0);
  // The second polyline's vertices follow all rows of the first.
  EXPECT_EQ(FaceVerts(m, 6), (std::vector<int>{8, 9, 12}));
}

class ParticleMeshBuilder : public TrailTest {
 protected:
  // A static node carrying a one-point shape at local offset p; its modifier draws particle trails.
  Wakeweave* ParticleScene(const Point3& p, int flow, INode** nodeOut) {
    Wakeweave* mod = NewModifier();
    INode* node = AddNode("Emitter", Polyline({p}, false), mod);
    mod->pblock->SetValue(pb_particle_trails_b, 0, 1);
    mod->pblock->SetValue(pb_spline_steps, 0, 0);
    recording.setParticleFlow(flow);
    if (nodeOut) *nodeOut = node;
    return mod;
  }
  // Hands the lives added to `recording` to the modifier, as a scene load does.
  void Load(Wakeweave* mod) { ASSERT_EQ(LoadRecording(mod, recording), IO_OK); }

  ParticleSystemState recording;
};

TEST_F(ParticleMeshBuilder, OneTrailPerLifeInterpolatedBetweenKeys) {
  INode* node;
  Wakeweave* mod = ParticleScene(Point3(0, 0, 0), 1, &node);
  for (int i = 0; i < 3; ++i)
    recording.addParticle(Life({{0, Point3(0.0f, float(i), 0.0f)},
                                {10, Point3(100.0f, float(i), 0.0f)},
                                {20, Point3(200.0f, float(i), 0.0f)}}));
  Load(mod);
  mod->pblock->SetValue(pb_segments_per_frame, 0, 0.5f);  // a sample every 2 frames
  mod->pblock->SetValue(pb_old_frames, 0, 4);
  Mesh& m = EvalMesh(node, 15 * kTpf);
  ASSERT_EQ(m.getNumVerts(), 3 * 3);  // 3 lives x samples at 15, 13, 11
  for (int i = 0; i < 3; ++i) {
    ExpectNear(m.verts[i * 3 + 0], Point3(150.0f, float(i), 0.0f), 1e-3f);
    ExpectNear(m.verts[i * 3 + 1], Point3(130.0f, float(i), 0.0f), 1e-3f);
    ExpectNear(m.verts[i * 3 + 2], Point3(110.0f, float(i), 0.0f), 1e-3f);
  }
}

TEST_F(ParticleMeshBuilder, MaterialIdsFollowTheTrailIndexDrawnOrNot) {
  INode* node;
  ParticleScene(Point3(0, 0, 0), 1, &node);
  // A two-point shape so that every trail has faces.
  node->SetObjectRef(nullptr);
  IDerivedObject* d = CreateDerivedObject(Polyline({Point3(0, 0, 0), Point3(0, 1, 0)}, false));
  Wakeweave* mod2 = NewModifier();
  d->AddModifier(mod2);
  node->SetObjectRef(d);
  mod2->pblock->SetValue(pb_particle_trails_b, 0, 1);
  mod2->pblock->SetValue(pb_spline_steps, 0, 0);
  mod2->pblock->SetValue(pb_nummtls, 0, 3);
  for (int i = 0; i < 6; ++i)
    recording.addParticle(Life({{0, Point3(0.0f, 0.0f, float(i))}, {20, Point3(200.0f, 0.0f, float(i))}}));
  Load(mod2);
  auto ids = [&] {
    Mesh& m = EvalMesh(node, 10 * kTpf);
    std::vector<int> out;
    for (int f = 0; f < m.getNumFaces(); f += 6) out.push_back(m.faces[f].getMatID());  // 6 faces per trail
    return out;
  };
  EXPECT_EQ(ids(), (std::vector<int>{0, 1, 2, 0, 1, 2}));
  mod2->pblock->SetValue(pb_skippart, 0, 2);
  EXPECT_EQ(ids(), (std::vector<int>{0, 2, 1}));
  // Starting at particle 3, every 2nd: trails 2, 4 (0-based).
  mod2->pblock->SetValue(pb_startpart, 0, 3);
  EXPECT_EQ(ids(), (std::vector<int>{2, 1}));
}

TEST_F(ParticleMeshBuilder, LegacyTrailsFaceTheirTravelEvenAfterStandingStill) {
  INode* node;
  // A point one unit along local Z: it lands one unit along the direction found for each sample.
  Wakeweave* mod = ParticleScene(Point3(0, 0, 1), 0, &node);
  std::vector<std::pair<int, Point3>> keys;
  for (int f = 0; f <= 10; ++f) keys.push_back({f, Point3(f < 7 ? float(f - 7) * 10.0f : 0.0f, 0.0f, 0.0f)});
  recording.addParticle(Life(keys));
  Load(mod);
  mod->pblock->SetValue(pb_old_frames, 0, 5);
  Mesh& m = EvalMesh(node, 10 * kTpf);
  ASSERT_EQ(m.getNumVerts(), 6);  // samples at frames 10 .. 5
  const float xs[6] = {0, 0, 0, 0, -10, -20};
  // Newest first: the direction of each sample points towards the older, distinct positions (-X), also for
  // the first samples where the particle stood still.
  for (int l = 0; l < 6; ++l) ExpectNear(m.verts[l], Point3(xs[l] - 1.0f, 0.0f, 0.0f), 1e-4f);
}

TEST_F(ParticleMeshBuilder, LegacyFrameKeepsLocalYHorizontal) {
  INode* node;
  Wakeweave* mod = ParticleScene(Point3(1, 0, 0), 0, &node);
  recording.addParticle(Life({{0, Point3(0, 0, 0)}, {10, Point3(100, 0, 0)}}));
  Load(mod);
  Mesh& m = EvalMesh(node, 10 * kTpf);
  ASSERT_GE(m.getNumVerts(), 1);
  // The direction found for the newest sample points to the older positions (-X). The frame puts local Z
  // along it and local Y horizontal, so local X points straight down: (0, 0, -1) from the particle.
  ExpectNear(m.verts[0], Point3(100.0f, 0.0f, -1.0f), 1e-4f);
}

TEST_F(ParticleMeshBuilder, VerticesAreThePointThroughTheKeyAndThePresentsInverseToTheBit) {
  // Keys that hold -0 (which a product with the identity turns into +0), a shape point of -0 and a node at
  // the origin: every vertex is exactly point * (key * inverse of the present's object transform).
  INode* node;
  Wakeweave* mod = ParticleScene(Point3(-0.0f, -0.0f, -0.0f), 1, &node);
  ParticleState life;
  for (int f = 0; f <= 6; ++f) {
    Matrix3 tm = f % 2 ? RotateZMatrix(DegToRad(30.0f * f)) : Matrix3();
    const float minusZero = -0.0f;
    tm.SetTrans(Point3(f % 3 ? minusZero : float(f), minusZero, f % 2 ? 2.0f : minusZero));
    life.addKey(ParticlePositionKey(f * kTpf, tm, 0));
  }
  recording.addParticle(life);
  Load(mod);
  mod->pblock->SetValue(pb_old_frames, 0, 6);
  const TimeValue t = 6 * kTpf;
  Mesh& m = EvalMesh(node, t);
  ASSERT_EQ(m.getNumVerts(), 7);
  const Matrix3 toObject = Inverse(node->GetObjectTM(t));
  for (int l = 0; l < 7; ++l) {
    const Point3 want = Point3(-0.0f, -0.0f, -0.0f) * (life.key(6 - l).tm * toObject);
    EXPECT_EQ(std::memcmp(&m.verts[l], &want, sizeof want), 0)
        << "sample " << l << ": " << m.verts[l].x << " " << m.verts[l].y << " " << m.verts[l].z;
  }
}

TEST_F(ParticleMeshBuilder, ParticleFlowTrailsKeepTheRecordedRotation) {
  INode* node;
  Wakeweave* mod = ParticleScene(Point3(1, 0, 0), 1, &node);
  ParticleState life;
  Matrix3 a = RotateZMatrix(DegToRad(90.0f));
  a.Translate(Point3(0, 0, 0));
  Matrix3 b = RotateZMatrix(DegToRad(90.0f));
  b.Translate(Point3(50, 0, 0));
  life.addKey(ParticlePositionKey(0, a, 0));
  life.addKey(ParticlePositionKey(10 * kTpf, b, 0));
  recording.addParticle(life);
  Load(mod);
  Mesh& m = EvalMesh(node, 10 * kTpf);
  ASSERT_GE(m.getNumVerts(), 1);
  ExpectNear(m.verts[0], Point3(50.0f, 1.0f, 0.0f), 1e-4f);
}
