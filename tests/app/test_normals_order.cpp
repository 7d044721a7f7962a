// Vertex normals against a plain per-vertex computation of the same rules: the exports' bytes depend on the
// exact bits of every normal and on the order the distinct normals are numbered in, so both must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <tuple>

#include "Normals.h"
#include "grid_faces.h"

namespace {

struct Vec {
  double x = 0, y = 0, z = 0;
  Vec& operator+=(const Vec& o) {
    x += o.x, y += o.y, z += o.z;
    return *this;
  }
};

Vec Sub(const Point3& a, const Point3& b) { return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z}; }

Vec FaceNormal(const Mesh& m, int f) {
  const DWORD* v = m.faces[f].v;
  const Point3 &a = m.verts[v[0]], &b = m.verts[v[1]], &c = m.verts[v[2]];
  if (IsZeroAreaFace(a, b, c)) return {};
  const Vec u = Sub(b, a), w = Sub(c, a);
  return {u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
}

bool Unit(const Vec& v, Point3* out) {
  const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(l > 0.0) || !std::isfinite(l)) return false;
  const Point3 p(float(v.x / l), float(v.y / l), float(v.z / l));
  if (!(p.LengthSquared() > 0.0f)) return false;
  *out = p;
  return true;
}

// The rules vertex by vertex, each vertex's corners in face order: sets of faces with area joined by shared
// bits, each set's sum added in corner order; distinct normals numbered as they first come.
MeshNormals Reference(const Mesh& m) {
  const int nv = m.getNumVerts(), nf = m.getNumFaces();
  MeshNormals out;
  out.cornerNormal.resize(size_t(nf));
  std::map<std::tuple<float, float, float>, uint32_t> seen;  // -0 and 0 compare equal, as they should
  const auto of = [&](const Point3& n) {
    const auto [it, added] = seen.try_emplace({n.x, n.y, n.z}, uint32_t(out.normals.size()));
    if (added) out.normals.push_back(n);
    return it->second;
  };
  std::vector<std::vector<std::pair<int, int>>> around(static_cast<size_t>(nv));
  for (int f = 0; f < nf; ++f)
    for (int k = 0; k < 3; ++k) around[m.faces[f].v[k]].push_back({f, k});
  for (const auto& cs : around) {
    if (cs.empty()) continue;
    const size_t n = cs.size();
    std::vector<Vec> fn(n);
    std::vector<bool> area(n);
    Vec all;
    for (size_t i = 0; i < n; ++i) {
      fn[i] = FaceNormal(m, cs[i].first);
      const DWORD* v = m.faces[cs[i].first].v;
      area[i] = !IsZeroAreaFace(m.verts[v[0]], m.verts[v[1]], m.verts[v[2]]);
      all += fn[i];
    }
    const auto sm = [&](size_t i) { return m.faces[cs[i].first].smGroup; };
    bool oneSet = sm(0) != 0;
    for (size_t i = 0; i < n; ++i) oneSet = oneSet && area[i] && sm(i) == sm(0);
    Point3 shared;
    if (oneSet && Unit(all, &shared)) {
      for (const auto& [f, k] : cs) out.cornerNormal[size_t(f)][size_t(k)] = of(shared);
      continue;
    }
    // Sets by relabelling until no two faces with a shared bit carry different labels.
    std::vector<size_t> label(n);
    std::iota(label.begin(), label.end(), size_t(0));
    for (bool changed = true; changed;) {
      changed = false;
      for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
          if (area[i] && area[j] && (sm(i) & sm(j)) && label[j] > label[i]) label[j] = label[i], changed = true;
    }
    std::vector<Vec> setSum(n);
    for (size_t i = 0; i < n; ++i) setSum[label[i]] += fn[i];
    Point3 aroundUnit;
    const bool hasAround = Unit(all, &aroundUnit);
    for (size_t i = 0; i < n; ++i) {
      Point3 normal(0.0f, 0.0f, 1.0f);
      if (area[i]) {
        if (sm(i) == 0 || !Unit(setSum[label[i]], &normal)) Unit(fn[i], &normal);
      } else {
        bool found = false;
        for (int bit = 0; bit < 32 && !found; ++bit)
          for (size_t j = 0; j < n && !found; ++j)
            if ((sm(i) & sm(j) & (DWORD(1) << bit)) && area[j]) {
              found = Unit(setSum[label[j]], &normal);
              break;  // the first face with area holding the bit speaks for its set
            }
        if (!found && hasAround) normal = aroundUnit;
      }
      out.cornerNormal[size_t(cs[i].first)][size_t(cs[i].second)] = of(normal);
    }
  }
  return out;
}

