// Wavefront OBJ export, and the helpers both exporters share.
#include "Exporters.h"
#include "Normals.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <vector>

namespace exportdetail {

namespace {

// Writes bytes to a new temporary file beside path and returns its name.
std::string WriteTemporary(const std::string& path, const std::string& bytes) {
  // The temporary file sits in the same folder so that the rename stays within one file system.
  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int err = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    const int e = written ? errno : err;
    std::remove(tmp.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(e));
  }
  return tmp;
}

}  // namespace

void WriteFilesAtomically(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::string> temps;
  try {
    for (const auto& [path, bytes] : files) temps.push_back(WriteTemporary(path, bytes));
  } catch (...) {
    for (const std::string& t : temps) std::remove(t.c_str());
    throw;
  }
  for (size_t i = 0; i < files.size(); ++i)
    if (std::rename(temps[i].c_str(), files[i].first.c_str()) != 0) {
      const int e = errno;
      for (size_t k = i; k < temps.size(); ++k) std::remove(temps[k].c_str());
      throw std::runtime_error("cannot write " + files[i].first + ": " + std::strerror(e));
    }
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

void AppendF(std::string& out, const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0) out.append(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

std::string ObjName(const std::string& name) {
  std::string s = name.empty() ? std::string("mesh") : name;
  for (char& c : s)
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '#') c = '_';
  return s;
}

}  // namespace exportdetail

using exportdetail::AppendF;
using exportdetail::ObjName;

std::string MtlPathFor(const std::string& objPath) {
  const std::filesystem::path p(objPath);
  // mtllib names end at white space: the material library's name has none.
  return (p.parent_path() / (ObjName(p.stem().string()) + ".mtl")).string();
}

namespace {

std::string MtlText(const std::map<MtlID, std::vector<int>>& groups) {
  std::string out = "# Wakeweave materials: one plain diffuse material per material id\n";
  for (const auto& [id, faces] : groups) {
    const double* c = exportdetail::MaterialColor(id);
    AppendF(out, "\nnewmtl mtl%u\nKa 0 0 0\nKd %.9g %.9g %.9g\nKs 0 0 0\nd 1\nillum 1\n", unsigned(id), c[0], c[1],
            c[2]);
  }
  return out;
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

  std::string out;
  out.reserve(size_t(mesh.getNumVerts()) * 40 + size_t(mesh.getNumFaces()) * 60 + normals.normals.size() * 40 + 256);
  AppendF(out, "# Wakeweave mesh, %s, %s\n", opt.objectSpace ? "object space" : "world space",
          opt.zUp ? "Z-up" : "Y-up");
  AppendF(out, "mtllib %s\n", std::filesystem::path(mtlPath).filename().string().c_str());
  AppendF(out, "o %s\n", ObjName(m.nodeName).c_str());
  for (int i = 0; i < mesh.getNumVerts(); ++i) {
    const Point3 p = space.Point(mesh.verts[i]);
    exportdetail::CheckFinite(p, "vertex " + std::to_string(i) + " in the output space");
    AppendF(out, "v %.9g %.9g %.9g\n", p.x, p.y, p.z);
  }
  if (tex) {
    const UVVert* tv = mesh.mapVerts(1);
    for (int i = 0; i < mesh.getNumMapVerts(1); ++i) AppendF(out, "vt %.9g %.9g\n", tv[i].x, tv[i].y);
  }
  for (const Point3& n : normals.normals) {
    const Point3 o = space.Normal(n);
    AppendF(out, "vn %.9g %.9g %.9g\n", o.x, o.y, o.z);
  }

  std::map<MtlID, std::vector<int>> groups;
  for (int f = 0; f < mesh.getNumFaces(); ++f) groups[mesh.faces[f].getMatID()].push_back(f);
  const TVFace* tf = tex ? mesh.mapFaces(1) : nullptr;
  for (const auto& [id, faces] : groups) {
    AppendF(out, "g mtl%u\nusemtl mtl%u\n", unsigned(id), unsigned(id));
    bool first = true;
    DWORD sm = 0;
    for (int f : faces) {
      const Face& face = mesh.faces[f];
      if (first || face.smGroup != sm) {
        sm = face.smGroup;
        if (sm)
          AppendF(out, "s %lu\n", (unsigned long)sm);
        else
          out += "s off\n";
        first = false;
      }
      out += 'f';
      for (int j = 0; j < 3; ++j) {
        const int k = space.Corner(j);
        const unsigned long v = (unsigned long)face.v[k] + 1,
                            n = (unsigned long)normals.cornerNormal[size_t(f)][size_t(k)] + 1;
        if (tf)
          AppendF(out, " %lu/%lu/%lu", v, (unsigned long)tf[f].t[k] + 1, n);
        else
          AppendF(out, " %lu//%lu", v, n);
      }
      out += '\n';
    }
  }
  exportdetail::WriteFilesAtomically({{mtlPath, MtlText(groups)}, {path, out}});
}
