// glTF 2.0 export through tinygltf's writer.
#include "Exporters.h"
#include "GltfSupport.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

// glTF keeps a node matrix only when it splits into translation, rotation and scale: the axis rows must be
// non-zero and at right angles to one another.
bool IsTrs(const Matrix3& tm) {
  Point3 r[3] = {tm.GetRow(0), tm.GetRow(1), tm.GetRow(2)};
  double len[3];
  for (int i = 0; i < 3; ++i) {
    len[i] = std::sqrt(double(r[i].x) * r[i].x + double(r[i].y) * r[i].y + double(r[i].z) * r[i].z);
    if (!(len[i] > 0.0)) return false;
  }
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) {
      const double dot = double(r[i].x) * r[j].x + double(r[i].y) * r[j].y + double(r[i].z) * r[j].z;
      if (std::fabs(dot) > 1e-5 * len[i] * len[j]) return false;
    }
  return true;
}

bool IsExactIdentity(const Matrix3& tm) { return tm == Matrix3(TRUE); }

bool FiniteMatrix(const Matrix3& tm) {
  for (int r = 0; r < 4; ++r) {
    const Point3 p = tm.GetRow(r);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  }
  return true;
}

// Row-vector 4x3 (p' = p * M) to glTF's column-major 4x4 for column vectors (p' = G p): G's columns are
// M's rows, so the same twelve numbers in the same order, each row closed by 0 and the last by 1.
std::vector<double> GltfMatrix(const Matrix3& tm) {
  std::vector<double> g;
  g.reserve(16);
  for (int r = 0; r < 4; ++r) {
    const Point3 p = tm.GetRow(r);
    g.push_back(p.x);
    g.push_back(p.y);
    g.push_back(p.z);
    g.push_back(r == 3 ? 1.0 : 0.0);
  }
  return g;
}

// A small palette so that neighbouring material ids are told apart in a viewer.
std::vector<double> BaseColor(unsigned id) {
  static const double kColors[][3] = {{0.80, 0.80, 0.80}, {0.85, 0.33, 0.10}, {0.20, 0.55, 0.85},
                                      {0.35, 0.70, 0.30}, {0.90, 0.75, 0.20}, {0.60, 0.35, 0.75}};
  const double* c = kColors[id % (sizeof kColors / sizeof kColors[0])];
  return {c[0], c[1], c[2], 1.0};
}

// One primitive's vertices: the distinct corners (vertex, channel-1 vertex, channel-2 vertex) of its faces.
struct PrimitiveData {
  std::vector<float> positions, tex0, tex1;
  std::vector<uint32_t> indices;
  std::map<std::array<uint32_t, 3>, uint32_t> cornerIndex;
};

}  // namespace

void WriteGltf(const ExportMesh& m, const std::string& path, bool binary) {
  if (!m.mesh) throw std::runtime_error("no mesh to write to " + path);
  const Mesh& mesh = *m.mesh;
  exportdetail::CheckMesh(mesh);
  if (!FiniteMatrix(m.nodeTM)) throw std::runtime_error("the node transform is not finite");

  const bool bake = !IsTrs(m.nodeTM);
  const bool has1 = exportdetail::HasTextureFaces(mesh, 1);
  const bool has2 = exportdetail::HasTextureFaces(mesh, 2);
  const UVVert* tv1 = has1 ? mesh.mapVerts(1) : nullptr;
  const TVFace* tf1 = has1 ? mesh.mapFaces(1) : nullptr;
  const UVVert* tv2 = has2 ? mesh.mapVerts(2) : nullptr;
  const TVFace* tf2 = has2 ? mesh.mapFaces(2) : nullptr;

  std::map<MtlID, PrimitiveData> prims;
  for (int f = 0; f < mesh.getNumFaces(); ++f) {
    PrimitiveData& pd = prims[mesh.faces[f].getMatID()];
    for (int k = 0; k < 3; ++k) {
      const uint32_t v = mesh.faces[f].v[k];
      const uint32_t t1 = tf1 ? tf1[f].t[k] : 0, t2 = tf2 ? tf2[f].t[k] : 0;
      auto [it, added] = pd.cornerIndex.try_emplace({v, t1, t2}, uint32_t(pd.cornerIndex.size()));
      if (added) {
        const Point3 p = bake ? mesh.verts[v] * m.nodeTM : mesh.verts[v];
        pd.positions.insert(pd.positions.end(), {p.x, p.y, p.z});
        if (tf1) pd.tex0.insert(pd.tex0.end(), {tv1[t1].x, 1.0f - tv1[t1].y});
        if (tf2) pd.tex1.insert(pd.tex1.end(), {tv2[t2].x, 1.0f - tv2[t2].y});
      }
      pd.indices.push_back(it->second);
    }
  }

  tinygltf::Model model = gltfsupport::NewModel();

  tinygltf::Node node;
  node.name = gltfsupport::Utf8Name(m.nodeName);
  if (!bake && !IsExactIdentity(m.nodeTM)) node.matrix = GltfMatrix(m.nodeTM);

  if (!prims.empty()) {
    gltfsupport::BufferBuilder bb(model);
    tinygltf::Mesh gm;
    gm.name = node.name;
    for (auto& [id, pd] : prims) {
      tinygltf::Primitive prim;
      prim.mode = TINYGLTF_MODE_TRIANGLES;
      const size_t nCorners = pd.positions.size() / 3;
      std::vector<double> mn(3, std::numeric_limits<double>::infinity()),
          mx(3, -std::numeric_limits<double>::infinity());
      for (size_t i = 0; i < nCorners; ++i)
        for (int c = 0; c < 3; ++c) {
          mn[size_t(c)] = std::min(mn[size_t(c)], double(pd.positions[i * 3 + size_t(c)]));
          mx[size_t(c)] = std::max(mx[size_t(c)], double(pd.positions[i * 3 + size_t(c)]));
        }
      prim.indices = bb.Add(pd.indices.data(), pd.indices.size() * 4, gltfsupport::kElementArrayBuffer,
                            TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, pd.indices.size());
      prim.attributes["POSITION"] = bb.Add(pd.positions.data(), pd.positions.size() * 4, gltfsupport::kArrayBuffer,
                                           TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, nCorners, mn, mx);
      if (!pd.tex0.empty())
        prim.attributes["TEXCOORD_0"] = bb.Add(pd.tex0.data(), pd.tex0.size() * 4, gltfsupport::kArrayBuffer,
                                               TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, nCorners);
      if (!pd.tex1.empty())
        prim.attributes["TEXCOORD_1"] = bb.Add(pd.tex1.data(), pd.tex1.size() * 4, gltfsupport::kArrayBuffer,
                                               TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, nCorners);

      tinygltf::Material mat;
      mat.name = "mtl" + std::to_string(unsigned(id));
      mat.pbrMetallicRoughness.baseColorFactor = BaseColor(id);
      mat.pbrMetallicRoughness.metallicFactor = 0.0;
      mat.pbrMetallicRoughness.roughnessFactor = 0.6;
      mat.doubleSided = true;  // a trail is a ribbon, seen from both sides
      model.materials.push_back(mat);
      prim.material = int(model.materials.size()) - 1;
      gm.primitives.push_back(prim);
    }
    model.meshes.push_back(gm);
    node.mesh = 0;
  }
  gltfsupport::WriteSingleNodeModel(model, node, path, binary);
}
