// Meshes: face attributes, sizes and mapping channels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assert_capture.h"
#include "max.h"

TEST(Face, MaterialIdSmoothingAndEdgeVisibilityShareTheFlags) {
  Face f;
  f.setVerts(3, 1, 2);
  f.setSmGroup(0x80000001u);
  f.setEdgeVisFlags(EDGE_VIS, EDGE_INVIS, EDGE_VIS);
  f.setMatID(0xBEEF);
  EXPECT_EQ(f.flags, (0xBEEFu << 16) | EDGE_A | EDGE_C);
  EXPECT_EQ(f.getMatID(), 0xBEEF);
  EXPECT_TRUE(f.getEdgeVis(0));
  EXPECT_FALSE(f.getEdgeVis(1));
  EXPECT_TRUE(f.getEdgeVis(2));
  // Changing one field leaves the others.
  f.setMatID(2);
  f.setEdgeVis(1, EDGE_VIS);
  f.setEdgeVis(0, EDGE_INVIS);
  EXPECT_EQ(f.getMatID(), 2);
  EXPECT_EQ(f.flags & EDGE_ALL, DWORD(EDGE_B | EDGE_C));
  f.setEdgeVisFlags(EDGE_INVIS, EDGE_INVIS, EDGE_INVIS);
  EXPECT_EQ(f.getMatID(), 2);
  EXPECT_EQ(f.getSmGroup(), 0x80000001u);
  EXPECT_EQ(f.getVert(0), 3u);
  EXPECT_EQ(f.v[2], 2u);

  TVFace t;
  t.setTVerts(4, 5, 6);
  EXPECT_EQ(t.getTVert(1), 5u);
}

// All bits set: what a checked build leaves in an element nobody has written.
template <class T>
bool Unwritten(const T& e) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&e);
  for (size_t i = 0; i < sizeof(T); ++i)
    if (b[i] != 0xFF) return false;
  return true;
}

#ifdef HOST_POISON_UNWRITTEN
constexpr bool kMarksUnwritten = true;
#else
constexpr bool kMarksUnwritten = false;
#endif

TEST(Mesh, ResizingKeepsLeadingElementsAndLeavesNewOnesToTheCaller) {
  Mesh m;
  ASSERT_TRUE(m.setNumVerts(3));
  for (int i = 0; i < 3; ++i) m.setVert(i, float(i), 1.0f, 2.0f);
  ASSERT_TRUE(m.setNumVerts(5, TRUE));
  EXPECT_EQ(m.getNumVerts(), 5);
  EXPECT_EQ(m.getVert(2), Point3(2, 1, 2));
  if (kMarksUnwritten) EXPECT_TRUE(Unwritten(m.verts[4]) && Unwritten(m.verts[3]));
  EXPECT_EQ(m.vertSel.GetSize(), 5);
  ASSERT_TRUE(m.setNumVerts(4));  // no keep: nothing of the old contents is promised
  if (kMarksUnwritten) EXPECT_TRUE(Unwritten(m.verts[2]));
  ASSERT_TRUE(m.setNumVerts(-1));
  EXPECT_EQ(m.numVerts, 0);
  EXPECT_EQ(m.verts, nullptr);

  ASSERT_TRUE(m.setNumFaces(2));
  m.faces[1] = Face();
  m.faces[1].setVerts(0, 1, 2);
  m.faces[1].setMatID(7);
  ASSERT_TRUE(m.setNumFaces(3, TRUE, FALSE));
  EXPECT_EQ(m.faces[1].getMatID(), 7);
  EXPECT_EQ(m.faces[1].getVert(2), 2u);
  if (kMarksUnwritten) EXPECT_TRUE(Unwritten(m.faces[2]) && Unwritten(m.faces[0]));
  EXPECT_EQ(m.faceSel.GetSize(), 2);  // selection not synchronised
  ASSERT_TRUE(m.setNumFaces(1, TRUE));
  EXPECT_EQ(m.getNumFaces(), 1);
}

// The builders size each array once: a channel turned on by its vertex count already has one map face per
// face, and asking for that count again keeps the storage instead of allocating it a second time.
TEST(Mesh, AskingForTheSameCountAgainKeepsTheStorage) {
  Mesh m;
  ASSERT_TRUE(m.setNumFaces(1000));
  ASSERT_TRUE(m.setNumTVerts(10));
  ASSERT_EQ(m.getNumTVFaces(), 1000);
  const TVFace* faces = m.tvFace;
  const UVVert* verts = m.tVerts;
  ASSERT_TRUE(m.setNumTVFaces(1000, FALSE));
  ASSERT_TRUE(m.setNumTVerts(10, FALSE));
  EXPECT_EQ(m.tvFace, faces);
  EXPECT_EQ(m.tVerts, verts);
  if (kMarksUnwritten) EXPECT_TRUE(Unwritten(m.tvFace[999]) && Unwritten(m.tVerts[9]));
  // Another count, or keep, still resizes.
  ASSERT_TRUE(m.setNumTVFaces(999, FALSE));
  EXPECT_EQ(m.getNumTVFaces(), 999);
  m.tvFace[3].setTVerts(1, 2, 3);
  ASSERT_TRUE(m.setNumTVFaces(999, TRUE));
  EXPECT_EQ(m.tvFace[3].t[2], 3u);
}

