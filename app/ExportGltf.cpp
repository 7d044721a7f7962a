// glTF 2.0 export through tinygltf's writer.
#include "Exporters.h"

#include <tiny_gltf.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kArrayBuffer = 34962;         // bufferView target of vertex attributes
constexpr int kElementArrayBuffer = 34963;  // bufferView target of indices

// Appends raw values to the one buffer and describes them by a buffer view and an accessor.
class BufferBuilder {
 public:
  explicit BufferBuilder(tinygltf::Model& model) : model_(model) {}

  int Add(const void* data, size_t bytes, int target, int componentType, int type, size_t count,
          std::vector<double> min = {}, std::vector<double> max = {}) {
    std::vector<unsigned char>& buf = Buffer().data;
    while (buf.size() % 4) buf.push_back(0);  // every element type here is 4 bytes
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = buf.size();
    view.byteLength = bytes;
    view.target = target;
    const auto* p = static_cast<const unsigned char*>(data);
    buf.insert(buf.end(), p, p + bytes);
    model_.bufferViews.push_back(view);

    tinygltf::Accessor acc;
    acc.bufferView = int(model_.bufferViews.size()) - 1;
    acc.byteOffset = 0;
    acc.componentType = componentType;
    acc.type = type;
    acc.count = count;
    acc.minValues = std::move(min);
    acc.maxValues = std::move(max);
    model_.accessors.push_back(acc);
    return int(model_.accessors.size()) - 1;
  }

 private:
  tinygltf::Buffer& Buffer() {
    if (model_.buffers.empty()) model_.buffers.emplace_back();
    return model_.buffers[0];
  }
  tinygltf::Model& model_;
};

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

// glTF is JSON and so UTF-8; a node name read from an older saved scene may not be. Bytes that do not form
// UTF-8 become '?' so that the file can still be written.
std::string Utf8Name(const std::string& in) {
  std::string out;
  const auto* s = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) ok = (s[i + k] & 0xC0) == 0x80;
    if (ok && len > 1) {
      // No overlong forms, surrogates or code points past U+10FFFF.
      uint32_t cp = c & (0xFF >> (len + 1));
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
      static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      ok = cp >= kMin[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    }
    if (ok) {
      out.append(in, i, len);
      i += len;
    } else {
      out += '?';
      ++i;
    }
  }
  return out;
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

  tinygltf::Model model;
  model.asset.version = "2.0";
  model.asset.generator = "Wakeweave";

  tinygltf::Node node;
  node.name = Utf8Name(m.nodeName);
  if (!bake && !IsExactIdentity(m.nodeTM)) node.matrix = GltfMatrix(m.nodeTM);

  if (!prims.empty()) {
    BufferBuilder bb(model);
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
      prim.indices = bb.Add(pd.indices.data(), pd.indices.size() * 4, kElementArrayBuffer,
                            TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, pd.indices.size());
      prim.attributes["POSITION"] = bb.Add(pd.positions.data(), pd.positions.size() * 4, kArrayBuffer,
                                           TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, nCorners, mn, mx);
      if (!pd.tex0.empty())
        prim.attributes["TEXCOORD_0"] = bb.Add(pd.tex0.data(), pd.tex0.size() * 4, kArrayBuffer,
                                               TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, nCorners);
      if (!pd.tex1.empty())
        prim.attributes["TEXCOORD_1"] = bb.Add(pd.tex1.data(), pd.tex1.size() * 4, kArrayBuffer,
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
  model.nodes.push_back(node);
  tinygltf::Scene scene;
  scene.nodes.push_back(0);
  model.scenes.push_back(scene);
  model.defaultScene = 0;

  std::ostringstream os(std::ios::out | std::ios::binary);
  tinygltf::TinyGLTF writer;
  try {
    const bool encoded = writer.WriteGltfSceneToStream(&model, os, /*prettyPrint=*/!binary, binary);
    // A string stream goes bad only when its buffer can't grow.
    if (os.bad()) throw std::bad_alloc();
    if (!encoded || !os) throw std::runtime_error("cannot encode " + path);
  } catch (const std::runtime_error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {  // the JSON library's own errors
    throw std::runtime_error("cannot encode " + path + ": " + e.what());
  }
  exportdetail::WriteFileAtomically(path, os.str());
}
