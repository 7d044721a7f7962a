// Wavefront OBJ export, and the helpers both exporters share.
#include "Exporters.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <vector>

namespace exportdetail {

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  // The temporary file sits in the same folder so that the rename stays within one file system.
  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const int err = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    std::remove(tmp.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(written ? errno : err));
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    const int e = errno;
    std::remove(tmp.c_str());
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(e));
  }
}

bool HasTextureFaces(const Mesh& mesh, int ch) {
  return mesh.mapSupport(ch) && mesh.getNumMapVerts(ch) > 0 && mesh.getNumMapFaces(ch) == mesh.getNumFaces() &&
         (mesh.getNumFaces() == 0 || mesh.mapFaces(ch) != nullptr);
}

static bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

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

void WriteObj(const ExportMesh& m, const std::string& path) {
  if (!m.mesh) throw std::runtime_error("no mesh to write to " + path);
  const Mesh& mesh = *m.mesh;
  exportdetail::CheckMesh(mesh);
  const bool tex = exportdetail::HasTextureFaces(mesh, 1);

  std::string out;
  out.reserve(size_t(mesh.getNumVerts()) * 40 + size_t(mesh.getNumFaces()) * 40 + 256);
  out += "# Wakeweave mesh, object space\n";
  out += "# node transform (rows, p' = p * M):";
  for (int r = 0; r < 4; ++r) {
    const Point3 row = m.nodeTM.GetRow(r);
    AppendF(out, " [%.9g %.9g %.9g]", row.x, row.y, row.z);
  }
  out += "\n";
  AppendF(out, "o %s\n", ObjName(m.nodeName).c_str());
  for (int i = 0; i < mesh.getNumVerts(); ++i) {
    const Point3& p = mesh.verts[i];
    AppendF(out, "v %.9g %.9g %.9g\n", p.x, p.y, p.z);
  }
  if (tex) {
    const UVVert* tv = mesh.mapVerts(1);
    for (int i = 0; i < mesh.getNumMapVerts(1); ++i) AppendF(out, "vt %.9g %.9g\n", tv[i].x, tv[i].y);
  }

  std::map<MtlID, std::vector<int>> groups;
  for (int f = 0; f < mesh.getNumFaces(); ++f) groups[mesh.faces[f].getMatID()].push_back(f);
  const TVFace* tf = tex ? mesh.mapFaces(1) : nullptr;
  for (const auto& [id, faces] : groups) {
    AppendF(out, "g mtl%u\nusemtl mtl%u\n", unsigned(id), unsigned(id));
    for (int f : faces) {
      const DWORD* v = mesh.faces[f].v;
      if (tf)
        AppendF(out, "f %lu/%lu %lu/%lu %lu/%lu\n", (unsigned long)v[0] + 1, (unsigned long)tf[f].t[0] + 1,
                (unsigned long)v[1] + 1, (unsigned long)tf[f].t[1] + 1, (unsigned long)v[2] + 1,
                (unsigned long)tf[f].t[2] + 1);
      else
        AppendF(out, "f %lu %lu %lu\n", (unsigned long)v[0] + 1, (unsigned long)v[1] + 1, (unsigned long)v[2] + 1);
    }
  }
  exportdetail::WriteFileAtomically(path, out);
}
