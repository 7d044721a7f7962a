// Normals from smoothing groups: which corners share a normal, how faces weigh in, and what zero-area faces do.
#include <gtest/gtest.h>

#include <cmath>

#include "Normals.h"

namespace {

Mesh MakeMesh(const std::vector<Point3>& verts, const std::vector<std::array<int, 3>>& faces,
              const std::vector<DWORD>& groups) {
  Mesh m;
  m.setNumVerts(int(verts.size()));
  for (size_t i = 0; i < verts.size(); ++i) m.setVert(int(i), verts[i]);
  m.setNumFaces(int(faces.size()));
  for (size_t f = 0; f < faces.size(); ++f) {
    m.faces[f] = Face();
    m.faces[f].setVerts(DWORD(faces[f][0]), DWORD(faces[f][1]), DWORD(faces[f][2]));
    m.faces[f].setSmGroup(groups[f]);
  }
  return m;
}

Point3 CornerNormal(const MeshNormals& n, int face, int corner) {
  return n.normals.at(n.cornerNormal.at(size_t(face))[size_t(corner)]);
}

Point3 FaceNormal(const Mesh& m, int f) {
  const Point3 &a = m.verts[m.faces[f].v[0]], &b = m.verts[m.faces[f].v[1]], &c = m.verts[m.faces[f].v[2]];
  return ((b - a) ^ (c - a)).Normalize();
}

void ExpectNear(const Point3& got, const Point3& want, const char* what) {
  EXPECT_TRUE(got.Equals(want, 1e-6f)) << what << ": (" << got.x << ", " << got.y << ", " << got.z << ") want ("
                                       << want.x << ", " << want.y << ", " << want.z << ")";
}

void ExpectAllUnit(const MeshNormals& n) {
  for (const Point3& p : n.normals) {
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    EXPECT_NEAR(p.Length(), 1.0f, 1e-6f);
  }
}

// A hinge along the Y axis: face 0 lies in the XY plane (normal +Z), face 1, twice as wide, is folded up by 90
// degrees into the YZ plane, facing +X. They share vertices 0 (origin) and 1 (0, 1, 0).
Mesh Hinge(DWORD g0, DWORD g1) {
  return MakeMesh({{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 2}}, {{{0, 2, 1}}, {{0, 1, 3}}}, {g0, g1});
}

TEST(Normals, FacesSharingAGroupShareAnAreaWeightedNormalAtSharedVertices) {
  const Mesh m = Hinge(1, 1);
  ASSERT_TRUE(FaceNormal(m, 0).Equals({0, 0, 1}));
  ASSERT_TRUE(FaceNormal(m, 1).Equals({1, 0, 0}));
  const MeshNormals n = ComputeNormals(m);
  ExpectAllUnit(n);
  // Face 1 has twice the area of face 0: the shared normal leans twice as far towards +X as towards +Z.
  const Point3 shared = Point3(2.0f, 0.0f, 1.0f).Normalize();
  for (auto [f, k] : {std::pair{0, 0}, {0, 2}, {1, 0}, {1, 1}}) ExpectNear(CornerNormal(n, f, k), shared, "shared");
  EXPECT_EQ(n.cornerNormal[0][0], n.cornerNormal[1][0]) << "one normal, listed once";
  // The corners no other face touches keep their face's own normal.
  ExpectNear(CornerNormal(n, 0, 1), {0, 0, 1}, "face 0 alone");
  ExpectNear(CornerNormal(n, 1, 2), {1, 0, 0}, "face 1 alone");
  EXPECT_EQ(n.normals.size(), 3u);
}

TEST(Normals, DifferentGroupsAndGroupZeroAreSplit) {
  for (auto [g0, g1] : {std::pair<DWORD, DWORD>{1, 2}, {0, 0}, {0, 1}, {1, 0}, {4, 8}}) {
    const MeshNormals n = ComputeNormals(Hinge(g0, g1));
    for (int k = 0; k < 3; ++k) {
      ExpectNear(CornerNormal(n, 0, k), {0, 0, 1}, "face 0");
      ExpectNear(CornerNormal(n, 1, k), {1, 0, 0}, "face 1");
    }
    EXPECT_EQ(n.normals.size(), 2u) << g0 << " " << g1;
  }
  // Any one shared bit is enough.
  const MeshNormals n = ComputeNormals(Hinge(0x5, 0x84));
  EXPECT_EQ(n.cornerNormal[0][0], n.cornerNormal[1][0]);
}

// A fan of three faces around vertex 0, each in its own plane.
Mesh Fan(DWORD g0, DWORD g1, DWORD g2) {
  return MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 1}, {0, -1, 1}}, {{{0, 1, 2}}, {{0, 2, 3}}, {{0, 4, 1}}},
                  {g0, g1, g2});
}