// A random mesh on a coarse grid, so that faces on a line (or nearly) or a point, faces naming a vertex twice, faces
// folded back onto another, unused vertices and smoothing groups that mix all come up often.
Mesh RandomMesh(std::mt19937& rng, bool mostlyOneGroup) {
  const int nv = std::uniform_int_distribution<int>(1, 30)(rng);
  const int used = std::uniform_int_distribution<int>(1, nv)(rng);  // vertices past it stay unused
  const int nf = std::uniform_int_distribution<int>(0, 40)(rng);
  std::uniform_int_distribution<int> coord(-2, 2), vert(0, used - 1), pick(0, 9);
  Mesh m;
  m.setNumVerts(nv);
  // Some coordinates a few float steps off the grid: faces on a line then have a tiny cross product that
  // still counts as no area.
  const auto at = [&](float scale) {
    float x = float(coord(rng)) * scale;
    if (pick(rng) < 3)
      for (int n = pick(rng) % 3; n >= 0; --n) x = std::nextafter(x, 10.0f);
    return x;
  };
  for (int i = 0; i < nv; ++i) m.setVert(i, Point3(at(1.0f), at(1.0f), at(0.5f)));
  m.setNumFaces(nf);
  const DWORD groups[] = {0, 1, 2, 3, 6, 0x80000000u};
  for (int f = 0; f < nf; ++f) {
    DWORD a = DWORD(vert(rng)), b = DWORD(vert(rng)), c = DWORD(vert(rng));
    if (pick(rng) == 0 && f > 0) {  // the reverse of an earlier face: a set that cancels out
      const DWORD* e = m.faces[std::uniform_int_distribution<int>(0, f - 1)(rng)].v;
      a = e[0], b = e[2], c = e[1];
    } else if (pick(rng) == 0) {
      b = a;
    }
    m.faces[f] = Face();
    m.faces[f].setVerts(a, b, c);
    const DWORD g = mostlyOneGroup && pick(rng) < 8 ? 1 : groups[pick(rng) % 6];
    m.faces[f].setSmGroup(g);
  }
  return m;
}

// A strip of quads as a trail is made, with a few faces of other groups and a pinched row of zero area.
Mesh Strip(std::mt19937& rng, int cols, int rows) {
  Mesh m;
  m.setNumVerts(cols * rows);
  std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      m.setVert(r * cols + c, Point3(float(c), r == 2 ? 0.0f : float(r) + jitter(rng), jitter(rng)));
  std::uniform_int_distribution<int> pick(0, 19);
  MakeGridFaces(m, cols, rows, [&](int f, int, int, const std::array<DWORD, 3>&) {
    m.faces[f].setSmGroup(pick(rng) == 0 ? 0 : pick(rng) == 0 ? 2 : 1);
  });
  return m;
}

void ExpectSame(const MeshNormals& got, const MeshNormals& want, const std::string& what) {
  ASSERT_EQ(got.normals.size(), want.normals.size()) << what;
  for (size_t i = 0; i < want.normals.size(); ++i)
    ASSERT_EQ(std::memcmp(&got.normals[i], &want.normals[i], sizeof(Point3)), 0)
        << what << ": normal " << i << " (" << got.normals[i].x << ", " << got.normals[i].y << ", " << got.normals[i].z
        << ") want (" << want.normals[i].x << ", " << want.normals[i].y << ", " << want.normals[i].z << ")";
  ASSERT_EQ(got.cornerNormal, want.cornerNormal) << what;
}

