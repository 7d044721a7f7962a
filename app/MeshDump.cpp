#include "MeshDump.h"

#include <cmath>
#include <cstdio>

#include "Errors.h"

namespace {

template <class Get>
void AppendTriples(std::string& out, int count, Get get) {
  out += '[';
  for (int i = 0; i < count; ++i) {
    if (i) out += ", ";
    DWORD a, b, c;
    get(i, a, b, c);
    out += '[' + std::to_string(a) + ", " + std::to_string(b) + ", " + std::to_string(c) + ']';
  }
  out += ']';
}

template <class Get>
void AppendInts(std::string& out, int count, Get get) {
  out += '[';
  for (int i = 0; i < count; ++i) {
    if (i) out += ", ";
    out += std::to_string(get(i));
  }
  out += ']';
}

void AppendMapFaces(std::string& out, const TVFace* faces, int count) {
  if (!faces) count = 0;
  AppendTriples(out, count, [&](int i, DWORD& a, DWORD& b, DWORD& c) {
    a = faces[i].t[0];
    b = faces[i].t[1];
    c = faces[i].t[2];
  });
}

}  // namespace

static void AppendJsonFloat(std::string& out, float v, const char* subject, const std::string& what) {
  if (!std::isfinite(v))
    throw RunError(std::string(subject) + " holds a non-finite value in " + what + "; it can't be written as JSON");
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", double(v));
  out += buf;
}

void AppendJsonPoints(std::string& out, const Point3* pts, int count, const char* subject, const char* what) {
  out += '[';
  for (int i = 0; i < count; ++i) {
    if (i) out += ", ";
    const std::string at = std::string(what) + "[" + std::to_string(i) + "]";
    out += '[';
    AppendJsonFloat(out, pts[i].x, subject, at);
    out += ", ";
    AppendJsonFloat(out, pts[i].y, subject, at);
    out += ", ";
    AppendJsonFloat(out, pts[i].z, subject, at);
    out += ']';
  }
  out += ']';
}

std::string MeshDumpJson(const Mesh& m) {
  std::string out = "{\n";
  out += "  \"verts\":   ";
  AppendJsonPoints(out, m.verts, m.getNumVerts(), "the mesh", "verts");
  out += ",\n  \"faces\":   ";
  AppendTriples(out, m.getNumFaces(), [&](int i, DWORD& a, DWORD& b, DWORD& c) {
    a = m.faces[i].v[0];
    b = m.faces[i].v[1];
    c = m.faces[i].v[2];
  });
  out += ",\n  \"matIds\":  ";
  AppendInts(out, m.getNumFaces(), [&](int i) { return unsigned(m.faces[i].getMatID()); });
  out += ",\n  \"smGroups\": ";
  AppendInts(out, m.getNumFaces(), [&](int i) { return m.faces[i].smGroup; });
  out += ",\n  \"edgeVis\": ";
  AppendTriples(out, m.getNumFaces(), [&](int i, DWORD& a, DWORD& b, DWORD& c) {
    a = m.faces[i].getEdgeVis(0) ? 1 : 0;
    b = m.faces[i].getEdgeVis(1) ? 1 : 0;
    c = m.faces[i].getEdgeVis(2) ? 1 : 0;
  });
  // Texture vertices and faces come together: without vertices both are empty.
  const int numTVerts = m.getNumTVerts();
  const bool hasTex = numTVerts > 0 && m.mapVerts(1);
  out += ",\n  \"tverts\":  ";
  AppendJsonPoints(out, hasTex ? m.mapVerts(1) : nullptr, hasTex ? numTVerts : 0, "the mesh", "tverts");
  out += ",\n  \"tvFaces\": ";
  AppendMapFaces(out, hasTex ? m.mapFaces(1) : nullptr, hasTex ? m.getNumMapFaces(1) : 0);
  out += ",\n  \"map2\":    ";
  if (m.mapSupport(2)) {
    const UVVert* mv = m.mapVerts(2);
    out += "{ \"verts\": ";
    AppendJsonPoints(out, mv, mv ? m.getNumMapVerts(2) : 0, "the mesh", "map2.verts");
    out += ", \"faces\": ";
    AppendMapFaces(out, m.mapFaces(2), m.getNumMapFaces(2));
    out += " }";
  } else {
    out += "null";
  }
  out += "\n}\n";
  return out;
}
