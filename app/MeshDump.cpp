#include "MeshDump.h"

#include <cmath>
#include <cstring>

#include "Errors.h"
#include "OutputFile.h"

namespace {

// Appends text of known length at p.
char* Put(char* p, const char* text, size_t n) {
  std::memcpy(p, text, n);
  return p + n;
}

template <class Get>
void WriteTriples(ChunkSink& out, int count, Get get) {
  out << '[';
  for (int i = 0; i < count; ++i) {
    DWORD a, b, c;
    get(i, a, b, c);
    // Each element formatted whole in the buffer: one check of its room instead of one per piece.
    char* p = out.Claim(3 * kUnsignedChars + 8);
    if (i) p = Put(p, ", ", 2);
    *p++ = '[';
    p += FormatUnsigned(p, a);
    p = Put(p, ", ", 2);
    p += FormatUnsigned(p, b);
    p = Put(p, ", ", 2);
    p += FormatUnsigned(p, c);
    *p++ = ']';
    out.Advance(p);
  }
  out << ']';
}

template <class Get>
void WriteInts(ChunkSink& out, int count, Get get) {
  out << '[';
  for (int i = 0; i < count; ++i) {
    char* p = out.Claim(kUnsignedChars + 2);
    if (i) p = Put(p, ", ", 2);
    p += FormatUnsigned(p, get(i));
    out.Advance(p);
  }
  out << ']';
}

void WriteMapFaces(ChunkSink& out, const TVFace* faces, int count) {
  if (!faces) count = 0;
  WriteTriples(out, count, [&](int i, DWORD& a, DWORD& b, DWORD& c) {
    a = faces[i].t[0];
    b = faces[i].t[1];
    c = faces[i].t[2];
  });
}

}  // namespace

void WriteJsonPoints(ChunkSink& out, const Point3* pts, int count, const char* subject, const char* what) {
  out << '[';
  for (int i = 0; i < count; ++i) {
    const Point3& p = pts[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
      throw RunError(std::string(subject) + " holds a non-finite value in " + what + "[" + std::to_string(i) +
                     "]; it can't be written as JSON");
    char* q = out.Claim(3 * kFloatChars + 8);
    if (i) q = Put(q, ", ", 2);
    *q++ = '[';
    q += FormatFloat9(q, p.x);
    q = Put(q, ", ", 2);
    q += FormatFloat9(q, p.y);
    q = Put(q, ", ", 2);
    q += FormatFloat9(q, p.z);
    *q++ = ']';
    out.Advance(q);
  }
  out << ']';
}

void WriteMeshDump(const Mesh& m, ChunkSink& out) {
  out << "{\n  \"verts\":   ";
  WriteJsonPoints(out, m.verts, m.getNumVerts(), "the mesh", "verts");
  out << ",\n  \"faces\":   ";
  WriteTriples(out, m.getNumFaces(), [&](int i, DWORD& a, DWORD& b, DWORD& c) {
    a = m.faces[i].v[0];
    b = m.faces[i].v[1];
    c = m.faces[i].v[2];
  });
  out << ",\n  \"matIds\":  ";
  WriteInts(out, m.getNumFaces(), [&](int i) { return unsigned(m.faces[i].getMatID()); });
  out << ",\n  \"smGroups\": ";
  WriteInts(out, m.getNumFaces(), [&](int i) { return m.faces[i].smGroup; });
  out << ",\n  \"edgeVis\": ";
  WriteTriples(out, m.getNumFaces(), [&](int i, DWORD& a, DWORD& b, DWORD& c) {
    a = m.faces[i].getEdgeVis(0) ? 1 : 0;
    b = m.faces[i].getEdgeVis(1) ? 1 : 0;
    c = m.faces[i].getEdgeVis(2) ? 1 : 0;
  });
  // Texture vertices and faces come together: without vertices both are empty.
  const int numTVerts = m.getNumTVerts();
  const bool hasTex = numTVerts > 0 && m.mapVerts(1);
  out << ",\n  \"tverts\":  ";
  WriteJsonPoints(out, hasTex ? m.mapVerts(1) : nullptr, hasTex ? numTVerts : 0, "the mesh", "tverts");
  out << ",\n  \"tvFaces\": ";
  WriteMapFaces(out, hasTex ? m.mapFaces(1) : nullptr, hasTex ? m.getNumMapFaces(1) : 0);
  out << ",\n  \"map2\":    ";
  if (m.mapSupport(2)) {
    const UVVert* mv = m.mapVerts(2);
    out << "{ \"verts\": ";
    WriteJsonPoints(out, mv, mv ? m.getNumMapVerts(2) : 0, "the mesh", "map2.verts");
    out << ", \"faces\": ";
    WriteMapFaces(out, m.mapFaces(2), m.getNumMapFaces(2));
    out << " }";
  } else {
    out << "null";
  }
  out << "\n}\n";
}

std::string MeshDumpJson(const Mesh& mesh) {
  StringSink out;
  WriteMeshDump(mesh, out);
  return out.Take();
}

void WriteMeshDump(const Mesh& mesh, const std::string& path) {
  AtomicFile file(path);
  WriteMeshDump(mesh, file);
  file.Commit();
}
