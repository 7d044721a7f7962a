// OBJ export: read back, the file holds the mesh's vertices, texture coordinates and triangles.
#include "export_util.h"

namespace {

struct ObjFile {
  std::vector<Point3> v;
  std::vector<std::pair<float, float>> vt;
  std::vector<Point3> vn;
  struct Face {
    std::string mtl;
    int v[3], t[3], n[3];
    std::string s;  // the smoothing group line in force
  };
  std::string mtllib;
  std::vector<Face> f;
  std::vector<std::string> groupOrder;
  std::string object;
};

ObjFile ParseObj(const std::string& text) {
  ObjFile obj;
  std::istringstream in(text);
  std::string line, mtl, smooth;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string tag;
    ls >> tag;
    if (tag == "v") {
      std::string x, y, z;
      ls >> x >> y >> z;
      obj.v.emplace_back(std::strtof(x.c_str(), nullptr), std::strtof(y.c_str(), nullptr),
                         std::strtof(z.c_str(), nullptr));
    } else if (tag == "vt") {
      std::string u, v;
      ls >> u >> v;
      obj.vt.emplace_back(std::strtof(u.c_str(), nullptr), std::strtof(v.c_str(), nullptr));
    } else if (tag == "vn") {
      Point3 n;
      ls >> n.x >> n.y >> n.z;
      obj.vn.push_back(n);
    } else if (tag == "s") {
      ls >> smooth;
    } else if (tag == "mtllib") {
      ls >> obj.mtllib;
    } else if (tag == "usemtl") {
      ls >> mtl;
      obj.groupOrder.push_back(mtl);
    } else if (tag == "o") {
      ls >> obj.object;
    } else if (tag == "f") {
      ObjFile::Face face{mtl, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, smooth};
      for (int k = 0; k < 3; ++k) {
        // v, v/t, v//n or v/t/n
        std::string c;
        ls >> c;
        const size_t a = c.find('/'), b = a == std::string::npos ? a : c.find('/', a + 1);
        face.v[k] = std::stoi(c.substr(0, a));
        face.t[k] = a == std::string::npos || a + 1 == b ? 0 : std::stoi(c.substr(a + 1));
        face.n[k] = b == std::string::npos ? 0 : std::stoi(c.substr(b + 1));
      }
      std::string extra;
      EXPECT_FALSE(ls >> extra) << "more than three corners: " << line;
      obj.f.push_back(face);
    }
  }
  return obj;
}

TEST(ObjExport, HoldsTheMeshVerticesTextureCoordinatesAndTrianglesGroupedByMaterial) {
  ScratchDir dir;
  Mesh mesh = SampleMesh();
  const std::string path = dir.File("mesh.obj");
  // In the node's own space with the host's axes, the positions are the mesh's, exactly.
  WriteObj({&mesh, TurnedAndMoved(), "Trail 001"}, path, ExportSpaceOptions{true, true});
  const ObjFile obj = ParseObj(ReadFile(path));

  EXPECT_EQ(obj.object, "Trail_001");
  EXPECT_EQ(obj.mtllib, "mesh.mtl");
  ASSERT_EQ(obj.v.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(obj.v[size_t(i)], mesh.verts[i]) << "vertex " << i;
  ASSERT_EQ(obj.vt.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(obj.vt[size_t(i)].first, mesh.tVerts[i].x);
    EXPECT_EQ(obj.vt[size_t(i)].second, mesh.tVerts[i].y);  // OBJ keeps V as the host has it
  }
  // Material 0's faces (0 and 2, in mesh order), then material 2's (face 1).
  EXPECT_EQ(obj.groupOrder, (std::vector<std::string>{"mtl0", "mtl2"}));
  ASSERT_EQ(obj.f.size(), 3u);
  const int order[3] = {0, 2, 1};
  for (int i = 0; i < 3; ++i) {
    const int f = order[i];
    EXPECT_EQ(obj.f[size_t(i)].mtl, "mtl" + std::to_string(mesh.faces[f].getMatID()));
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(obj.f[size_t(i)].v[k], int(mesh.faces[f].v[k]) + 1) << "face " << f;
      EXPECT_EQ(obj.f[size_t(i)].t[k], int(mesh.tvFace[f].t[k]) + 1) << "face " << f;
      ASSERT_GE(obj.f[size_t(i)].n[k], 1);
      ASSERT_LE(obj.f[size_t(i)].n[k], int(obj.vn.size()));
    }
    // The sample's faces have smoothing group 0: flat, each corner carries its face's normal.
    EXPECT_EQ(obj.f[size_t(i)].s, "off");
    const Point3 *a = &obj.v[size_t(obj.f[size_t(i)].v[0] - 1)], *b = &obj.v[size_t(obj.f[size_t(i)].v[1] - 1)],
                 *c = &obj.v[size_t(obj.f[size_t(i)].v[2] - 1)];
    const Point3 faceN = ((*b - *a) ^ (*c - *a)).Normalize();
    for (int k = 0; k < 3; ++k)
      EXPECT_TRUE(obj.vn[size_t(obj.f[size_t(i)].n[k] - 1)].Equals(faceN, 1e-6f)) << "face " << f;
  }
}

TEST(ObjExport, WithoutTextureFacesWritesPlainFacesAndNoTextureVertices) {
  ScratchDir dir;
  Mesh mesh = SampleMesh();
  mesh.setMapSupport(1, FALSE);
  WriteObj({&mesh, Matrix3(), "n"}, dir.File("plain.obj"));
  const std::string text = ReadFile(dir.File("plain.obj"));
  const ObjFile obj = ParseObj(text);
  EXPECT_TRUE(obj.vt.empty());
  ASSERT_EQ(obj.f.size(), 3u);
  EXPECT_EQ(text.find("f 1//1 2//1 3//1\n"), text.find("\nf ") + 1) << text;
  EXPECT_EQ(obj.f[0].v[0], 1);
  EXPECT_EQ(obj.f[0].v[2], 3);
  EXPECT_EQ(obj.f[0].t[0], 0);
}

TEST(ObjExport, EmptyMeshGivesAFileWithoutFaces) {
  ScratchDir dir;
  Mesh mesh;
  WriteObj({&mesh, Matrix3(), "empty"}, dir.File("empty.obj"));
  const ObjFile obj = ParseObj(ReadFile(dir.File("empty.obj")));
  EXPECT_TRUE(obj.v.empty());
  EXPECT_TRUE(obj.f.empty());
}

}  // namespace
