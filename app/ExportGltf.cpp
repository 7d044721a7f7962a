// glTF 2.0 export: the model through tinygltf's JSON, the buffer streamed from the vertex arrays.
#include <array>
#include <cmath>
#include <limits>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Exporters.h"
#include "GltfSupport.h"
#include "Normals.h"

namespace {

// A distinct corner of a primitive (mesh vertex, channel-1 vertex, channel-2 vertex, normal), chained to the
// other corners of its mesh vertex: a vertex has few, so the chains are short, and the whole index costs 4
// bytes a vertex and 28 a corner where a tree of them would cost several times that.
struct CornerKey {
  uint32_t v, t1, t2, n;
  uint32_t index;  // in its primitive: corners are numbered in the order they first appear
  uint32_t next;   // the vertex's next corner, or kNone
  MtlID mat;
};
constexpr uint32_t kNone = UINT32_MAX;

// The corners in chunks of a fixed size: indexing is a shift and a mask, and growing never copies (a vector
// that reallocates holds the old array and the new one at once, a peak of twice the corners).
class CornerList {
 public:
  size_t size() const { return size_; }
  const CornerKey& operator[](uint32_t i) const { return chunks_[i >> kShift][i & kMask]; }
  void push_back(const CornerKey& c) {
    if ((size_ & kMask) == 0) chunks_.push_back(std::make_unique_for_overwrite<CornerKey[]>(kMask + 1));
    chunks_.back()[size_ & kMask] = c;
    ++size_;
  }
  // Calls each(corner) for the corners from begin up to end, chunk by chunk.
  template <class Each>
  void ForRange(uint32_t begin, uint32_t end, const Each& each) const {
    while (begin < end) {
      const CornerKey* chunk = chunks_[begin >> kShift].get();
      const uint32_t stop = uint32_t(std::min<uint64_t>(end, (uint64_t(begin) | kMask) + 1));
      for (uint32_t i = begin; i < stop; ++i) each(chunk[i & kMask]);
      begin = stop;
    }
  }

 private:
  static constexpr unsigned kShift = 12;
  static constexpr uint32_t kMask = (1u << kShift) - 1;
  std::vector<std::unique_ptr<CornerKey[]>> chunks_;
  size_t size_ = 0;
};

// What the file's buffer is made from as it is written: the vertex data is made again from the mesh rather
// than kept, so that an export costs little beside the mesh.
struct TrailData {
  CornerList corners;                              // in the order they first appear
  std::vector<std::array<uint32_t, 3>> faceIndex;  // per face, per written corner: its index in its primitive
  std::vector<Point3> normals;                     // the distinct normals, in the output space
};

struct PrimitiveInfo {
  uint32_t corners = 0;
  size_t faces = 0;
  // Where its faces and corners lie among all, so that writing it scans only that stretch (a trail's
  // materials mostly come in runs).
  int firstFace = 0, endFace = 0;
  uint32_t firstCorner = 0, endCorner = 0;
  std::vector<double> mn = std::vector<double>(3, std::numeric_limits<double>::infinity());
  std::vector<double> mx = std::vector<double>(3, -std::numeric_limits<double>::infinity());
};

// Gathers small values into runs for the file.
class Batch {
 public:
  explicit Batch(const gltfsupport::BufferPieces::Emit& emit) : emit_(emit) {}
  void Floats(std::initializer_list<float> v) { Put(v.begin(), v.size() * 4); }
  void Put(const void* p, size_t n) {
    if (used_ + n > sizeof buf_) Flush();
    std::memcpy(buf_ + used_, p, n);
    used_ += n;
  }
  void Flush() {
    if (used_) emit_(buf_, used_);
    used_ = 0;
  }

