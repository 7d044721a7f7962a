// glTF corners: each primitive's vertices are the distinct (vertex, texture vertices, normal) of its faces,
// numbered in the order they first come, whatever the runs of materials and however many corners there are.
#include <tuple>

#include "ExportSpace.h"
#include "Normals.h"
#include "export/export_util.h"
#include "grid_faces.h"

namespace {

// A grid of quads with texture channels 1 and 2. Materials come in runs, then alternate face by face, then
// run again (material 0 before and after the others); a column of faces has its own channel-1 vertices (a
// seam), and smoothing groups vary so that normals split too. Several thousand corners in all.
Mesh Grid(int cols, int rows) {
  Mesh m;
  m.setNumVerts(cols * rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      m.setVert(r * cols + c, Point3(float(c), float(r), float((c * 7 + r * 3) % 5) * 0.25f));
  const int nf = 2 * (cols - 1) * (rows - 1);
  m.setNumFaces(nf);  // before the channels, which take their face counts from it
  m.setNumTVerts(2 * cols * rows);
  for (int i = 0; i < cols * rows; ++i) {
    m.setTVert(i, UVVert(float(i % cols) / float(cols), float(i / cols) / float(rows), 0.0f));
    m.setTVert(cols * rows + i, UVVert(0.5f, float(i) / float(cols * rows), 0.0f));
  }
  m.setNumTVFaces(nf);
  m.setMapSupport(2);
  m.setNumMapVerts(2, cols * rows);
  for (int i = 0; i < cols * rows; ++i) m.setMapVert(2, i, UVVert(float(i % 3), float(i % 11) * 0.125f, 0.0f));
  MakeGridFaces(m, cols, rows, [&](int f, int r, int c, const std::array<DWORD, 3>& v) {
    const bool middle = r >= rows / 3 && r < 2 * rows / 3;
    m.faces[f].setMatID(MtlID(middle ? 1 + f % 2 : (r == rows - 2 && c % 9 == 0) ? 5 : 0));
    m.faces[f].setSmGroup(c % 13 == 0 ? 0 : r % 17 == 0 ? 2 : 1);
    const DWORD seam = c == cols / 2 ? DWORD(cols * rows) : 0;
    m.tvFace[f].setTVerts(v[0] + seam, v[1] + seam, v[2] + seam);
    m.mapFaces(2)[f].setTVerts(v[0], v[1], v[2]);
  });
  return m;
}

// What a primitive holds, made the plain way: its faces in mesh order, each corner looked up among the
// (vertex, channel-1, channel-2, normal) seen so far in that primitive.
struct Primitive {
  std::vector<uint32_t> indices;
  std::vector<float> pos, nrm, uv0, uv1;
};
std::map<MtlID, Primitive> Expected(const Mesh& m, const OutputSpace& space) {
  const MeshNormals normals = ComputeNormals(m);
  std::map<MtlID, Primitive> out;
  std::map<MtlID, std::map<std::tuple<DWORD, DWORD, DWORD, uint32_t>, uint32_t>> seen;
  for (int f = 0; f < m.getNumFaces(); ++f) {
    const MtlID id = m.faces[f].getMatID();
    Primitive& p = out[id];
    for (int j = 0; j < 3; ++j) {
      const int k = space.Corner(j);
      const DWORD v = m.faces[f].v[k], t1 = m.tvFace[f].t[k], t2 = m.mapFaces(2)[f].t[k];
      const uint32_t n = normals.cornerNormal[size_t(f)][size_t(k)];
      const auto [it, added] = seen[id].try_emplace({v, t1, t2, n}, uint32_t(p.pos.size() / 3));
      p.indices.push_back(it->second);
      if (!added) continue;
      const Point3 xyz = space.Point(m.verts[v]), dir = space.Normal(normals.normals[n]);
      p.pos.insert(p.pos.end(), {xyz.x, xyz.y, xyz.z});
      p.nrm.insert(p.nrm.end(), {dir.x, dir.y, dir.z});
      p.uv0.insert(p.uv0.end(), {m.tVerts[t1].x, 1.0f - m.tVerts[t1].y});
      p.uv1.insert(p.uv1.end(), {m.mapVerts(2)[t2].x, 1.0f - m.mapVerts(2)[t2].y});
    }
  }
  return out;
}

// Turned and moved; mirrored too when asked, which reverses each face's corners in the file.
Matrix3 Placement(bool mirrored) {
  Matrix3 tm = TurnedAndMoved();
  if (mirrored) tm = ScaleMatrix(Point3(-1.0f, 1.0f, 1.0f)) * tm;
  return tm;
}

TEST(GltfCorners, EveryPrimitiveHoldsItsDistinctCornersInTheOrderTheyFirstCome) {
  ScratchDir dir;
  const Mesh mesh = Grid(70, 70);
  for (const bool binary : {false, true})
    for (const bool mirrored : {false, true}) {
      const std::string path = dir.File(std::string("grid") + (mirrored ? "-m" : "") + (binary ? ".glb" : ".gltf"));
      const Matrix3 tm = Placement(mirrored);
      WriteGltf({&mesh, tm, "Grid"}, path, binary);
      const OutputSpace space(tm, ExportSpaceOptions{});
      ASSERT_EQ(space.Mirrors(), mirrored);
      const auto want = Expected(mesh, space);
      const tinygltf::Model model = LoadGltf(path, binary);
      ASSERT_EQ(model.meshes.size(), 1u);
      const auto& prims = model.meshes[0].primitives;
      ASSERT_EQ(prims.size(), want.size());
      size_t corners = 0;
      auto p = prims.begin();
      for (const auto& [id, w] : want) {
        const std::string what = path + " material " + std::to_string(id);
        ASSERT_EQ(model.materials.at(size_t(p->material)).name, "mtl" + std::to_string(id)) << what;
        EXPECT_EQ(AccessorData<uint32_t>(model, p->indices), w.indices) << what;
        EXPECT_EQ(AccessorData<float>(model, p->attributes.at("POSITION")), w.pos) << what;
        EXPECT_EQ(AccessorData<float>(model, p->attributes.at("NORMAL")), w.nrm) << what;
        EXPECT_EQ(AccessorData<float>(model, p->attributes.at("TEXCOORD_0")), w.uv0) << what;
        EXPECT_EQ(AccessorData<float>(model, p->attributes.at("TEXCOORD_1")), w.uv1) << what;
        // The bounds are those of this primitive's corners alone.
        const tinygltf::Accessor& acc = model.accessors.at(size_t(p->attributes.at("POSITION")));
        for (size_t c = 0; c < 3; ++c) {
          float mn = w.pos[c], mx = w.pos[c];
          for (size_t i = c; i < w.pos.size(); i += 3) mn = std::min(mn, w.pos[i]), mx = std::max(mx, w.pos[i]);
          EXPECT_EQ(acc.minValues.at(c), double(mn)) << what;
          EXPECT_EQ(acc.maxValues.at(c), double(mx)) << what;
        }
        corners += w.pos.size() / 3;
        ++p;
      }
      EXPECT_GT(corners, 5000u) << "enough corners to fill more than one block of them";
    }
}

}  // namespace