TEST(NormalsOrder, RandomMeshesGiveTheReferencesNormalsBitForBitInItsOrder) {
  std::mt19937 rng(20261210);
  for (int i = 0; i < 3000; ++i) {
    const Mesh m = RandomMesh(rng, i % 2 == 0);
    ExpectSame(ComputeNormals(m), Reference(m), "random mesh " + std::to_string(i));
  }
}

TEST(NormalsOrder, TrailStripsWithOddFacesGiveTheReferencesNormals) {
  std::mt19937 rng(7);
  for (int i = 0; i < 50; ++i) {
    const Mesh m = Strip(rng, 3 + i % 17, 3 + i % 5);
    const MeshNormals got = ComputeNormals(m);
    ExpectSame(got, Reference(m), "strip " + std::to_string(i));
    // The strip's smooth faces must share normals: fewer distinct ones than corners.
    EXPECT_LT(got.normals.size(), size_t(m.getNumFaces()) * 3);
  }
}

// The rule for a face with no area as written down: its cross product's length against the longest edge.
bool PlainZeroArea(const Point3& a, const Point3& b, const Point3& c) {
  const Vec u = Sub(b, a), w = Sub(c, a), e[3] = {u, Sub(c, b), Sub(a, c)};
  const Vec n = {u.y * w.z - u.z * w.y, u.z * w.x - u.x * w.z, u.x * w.y - u.y * w.x};
  double longest = 0;
  for (const Vec& v : e) longest = std::max(longest, v.x * v.x + v.y * v.y + v.z * v.z);
  return !(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z) > 1e-6 * longest);
}

TEST(NormalsOrder, ZeroAreaDecidesAsThePlainRuleRightAtItsBound) {
  // Slivers of base L and height h, a float step or two from the bound h = 1e-6 L, at scales from tiny to huge
  // and along every axis: their products are exact, so many land a hair from the bound, where only the square
  // root decides. Every answer must be the plain rule's, and both answers must come up.
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> scale(-30.0, 30.0);
  std::uniform_int_distribution<int> step(-2, 2), axis(0, 2);
  int zero = 0, area = 0;
  for (int i = 0; i < 200000; ++i) {
    const float L = float(std::pow(10.0, scale(rng)));
    float h = float(1e-6 * L);
    for (int n = step(rng); n; n += n < 0 ? 1 : -1) h = std::nextafter(h, n < 0 ? 0.0f : 1e30f);
    const int x = axis(rng), y = (x + 1 + axis(rng) % 2) % 3;
    Point3 a(0.0f, 0.0f, 0.0f), b = a, c = a;
    b[x] = L, c[x] = L / 2, c[y] = h;
    const bool want = PlainZeroArea(a, b, c);
    ASSERT_EQ(IsZeroAreaFace(a, b, c), want) << "sliver " << i << " of base " << L << " and height " << h;
    ++(want ? zero : area);
  }
  EXPECT_GT(zero, 1000);
  EXPECT_GT(area, 1000);
  const Point3 p(1.0f, 2.0f, 3.0f), inf(std::numeric_limits<float>::infinity(), 0.0f, 0.0f);
  EXPECT_TRUE(IsZeroAreaFace(p, p, p));
  EXPECT_EQ(IsZeroAreaFace(p, inf, Point3(0, 0, 0)), PlainZeroArea(p, inf, Point3(0, 0, 0)));
  EXPECT_FALSE(IsZeroAreaFace(Point3(0, 0, 0), Point3(1e-20f, 0.0f, 0.0f), Point3(0.0f, 1e-20f, 0.0f)));
}

}  // namespace
