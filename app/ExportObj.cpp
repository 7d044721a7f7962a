// Wavefront OBJ export, and the helpers both exporters share.
#include "Exporters.h"
#include "Normals.h"
#include "OutputFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

namespace exportdetail {

void WriteFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::unique_ptr<AtomicFile>> temps;
  std::vector<AtomicFile*> all;
  for (const auto& [path, bytes] : files) {
    temps.push_back(std::make_unique<AtomicFile>(path));
    *temps.back() << bytes;
    all.push_back(temps.back().get());
  }
  CommitTogether(all);
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) { WriteFilesAtomically({{path, bytes}}); }

const double* MaterialColor(unsigned id) {
  static const double kColors[][3] = {{0.80, 0.80, 0.80}, {0.85, 0.33, 0.10}, {0.20, 0.55, 0.85},
                                      {0.35, 0.70, 0.30}, {0.90, 0.75, 0.20}, {0.60, 0.35, 0.75}};
  return kColors[id % (sizeof kColors / sizeof kColors[0])];
}

bool HasTextureFaces(const Mesh& mesh, int ch) {
  return mesh.mapSupport(ch) && mesh.getNumMapVerts(ch) > 0 && mesh.getNumMapFaces(ch) == mesh.getNumFaces() &&
         (mesh.getNumFaces() == 0 || mesh.mapFaces(ch) != nullptr);
}

static bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

void CheckFinite(const Point3& p, const std::string& what) {
  if (!Finite(p)) throw std::runtime_error(what + " is not finite");
}

void CheckTransform(const Matrix3& tm) {
  for (int r = 0; r < 4; ++r) CheckFinite(tm.GetRow(r), "the node transform");
}

void CheckMesh(const Mesh& mesh) {
  const int nv = mesh.getNumVerts(), nf = mesh.getNumFaces();
  if (nv < 0 || nf < 0 || (nv > 0 && !mesh.verts) || (nf > 0 && !mesh.faces))
    throw std::runtime_error("the mesh's storage is inconsistent");
  for (int i = 0; i < nv; ++i)
    if (!Finite(mesh.verts[i])) throw std::runtime_error("vertex " + std::to_string(i) + " is not finite");
  for (int f = 0; f < nf; ++f)
    for (int k = 0; k < 3; ++k)
      if (mesh.faces[f].v[k] >= DWORD(nv))
        throw std::runtime_error("face " + std::to_string(f) + " uses vertex " + std::to_string(mesh.faces[f].v[k]) +
                                 " of " + std::to_string(nv));
  for (int ch = 1; ch <= 2; ++ch) {
    if (!mesh.mapSupport(ch) || mesh.getNumMapVerts(ch) == 0) continue;
    const std::string name = "map channel " + std::to_string(ch);
    if (mesh.getNumMapFaces(ch) != nf)
      throw std::runtime_error(name + " has " + std::to_string(mesh.getNumMapFaces(ch)) + " faces for " +
                               std::to_string(nf) + " mesh faces");
    const int nt = mesh.getNumMapVerts(ch);
    const UVVert* tv = mesh.mapVerts(ch);
    const TVFace* tf = mesh.mapFaces(ch);
    for (int i = 0; i < nt; ++i)
      if (!Finite(tv[i])) throw std::runtime_error(name + " vertex " + std::to_string(i) + " is not finite");
    for (int f = 0; f < nf; ++f)
      for (int k = 0; k < 3; ++k)
        if (tf[f].t[k] >= DWORD(nt))
          throw std::runtime_error(name + " face " + std::to_string(f) + " uses vertex " + std::to_string(tf[f].t[k]) +
                                   " of " + std::to_string(nt));
  }
}

std::string ObjName(const std::string& name) {
  std::string s = name.empty() ? std::string("mesh") : name;
  for (char& c : s)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#') c = '_';
  return s;
}

}  // namespace exportdetail

using exportdetail::ObjName;

std::string MtlPathFor(const std::string& objPath) {
  const std::filesystem::path p(objPath);
  // mtllib names end at white space: the material library's name has none.
  return (p.parent_path() / (ObjName(p.stem().string()) + ".mtl")).string();
}