TEST(Normals, SharedBitsJoinTransitivelyWhateverTheFaceOrder) {
  // Face 0 has bit 1, face 2 bit 2, face 1 both: all three share one normal at vertex 0 however they are listed.
  for (auto [a, b, c] : {std::tuple<DWORD, DWORD, DWORD>{1, 3, 2}, {1, 2, 3}, {3, 1, 2}}) {
    const Mesh m = Fan(a, b, c);
    const MeshNormals n = ComputeNormals(m);
    EXPECT_EQ(n.cornerNormal[0][0], n.cornerNormal[1][0]) << a << b << c;
    EXPECT_EQ(n.cornerNormal[0][0], n.cornerNormal[2][0]) << a << b << c;
    const Point3 sum = ((m.verts[1] - m.verts[0]) ^ (m.verts[2] - m.verts[0])) +
                       ((m.verts[2] - m.verts[0]) ^ (m.verts[3] - m.verts[0])) +
                       ((m.verts[4] - m.verts[0]) ^ (m.verts[1] - m.verts[0]));
    ExpectNear(CornerNormal(n, 0, 0), sum.Normalize(), "the three faces' sum");
  }
  // Bits 1 and 2 with nothing holding both: two normals at vertex 0.
  const MeshNormals n = ComputeNormals(Fan(1, 2, 2));
  EXPECT_NE(n.cornerNormal[0][0], n.cornerNormal[1][0]);
  EXPECT_EQ(n.cornerNormal[1][0], n.cornerNormal[2][0]);
}

TEST(Normals, ZeroAreaFacesNeitherBiasNorBridgeAndTakeANeighboursNormal) {
  const MeshNormals before = ComputeNormals(Fan(1, 2, 2));
  // Add a face collapsed onto vertex 0 and 1 holding both bits, and one collapsed to a single point.
  Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 1}, {0, -1, 1}, {0.5f, 0.0f, 0.0f}},
                    {{{0, 1, 2}}, {{0, 2, 3}}, {{0, 4, 1}}, {{0, 5, 1}}, {{0, 0, 0}}}, {1, 2, 2, 3, 1});
  const MeshNormals n = ComputeNormals(m);
  ExpectAllUnit(n);
  for (int f = 0; f < 3; ++f)
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(CornerNormal(n, f, k), CornerNormal(before, f, k)) << "face " << f << " corner " << k;
  // The sliver's corner at vertex 0 takes a set it shares a bit with; the point face takes bit 1's set.
  const Point3 s = CornerNormal(n, 3, 0);
  EXPECT_TRUE(s == CornerNormal(n, 0, 0) || s == CornerNormal(n, 1, 0));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(CornerNormal(n, 4, k), CornerNormal(n, 0, 0));
  // At vertex 5 only the sliver lies: nothing to borrow, so the fallback.
  ExpectNear(CornerNormal(n, 3, 1), {0, 0, 1}, "fallback");
}

TEST(Normals, ZeroAreaFlatFaceTakesTheSumAroundTheVertex) {
  // Group 0 shares with nobody, so the collapsed face's corners get the faces around each vertex.
  const Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}}, {{{0, 1, 2}}, {{0, 3, 1}}}, {1, 0});
  const MeshNormals n = ComputeNormals(m);
  ExpectAllUnit(n);
  ExpectNear(CornerNormal(n, 1, 0), {0, 0, 1}, "vertex 0");
  ExpectNear(CornerNormal(n, 1, 2), {0, 0, 1}, "vertex 1");
  ExpectNear(CornerNormal(n, 1, 1), {0, 0, 1}, "vertex 3: nothing around, the fallback");
}

TEST(Normals, ASetThatCancelsOutLeavesEachFaceItsOwnNormal) {
  // The same triangle twice, wound both ways: a ribbon folded flat onto itself.
  const Mesh m = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{{0, 1, 2}}, {{0, 2, 1}}}, {1, 1});
  const MeshNormals n = ComputeNormals(m);
  ExpectAllUnit(n);
  for (int k = 0; k < 3; ++k) {
    ExpectNear(CornerNormal(n, 0, k), {0, 0, 1}, "front");
    ExpectNear(CornerNormal(n, 1, k), {0, 0, -1}, "back");
  }
}

TEST(Normals, EmptyMeshAndBadIndices) {
  Mesh empty;
  const MeshNormals n = ComputeNormals(empty);
  EXPECT_TRUE(n.normals.empty());
  EXPECT_TRUE(n.cornerNormal.empty());
  Mesh bad = Hinge(1, 1);
  bad.faces[1].v[2] = 4;
  EXPECT_THROW(ComputeNormals(bad), std::runtime_error);
}

}  // namespace
