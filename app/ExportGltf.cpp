// glTF 2.0 export through tinygltf's writer.
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>
#include <vector>

#include "Exporters.h"
#include "GltfSupport.h"
#include "Normals.h"

namespace {

// One primitive's vertices: the distinct corners (vertex, channel-1 vertex, channel-2 vertex, normal) of its
// faces.
struct PrimitiveData {
  std::vector<float> positions, normals, tex0, tex1;
  std::vector<uint32_t> indices;
  std::map<std::array<uint32_t, 4>, uint32_t> cornerIndex;
};

// The material mtl<id> of the model, added on first use so that the frames of one file share theirs.
int MaterialFor(tinygltf::Model& model, MtlID id) {
  const std::string name = "mtl" + std::to_string(unsigned(id));
  for (size_t i = 0; i < model.materials.size(); ++i)
    if (model.materials[i].name == name) return int(i);
  tinygltf::Material mat;
  mat.name = name;
  const double* c = exportdetail::MaterialColor(id);
  mat.pbrMetallicRoughness.baseColorFactor = {c[0], c[1], c[2], 1.0};
  mat.pbrMetallicRoughness.metallicFactor = 0.0;
  mat.pbrMetallicRoughness.roughnessFactor = 0.6;
  mat.doubleSided = true;  // a trail is a ribbon, seen from both sides
  model.materials.push_back(mat);
  return int(model.materials.size()) - 1;
}

}  // namespace

namespace gltfsupport {

int AddTrailMesh(tinygltf::Model& model, const Mesh& mesh, const OutputSpace& space, const std::string& name) {
  exportdetail::CheckMesh(mesh);
  exportdetail::CheckTransform(space.Transform());
  const MeshNormals normals = ComputeNormals(mesh);
  std::vector<Point3> outNormals;
  outNormals.reserve(normals.normals.size());
  for (const Point3& n : normals.normals) outNormals.push_back(space.Normal(n));

  const bool has1 = exportdetail::HasTextureFaces(mesh, 1);
  const bool has2 = exportdetail::HasTextureFaces(mesh, 2);
  const UVVert* tv1 = has1 ? mesh.mapVerts(1) : nullptr;
  const TVFace* tf1 = has1 ? mesh.mapFaces(1) : nullptr;
  const UVVert* tv2 = has2 ? mesh.mapVerts(2) : nullptr;
  const TVFace* tf2 = has2 ? mesh.mapFaces(2) : nullptr;

  std::map<MtlID, PrimitiveData> prims;
  for (int f = 0; f < mesh.getNumFaces(); ++f) {
    PrimitiveData& pd = prims[mesh.faces[f].getMatID()];
    for (int j = 0; j < 3; ++j) {
      const int k = space.Corner(j);
      const uint32_t v = mesh.faces[f].v[k];
      const uint32_t t1 = tf1 ? tf1[f].t[k] : 0, t2 = tf2 ? tf2[f].t[k] : 0;
      const uint32_t n = normals.cornerNormal[size_t(f)][size_t(k)];
      auto [it, added] = pd.cornerIndex.try_emplace({v, t1, t2, n}, uint32_t(pd.cornerIndex.size()));
      if (added) {
        const Point3 p = space.Point(mesh.verts[v]);
        exportdetail::CheckFinite(p, "vertex " + std::to_string(v) + " in the output space");
        pd.positions.insert(pd.positions.end(), {p.x, p.y, p.z});
        pd.normals.insert(pd.normals.end(), {outNormals[n].x, outNormals[n].y, outNormals[n].z});
        if (tf1) pd.tex0.insert(pd.tex0.end(), {tv1[t1].x, 1.0f - tv1[t1].y});
        if (tf2) pd.tex1.insert(pd.tex1.end(), {tv2[t2].x, 1.0f - tv2[t2].y});
      }
      pd.indices.push_back(it->second);
    }
  }
  if (prims.empty()) return -1;

  BufferBuilder bb(model);
  tinygltf::Mesh gm;
  gm.name = Utf8Name(name);
  for (auto& [id, pd] : prims) {
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_TRIANGLES;
    const size_t nCorners = pd.positions.size() / 3;
    std::vector<double> mn(3, std::numeric_limits<double>::infinity()), mx(3, -std::numeric_limits<double>::infinity());
    for (size_t i = 0; i < nCorners; ++i)
      for (size_t c = 0; c < 3; ++c) {
        mn[c] = std::min(mn[c], double(pd.positions[i * 3 + c]));
        mx[c] = std::max(mx[c], double(pd.positions[i * 3 + c]));
      }
    prim.indices = bb.Add(pd.indices.data(), pd.indices.size() * 4, kElementArrayBuffer,
                          TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, pd.indices.size());
    prim.attributes["POSITION"] = bb.Add(pd.positions.data(), pd.positions.size() * 4, kArrayBuffer,
                                         TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, nCorners, mn, mx);
    prim.attributes["NORMAL"] = bb.Add(pd.normals.data(), pd.normals.size() * 4, kArrayBuffer,
                                       TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, nCorners);
    if (!pd.tex0.empty())
      prim.attributes["TEXCOORD_0"] = bb.Add(pd.tex0.data(), pd.tex0.size() * 4, kArrayBuffer,
                                             TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, nCorners);
    if (!pd.tex1.empty())
      prim.attributes["TEXCOORD_1"] = bb.Add(pd.tex1.data(), pd.tex1.size() * 4, kArrayBuffer,
                                             TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, nCorners);
    prim.material = MaterialFor(model, id);
    gm.primitives.push_back(prim);
  }
  model.meshes.push_back(gm);
  return int(model.meshes.size()) - 1;
}

}  // namespace gltfsupport

void WriteGltf(const ExportMesh& m, const std::string& path, bool binary, const ExportSpaceOptions& opt) {
  if (!m.mesh) throw std::runtime_error("no mesh to write to " + path);
  exportdetail::CheckTransform(m.nodeTM);
  tinygltf::Model model = gltfsupport::NewModel();
  tinygltf::Node node;
  node.name = gltfsupport::Utf8Name(m.nodeName);
  // The positions are already placed, so the node has no transform of its own: the file agrees with the OBJ
  // vertex for vertex, and a reader that animates the node (a sequence) is free to.
  node.mesh = gltfsupport::AddTrailMesh(model, *m.mesh, OutputSpace(m.nodeTM, opt), m.nodeName);
  gltfsupport::WriteSingleNodeModel(model, node, path, binary);
}