TEST(Mesh, MapSupportGivesOneMapFacePerFace) {
  Mesh m;
  EXPECT_EQ(m.getNumMaps(), 2);
  EXPECT_FALSE(m.mapSupport(0));
  EXPECT_FALSE(m.mapSupport(1));
  m.setNumFaces(4);
  m.setMapSupport(0);
  EXPECT_TRUE(m.mapSupport(0));
  EXPECT_EQ(m.getNumMapFaces(0), 4);
  EXPECT_EQ(m.getNumMapVerts(0), 0);
  EXPECT_EQ(m.vcFace, m.mapFaces(0));

  // Asking for a higher channel adds the channels below it, unused.
  m.setMapSupport(3);
  EXPECT_EQ(m.getNumMaps(), 4);
  EXPECT_FALSE(m.mapSupport(2));
  EXPECT_TRUE(m.mapSupport(3));
  ASSERT_TRUE(m.setNumMapVerts(3, 2));
  m.setMapVert(3, 1, UVVert(0.5f, 0.25f, 0.0f));
  {
    AssertCapture reports;
    m.setMapVert(3, 2, UVVert(9, 9, 9));  // past the end: reported, not written
    EXPECT_EQ(reports.Count(), 1u);
  }
  m.mapFaces(3)[2].setTVerts(1, 1, 0);

  // Face count changes carry the used channels along, keeping what they keep.
  ASSERT_TRUE(m.setNumFaces(6, TRUE));
  EXPECT_EQ(m.getNumMapFaces(3), 6);
  EXPECT_EQ(m.getNumMapFaces(0), 6);
  EXPECT_EQ(m.getNumMapFaces(2), 0);
  EXPECT_EQ(m.mapFaces(3)[2].t[0], 1u);
  EXPECT_EQ(m.mapVerts(3)[1], UVVert(0.5f, 0.25f, 0.0f));

  m.setMapSupport(3, FALSE);
  EXPECT_FALSE(m.mapSupport(3));
  EXPECT_EQ(m.getNumMapFaces(3), 0);
  EXPECT_EQ(m.mapVerts(3), nullptr);
  m.setNumFaces(2);
  EXPECT_EQ(m.getNumMapFaces(3), 0);

  // Out of range channels answer nothing and take nothing.
  EXPECT_FALSE(m.mapSupport(-1));
  EXPECT_FALSE(m.mapSupport(MAX_MESHMAPS));
  {
    AssertCapture reports;
    m.setMapSupport(MAX_MESHMAPS);
    EXPECT_EQ(reports.Count(), 1u);
  }
  EXPECT_EQ(m.getNumMaps(), 4);
  EXPECT_EQ(m.mapVerts(50), nullptr);
}

TEST(Mesh, ChannelOneIsTheTextureVertices) {
  Mesh m;
  m.setNumFaces(2);
  ASSERT_TRUE(m.setNumTVerts(3));  // a positive count turns the channel on
  EXPECT_TRUE(m.mapSupport(1));
  EXPECT_EQ(m.getNumTVFaces(), 2);
  m.setTVert(2, 1.0f, 0.5f, 0.0f);
  EXPECT_EQ(m.mapVerts(1)[2], UVVert(1.0f, 0.5f, 0.0f));
  m.setMapVert(1, 0, UVVert(0.25f, 0.0f, 0.0f));
  EXPECT_EQ(m.tVerts[0], UVVert(0.25f, 0.0f, 0.0f));
  m.tvFace[1].setTVerts(0, 1, 2);
  EXPECT_EQ(m.mapFaces(1)[1].t[2], 2u);
  ASSERT_TRUE(m.setNumTVerts(4, TRUE));
  EXPECT_EQ(m.getNumMapVerts(1), 4);
  EXPECT_EQ(m.tVerts, m.mapVerts(1));
  EXPECT_EQ(m.getTVert(2), UVVert(1.0f, 0.5f, 0.0f));
  ASSERT_TRUE(m.setNumTVFaces(5, TRUE));
  EXPECT_EQ(m.getNumMapFaces(1), 5);
  EXPECT_EQ(m.tvFace[1].t[1], 1u);

  // setNumMaps without keep resets every channel.
  m.setNumMaps(3);
  EXPECT_FALSE(m.mapSupport(1));
  EXPECT_EQ(m.tVerts, nullptr);
  m.setNumMaps(0);
  EXPECT_EQ(m.getNumTVerts(), 0);
}

TEST(Mesh, CopiesAreDeep) {
  Mesh a;
  a.setNumVerts(2);
  a.setVert(1, 1, 2, 3);
  a.setNumFaces(1);
  a.setNumTVerts(1);
  a.setTVert(0, UVVert(0.5f, 0.5f, 0.0f));
  Mesh b(a);
  b.setVert(1, 9, 9, 9);
  b.setTVert(0, UVVert(1, 1, 1));
  EXPECT_EQ(a.getVert(1), Point3(1, 2, 3));
  EXPECT_EQ(a.tVerts[0], UVVert(0.5f, 0.5f, 0.0f));
  EXPECT_NE(b.tVerts, a.tVerts);
  Mesh c;
  c = b;
  EXPECT_EQ(c.tVerts[0], UVVert(1, 1, 1));
  EXPECT_EQ(c.getNumTVFaces(), 1);
  EXPECT_NE(c.tvFace, b.tvFace);
}

