#include "Normals.h"

#include <cmath>
#include <map>
#include <stdexcept>

namespace {

struct Vec {
  double x = 0, y = 0, z = 0;
  Vec& operator+=(const Vec& o) {
    x += o.x, y += o.y, z += o.z;
    return *this;
  }
  double Length() const { return std::sqrt(x * x + y * y + z * z); }
};

Vec Sub(const Point3& a, const Point3& b) { return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z}; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// Twice the face's area along its normal, by the winding a, b, c.
Vec AreaNormal(const Point3& a, const Point3& b, const Point3& c) { return Cross(Sub(b, a), Sub(c, a)); }

// A unit float normal, or none when v has no usable direction.
bool Unit(const Vec& v, Point3* out) {
  const double l = v.Length();
  if (!(l > 0.0) || !std::isfinite(l)) return false;
  const Point3 p(float(v.x / l), float(v.y / l), float(v.z / l));
  if (!(p.LengthSquared() > 0.0f)) return false;
  *out = p;
  return true;
}

// The smallest union-find that the sets around one vertex need.
struct Sets {
  std::vector<int> parent;
  int Find(int i) {
    while (parent[size_t(i)] != i) i = parent[size_t(i)] = parent[size_t(parent[size_t(i)])];
    return i;
  }
  void Join(int a, int b) {
    a = Find(a), b = Find(b);
    if (a != b) parent[size_t(std::max(a, b))] = std::min(a, b);
  }
};

}  // namespace

bool IsZeroAreaFace(const Point3& a, const Point3& b, const Point3& c) {
  const double area2 = AreaNormal(a, b, c).Length();
  const Vec e[3] = {Sub(b, a), Sub(c, b), Sub(a, c)};
  double longest = 0;
  for (const Vec& v : e) longest = std::max(longest, v.x * v.x + v.y * v.y + v.z * v.z);
  // Below this the direction is float noise: the corners lie on a line (or on one point) as far as float
  // coordinates can tell.
  return !(area2 > 1e-6 * longest);
}

MeshNormals ComputeNormals(const Mesh& mesh) {
  const int nv = mesh.getNumVerts(), nf = mesh.getNumFaces();
  MeshNormals out;
  out.cornerNormal.resize(size_t(nf));
  std::vector<Vec> faceN(static_cast<size_t>(nf));
  std::vector<bool> zeroArea(static_cast<size_t>(nf));
  for (int f = 0; f < nf; ++f) {
    const DWORD* v = mesh.faces[f].v;
    for (int k = 0; k < 3; ++k)
      if (v[k] >= DWORD(nv)) throw std::runtime_error("face " + std::to_string(f) + " uses a vertex out of range");
    const Point3 &a = mesh.verts[v[0]], &b = mesh.verts[v[1]], &c = mesh.verts[v[2]];
    zeroArea[size_t(f)] = IsZeroAreaFace(a, b, c);
    if (!zeroArea[size_t(f)]) faceN[size_t(f)] = AreaNormal(a, b, c);
  }

  // The corners around each vertex, in face order.
  std::vector<size_t> first(size_t(nv) + 1, 0);
  for (int f = 0; f < nf; ++f)
    for (int k = 0; k < 3; ++k) ++first[mesh.faces[f].v[k] + 1];
  for (int i = 0; i < nv; ++i) first[size_t(i) + 1] += first[size_t(i)];
  std::vector<std::pair<int, int>> corners(first.back());  // (face, corner)
  {
    std::vector<size_t> fill(first.begin(), first.end() - 1);
    for (int f = 0; f < nf; ++f)
      for (int k = 0; k < 3; ++k) corners[fill[mesh.faces[f].v[k]]++] = {f, k};
  }

  std::map<std::array<float, 3>, uint32_t> index;
  auto normalIndex = [&](const Point3& n) {
    auto [it, added] = index.try_emplace({n.x, n.y, n.z}, uint32_t(out.normals.size()));
    if (added) out.normals.push_back(n);
    return it->second;
  };

  Sets sets;
  std::vector<Vec> sum;
  for (int v = 0; v < nv; ++v) {
    const size_t begin = first[size_t(v)], n = first[size_t(v) + 1] - begin;
    if (n == 0) continue;
    // Join the faces with area that share a bit: each one with the first face seen holding each of its bits,
    // which keeps a vertex with many faces linear in their number.
    sets.parent.resize(n);
    for (size_t i = 0; i < n; ++i) sets.parent[i] = int(i);
    int firstWithBit[32];
    std::fill(std::begin(firstWithBit), std::end(firstWithBit), -1);
    Vec all;
    for (size_t i = 0; i < n; ++i) {
      const int f = corners[begin + i].first;
      all += faceN[size_t(f)];
      const DWORD sm = mesh.faces[f].smGroup;
      if (zeroArea[size_t(f)] || sm == 0) continue;
      for (int bit = 0; bit < 32; ++bit)
        if (sm & (DWORD(1) << bit)) {
          if (firstWithBit[bit] < 0)
            firstWithBit[bit] = int(i);
          else
            sets.Join(int(i), firstWithBit[bit]);
        }
    }
    sum.assign(n, Vec{});
    for (size_t i = 0; i < n; ++i) sum[size_t(sets.Find(int(i)))] += faceN[size_t(corners[begin + i].first)];

    Point3 around;
    const bool hasAround = Unit(all, &around);
    for (size_t i = 0; i < n; ++i) {
      const auto [f, k] = corners[begin + i];
      const DWORD sm = mesh.faces[f].smGroup;
      Point3 normal(0.0f, 0.0f, 1.0f);
      if (!zeroArea[size_t(f)]) {
        // Flat, or smooth with its set; a set that cancels out leaves the face its own normal.
        if (sm == 0 || !Unit(sum[size_t(sets.Find(int(i)))], &normal)) Unit(faceN[size_t(f)], &normal);
      } else {
        bool found = false;
        for (int bit = 0; bit < 32 && !found; ++bit)
          if ((sm & (DWORD(1) << bit)) && firstWithBit[bit] >= 0)
            found = Unit(sum[size_t(sets.Find(firstWithBit[bit]))], &normal);
        if (!found && hasAround) normal = around;
      }
      out.cornerNormal[size_t(f)][size_t(k)] = normalIndex(normal);
    }
  }
  return out;
}