namespace {

void WriteMtl(ChunkSink& out, const std::map<MtlID, std::vector<int>>& groups) {
  out << "# Wakeweave materials: one plain diffuse material per material id\n";
  for (const auto& [id, faces] : groups) {
    const double* c = exportdetail::MaterialColor(id);
    out << "\nnewmtl mtl";
    out.Unsigned(unsigned(id)) << "\nKa 0 0 0\nKd ";
    out.Float(c[0]) << ' ';
    out.Float(c[1]) << ' ';
    out.Float(c[2]) << "\nKs 0 0 0\nd 1\nillum 1\n";
  }
}

// The first index at which the output space overflows a vertex, or -1.
int FirstNonFinite(const Mesh& mesh, const OutputSpace& space) {
  for (int i = 0; i < mesh.getNumVerts(); ++i) {
    const Point3 p = space.Point(mesh.verts[i]);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return i;
  }
  return -1;
}

// A line "<tag> x y z", formatted whole in the buffer (one check of its room).
void WritePoint3(ChunkSink& out, std::string_view tag, const Point3& p) {
  char* q = out.Claim(tag.size() + 3 * kFloatChars + 3);
  std::memcpy(q, tag.data(), tag.size());
  q += tag.size();
  q += FormatFloat9(q, p.x);
  *q++ = ' ';
  q += FormatFloat9(q, p.y);
  *q++ = ' ';
  q += FormatFloat9(q, p.z);
  *q++ = '\n';
  out.Advance(q);
}

}  // namespace

void WriteObj(const ExportMesh& m, const std::string& path, const ExportSpaceOptions& opt) {
  if (!m.mesh) throw std::runtime_error("no mesh to write to " + path);
  const Mesh& mesh = *m.mesh;
  exportdetail::CheckMesh(mesh);
  exportdetail::CheckTransform(m.nodeTM);
  const bool tex = exportdetail::HasTextureFaces(mesh, 1);
  const OutputSpace space(m.nodeTM, opt);
  const MeshNormals normals = ComputeNormals(mesh);
  const std::string mtlPath = MtlPathFor(path);

  // Checked before anything is written: a mesh that can't be placed costs no file work.
  if (const int bad = FirstNonFinite(mesh, space); bad >= 0)
    exportdetail::CheckFinite(space.Point(mesh.verts[bad]), "vertex " + std::to_string(bad) + " in the output space");
  std::map<MtlID, std::vector<int>> groups;
  for (int f = 0; f < mesh.getNumFaces(); ++f) groups[mesh.faces[f].getMatID()].push_back(f);

  AtomicFile mtl(mtlPath), out(path);
  WriteMtl(mtl, groups);
  out << "# Wakeweave mesh, " << (opt.objectSpace ? "object space" : "world space") << ", "
      << (opt.zUp ? "Z-up" : "Y-up") << "\nmtllib " << std::filesystem::path(mtlPath).filename().string() << "\no "
      << ObjName(m.nodeName) << '\n';
  for (int i = 0; i < mesh.getNumVerts(); ++i) WritePoint3(out, "v ", space.Point(mesh.verts[i]));
  if (tex) {
    const UVVert* tv = mesh.mapVerts(1);
    for (int i = 0; i < mesh.getNumMapVerts(1); ++i) {
      char* p = out.Claim(3 + 2 * kFloatChars + 2);
      std::memcpy(p, "vt ", 3);
      p += 3;
      p += FormatFloat9(p, tv[i].x);
      *p++ = ' ';
      p += FormatFloat9(p, tv[i].y);
      *p++ = '\n';
      out.Advance(p);
    }
  }
  for (const Point3& n : normals.normals) WritePoint3(out, "vn ", space.Normal(n));

  const TVFace* tf = tex ? mesh.mapFaces(1) : nullptr;
  for (const auto& [id, faces] : groups) {
    out << "g mtl";
    out.Unsigned(unsigned(id)) << "\nusemtl mtl";
    out.Unsigned(unsigned(id)) << '\n';
    bool first = true;
    DWORD sm = 0;
    for (int f : faces) {
      const Face& face = mesh.faces[f];
      if (first || face.smGroup != sm) {
        sm = face.smGroup;
        if (sm) {
          out << "s ";
          out.Unsigned(sm) << '\n';
        } else {
          out << "s off\n";
        }
        first = false;
      }
      // The line formatted whole in the buffer: "f v/t/n v/t/n v/t/n".
      char* p = out.Claim(2 + 3 * (3 * kUnsignedChars + 3));
      *p++ = 'f';
      for (int j = 0; j < 3; ++j) {
        const int k = space.Corner(j);
        *p++ = ' ';
        p += FormatUnsigned(p, uint64_t(face.v[k]) + 1);
        *p++ = '/';
        if (tf) p += FormatUnsigned(p, uint64_t(tf[f].t[k]) + 1);
        *p++ = '/';
        p += FormatUnsigned(p, uint64_t(normals.cornerNormal[size_t(f)][size_t(k)]) + 1);
      }
      *p++ = '\n';
      out.Advance(p);
    }
  }
  CommitTogether({&mtl, &out});
}