// A write or read past the end is a fault of the caller: reported with its condition, and nothing is
// written, so a stray index cannot be mistaken for success nor corrupt a neighbour.
TEST(MeshIndexChecks, VertexAndMapSettersReportIndicesOutOfRange) {
  Mesh m;
  ASSERT_TRUE(m.setNumVerts(2));
  ASSERT_TRUE(m.setNumFaces(1));
  ASSERT_TRUE(m.setNumTVerts(2));
  AssertCapture reports;
  m.setVert(0, 4, 5, 6);
  m.setVert(1, 1, 2, 3);
  m.setTVert(1, UVVert(0.5f, 0.5f, 0.0f));
  m.setMapVert(1, 0, UVVert(0.25f, 0.0f, 0.0f));
  EXPECT_EQ(reports.Count(), 0u);  // in range: silent

  m.setVert(2, 9, 9, 9);
  m.setVert(-1, Point3(9, 9, 9));
  m.setTVert(2, 9, 9, 9);
  m.setMapVert(1, -1, UVVert(9, 9, 9));
  m.setMapVert(2, 0, UVVert(9, 9, 9));  // channel 2 is not in use: it has no vertices
  m.setMapVert(-1, 0, UVVert(9, 9, 9));
  m.setMapVert(MAX_MESHMAPS, 0, UVVert(9, 9, 9));
  ASSERT_EQ(reports.Count(), 7u);
  EXPECT_EQ(reports.Expressions()[0], "i >= 0 && i < numVerts");
  EXPECT_NE(reports.Files()[0].find("mesh.h"), std::string::npos);
  EXPECT_EQ(reports.Expressions()[3], "ValidMap(mp) && i >= 0 && i < maps_[size_t(mp)].vnum");
  EXPECT_EQ(m.getVert(0), Point3(4, 5, 6));
  EXPECT_EQ(m.getVert(1), Point3(1, 2, 3));
  EXPECT_EQ(m.tVerts[0], UVVert(0.25f, 0.0f, 0.0f));
  EXPECT_EQ(m.tVerts[1], UVVert(0.5f, 0.5f, 0.0f));
  EXPECT_FALSE(m.mapSupport(2));
  EXPECT_EQ(m.getNumMaps(), 2);
}

TEST(MeshIndexChecks, GettersReportAndAnswerAScratchElement) {
  Mesh m;
  ASSERT_TRUE(m.setNumVerts(1));
  m.setVert(0, 1, 1, 1);
  AssertCapture reports;
  EXPECT_EQ(m.getVert(0), Point3(1, 1, 1));
  EXPECT_EQ(reports.Count(), 0u);
  // Writing through the answer for a missing element leaves the mesh alone.
  m.getVert(1) = Point3(7, 7, 7);
  EXPECT_EQ(m.getVert(5), Point3());
  m.getTVert(0) = UVVert(7, 7, 7);  // channel 1 has no vertices yet
  const Mesh& c = m;
  EXPECT_EQ(c.getVert(-1), Point3());
  m.Map(2).flags = MESHMAP_USED;  // only channels 0 and 1 exist
  EXPECT_EQ(reports.Count(), 5u);
  EXPECT_EQ(m.getVert(0), Point3(1, 1, 1));
  EXPECT_EQ(m.getNumVerts(), 1);
  EXPECT_EQ(m.getNumTVerts(), 0);
  EXPECT_FALSE(m.mapSupport(2));
}

TEST(MeshIndexChecks, FaceCornersAndEdgesOutOfRangeAreReported) {
  Face f;
  f.setVerts(4, 5, 6);
  f.setEdgeVisFlags(EDGE_VIS, EDGE_INVIS, EDGE_VIS);
  f.setMatID(3);
  TVFace t(7, 8, 9);
  AssertCapture reports;
  EXPECT_EQ(f.getVert(2), 6u);
  EXPECT_TRUE(f.getEdgeVis(2));
  EXPECT_EQ(t.getTVert(0), 7u);
  EXPECT_EQ(reports.Count(), 0u);

  f.setEdgeVis(3, EDGE_VIS);
  f.setEdgeVis(-1, EDGE_INVIS);
  EXPECT_EQ(f.getEdgeVis(3), 0u);
  EXPECT_EQ(f.getVert(3), 0u);
  EXPECT_EQ(t.getTVert(-1), 0u);
  ASSERT_EQ(reports.Count(), 5u);
  EXPECT_EQ(reports.Expressions()[0], "edge >= 0 && edge <= 2");
  EXPECT_EQ(reports.Expressions()[3], "index >= 0 && index < 3");
  // Neither the edges nor the material id sharing the flags were touched.
  EXPECT_EQ(f.flags, (3u << FACE_MATID_SHIFT) | EDGE_A | EDGE_C);
}