 private:
  const gltfsupport::BufferPieces::Emit& emit_;
  unsigned char buf_[16384];
  size_t used_ = 0;
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

int AddTrailMesh(tinygltf::Model& model, const Mesh& mesh, const OutputSpace& space, const std::string& name,
                 BufferPieces* pieces) {
  exportdetail::CheckMesh(mesh);
  exportdetail::CheckTransform(space.Transform());
  auto data = std::make_shared<TrailData>();
  {
    MeshNormals normals = ComputeNormals(mesh);
    data->normals = std::move(normals.normals);
    for (Point3& n : data->normals) n = space.Normal(n);
    // Each face's normal indices are replaced by its corners' indices once read.
    data->faceIndex = std::move(normals.cornerNormal);
  }
  const bool has1 = exportdetail::HasTextureFaces(mesh, 1);
  const bool has2 = exportdetail::HasTextureFaces(mesh, 2);
  const UVVert* tv1 = has1 ? mesh.mapVerts(1) : nullptr;
  const TVFace* tf1 = has1 ? mesh.mapFaces(1) : nullptr;
  const UVVert* tv2 = has2 ? mesh.mapVerts(2) : nullptr;
  const TVFace* tf2 = has2 ? mesh.mapFaces(2) : nullptr;

  const int nf = mesh.getNumFaces();
  std::map<MtlID, PrimitiveInfo> prims;
  {
    std::vector<uint32_t> head(size_t(mesh.getNumVerts()), kNone);
    PrimitiveInfo* pi = nullptr;
    MtlID piId = 0;
    for (int f = 0; f < nf; ++f) {
      const MtlID id = mesh.faces[f].getMatID();
      if (!pi || id != piId) pi = &prims[id], piId = id;
      if (!pi->faces++) pi->firstFace = f;
      pi->endFace = f + 1;
      const std::array<uint32_t, 3> normalOf = data->faceIndex[size_t(f)];
      for (int j = 0; j < 3; ++j) {
        const int k = space.Corner(j);
        const uint32_t v = mesh.faces[f].v[k];
        const uint32_t t1 = tf1 ? tf1[f].t[k] : 0, t2 = tf2 ? tf2[f].t[k] : 0;
        const uint32_t n = normalOf[size_t(k)];
        uint32_t at = head[v], index = 0;
        while (at != kNone) {
          const CornerKey& c = data->corners[at];
          if (c.t1 == t1 && c.t2 == t2 && c.n == n && c.mat == id) {
            index = c.index;
            break;
          }
          at = c.next;
        }
        if (at == kNone) {
          if (data->corners.size() >= kNone) throw std::runtime_error("the mesh has too many corners for glTF");
          const Point3 p = space.Point(mesh.verts[v]);
          if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            exportdetail::CheckFinite(p, "vertex " + std::to_string(v) + " in the output space");
          const float xyz[3] = {p.x, p.y, p.z};
          for (size_t c = 0; c < 3; ++c) {
            pi->mn[c] = std::min(pi->mn[c], double(xyz[c]));
            pi->mx[c] = std::max(pi->mx[c], double(xyz[c]));
          }
          at = uint32_t(data->corners.size());
          if (!pi->corners) pi->firstCorner = at;
          pi->endCorner = at + 1;
          index = pi->corners++;
          data->corners.push_back({v, t1, t2, n, index, head[v], id});
          head[v] = at;
        }
        data->faceIndex[size_t(f)][size_t(j)] = index;
      }
    }
  }
  if (prims.empty()) return -1;

  using Emit = BufferPieces::Emit;
  // Calls each(corner) for the corners of a primitive, in their order.
  const auto forCorners = [data](uint32_t first, uint32_t end, MtlID id, const auto& each) {
    data->corners.ForRange(first, end, [&](const CornerKey& c) {
      if (c.mat == id) each(c);
    });
  };
  BufferBuilder bb(model, pieces);
  tinygltf::Mesh gm;
  gm.name = Utf8Name(name);
  for (const auto& [id, pi] : prims) {
    tinygltf::Primitive prim;
    prim.mode = TINYGLTF_MODE_TRIANGLES;
    const size_t nCorners = pi.corners;
    const uint32_t cFirst = pi.firstCorner, cEnd = pi.endCorner;
    const MtlID mat = id;
    prim.indices = bb.Add(
        pi.faces * 12,
        [data, &mesh, first = pi.firstFace, end = pi.endFace, mat](const Emit& emit) {
          Batch out(emit);
          for (int f = first; f < end; ++f)
            if (mesh.faces[f].getMatID() == mat) out.Put(data->faceIndex[size_t(f)].data(), 12);
          out.Flush();
        },
        kElementArrayBuffer, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, pi.faces * 3);
    prim.attributes["POSITION"] = bb.Add(
        nCorners * 12,
        [forCorners, cFirst, cEnd, &mesh, space, mat](const Emit& emit) {
          Batch out(emit);
          forCorners(cFirst, cEnd, mat, [&](const CornerKey& c) {
            const Point3 p = space.Point(mesh.verts[c.v]);
            out.Floats({p.x, p.y, p.z});
          });
          out.Flush();
        },
        kArrayBuffer, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, nCorners, pi.mn, pi.mx);
    prim.attributes["NORMAL"] = bb.Add(
        nCorners * 12,
        [forCorners, cFirst, cEnd, data, mat](const Emit& emit) {
          Batch out(emit);
          forCorners(cFirst, cEnd, mat, [&](const CornerKey& c) {
            const Point3& n = data->normals[c.n];
            out.Floats({n.x, n.y, n.z});
          });
          out.Flush();
        },
        kArrayBuffer, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, nCorners);
    const auto texture = [&](const UVVert* tv, uint32_t CornerKey::*t) {
      return bb.Add(
          nCorners * 8,
          [forCorners, cFirst, cEnd, tv, t, mat](const Emit& emit) {
            Batch out(emit);
            forCorners(cFirst, cEnd, mat, [&](const CornerKey& c) { out.Floats({tv[c.*t].x, 1.0f - tv[c.*t].y}); });
            out.Flush();
          },
          kArrayBuffer, TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC2, nCorners);
    };
    if (tf1) prim.attributes["TEXCOORD_0"] = texture(tv1, &CornerKey::t1);
    if (tf2) prim.attributes["TEXCOORD_1"] = texture(tv2, &CornerKey::t2);
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
  gltfsupport::BufferPieces pieces;
  node.mesh = gltfsupport::AddTrailMesh(model, *m.mesh, OutputSpace(m.nodeTM, opt), m.nodeName, &pieces);
  gltfsupport::WriteSingleNodeModel(model, node, path, binary, &pieces);
}
