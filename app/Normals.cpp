#include "Normals.h"

#include <cmath>
#include <algorithm>
#include <cstring>
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

// The helpers run once or more per face: forced inline, as a call each costs more than their arithmetic.
#define WW_INLINE [[gnu::always_inline]] inline

WW_INLINE Vec Sub(const Point3& a, const Point3& b) {
  return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
}
WW_INLINE Vec Cross(const Vec& a, const Vec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Twice the face's area along its normal, by the winding a, b, c.
WW_INLINE Vec AreaNormal(const Point3& a, const Point3& b, const Point3& c) { return Cross(Sub(b, a), Sub(c, a)); }

// A face's area normal (twice its area along its normal, by the winding a, b, c) and whether it counts as
// having no area: one computation for IsZeroAreaFace and the pass over faces, so both decide alike.
struct FaceArea {
  Vec n;
  bool zero;
};
WW_INLINE FaceArea AreaOf(const Point3& a, const Point3& b, const Point3& c) {
  const Vec ab = Sub(b, a), ac = Sub(c, a), bc = Sub(c, b);
  const Vec n = Cross(ab, ac);
  const double area2 = n.x * n.x + n.y * n.y + n.z * n.z;
  double longest = 0;  // the longest edge, squared (c - a squares as a - c does: its negation is exact)
  for (const Vec* v : {&ab, &bc, &ac}) longest = std::max(longest, v->x * v->x + v->y * v->y + v->z * v->z);
  // Below this the direction is float noise: the corners lie on a line (or on one point) as far as float
  // coordinates can tell.
  const double t = 1e-6 * longest;
  // Whether sqrt(area2) > t. Away from the bound, squares decide it without the square root: a margin of 1e-9
  // dwarfs the roundings of t * t, of the margin's product and of the root, so the answer is the root's.
  if (t > 1e-140 && t < 1e140) {
    const double q = t * t;
    if (area2 > q * (1 + 1e-9)) return {n, false};
    if (area2 < q * (1 - 1e-9)) return {n, true};
  }
  return {n, !(std::sqrt(area2) > t)};
}

// A unit float normal, or none when v has no usable direction.
WW_INLINE bool Unit(const Vec& v, Point3* out) {
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

bool IsZeroAreaFace(const Point3& a, const Point3& b, const Point3& c) { return AreaOf(a, b, c).zero; }

namespace {

// The distinct normals, numbered in the order they first come: an open-addressing table of indices into the
// list, some 8 bytes a normal where a tree of them costs eight times that. Normals are equal when their
// components compare equal (so 0 and -0 are one); the first one seen is kept.
class NormalIndex {
 public:
  explicit NormalIndex(std::vector<Point3>& normals) : normals_(normals), slots_(64, kEmpty) {}
  uint32_t Of(const Point3& n) {
    // The corners around a vertex mostly share their normal: the last answer saves a probe of the table.
    if (!normals_.empty() && n.x == last_.x && n.y == last_.y && n.z == last_.z) return lastIndex_;
    last_ = n;
    lastIndex_ = Find(n);
    return lastIndex_;
  }

 private:
  uint32_t Find(const Point3& n) {
    if ((normals_.size() + 1) * 2 > slots_.size()) Grow();
    for (size_t at = Hash(n) & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
      const uint32_t i = slots_[at];
      if (i == kEmpty) {
        slots_[at] = uint32_t(normals_.size());
        normals_.push_back(n);
        return slots_[at];
      }
      const Point3& o = normals_[i];
      if (o.x == n.x && o.y == n.y && o.z == n.z) return i;
    }
  }

  static constexpr uint32_t kEmpty = UINT32_MAX;
  static size_t Hash(const Point3& n) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (float f : {n.x, n.y, n.z}) {
      uint32_t bits;
      const float plain = f + 0.0f;  // -0 hashes as 0, as it compares
      std::memcpy(&bits, &plain, 4);
      h = (h ^ bits) * 0xBF58476D1CE4E5B9ull;
      h ^= h >> 29;
    }
    return size_t(h);
  }
  void Grow() {
    std::vector<uint32_t> old(slots_.size() * 2, kEmpty);
    old.swap(slots_);
    for (uint32_t i : old)
      if (i != kEmpty) {
        size_t at = Hash(normals_[i]) & (slots_.size() - 1);
        while (slots_[at] != kEmpty) at = (at + 1) & (slots_.size() - 1);
        slots_[at] = i;
      }
  }
  std::vector<Point3>& normals_;
  std::vector<uint32_t> slots_;
  Point3 last_;
  uint32_t lastIndex_ = 0;
};

}  // namespace

MeshNormals ComputeNormals(const Mesh& mesh) {
  const int nv = mesh.getNumVerts(), nf = mesh.getNumFaces();
  MeshNormals out;
  // A corner is kept as face * 3 + corner in 4 bytes.
  if (size_t(std::max(nf, 0)) > UINT32_MAX / 3) throw std::runtime_error("the mesh has too many faces for its normals");
  out.cornerNormal.resize(size_t(nf));

  // The usual vertex of a trail has faces with area and one nonzero smoothing group around it: a single set,
  // whose normal is the sum of its faces' normals. One pass over the faces makes each face's normal once and
  // adds it to its corners' vertices in face and corner order (the order the corners around a vertex are
  // visited below, so the same sum to the bit). The other vertices take the general path further down.
  enum : uint8_t { kUnused, kOneSet, kGeneral };
  std::vector<uint8_t> kind(size_t(nv), kUnused);
  // Per vertex, over time: its first face's smoothing group; then, for a general vertex, where its corners end
  // in `corners`; for a one-set vertex, its normal's index.
  std::vector<uint32_t> slot(static_cast<size_t>(nv));
  std::vector<Vec> sumOf(static_cast<size_t>(nv));  // a one-set vertex's sum, then its unit normal
  // Face normals of the general path are made again where needed rather than kept (24 bytes a face).
  std::vector<bool> zeroArea(static_cast<size_t>(nf));
  for (int f = 0; f < nf; ++f) {
    const DWORD* v = mesh.faces[f].v;
    for (int k = 0; k < 3; ++k)
      if (v[k] >= DWORD(nv)) throw std::runtime_error("face " + std::to_string(f) + " uses a vertex out of range");
    const Point3 &a = mesh.verts[v[0]], &b = mesh.verts[v[1]], &c = mesh.verts[v[2]];
    const auto [n, zero] = AreaOf(a, b, c);
    zeroArea[size_t(f)] = zero;
    const DWORD sm = mesh.faces[f].smGroup;
    for (int k = 0; k < 3; ++k) {
      const size_t at = v[k];
      uint8_t& kd = kind[at];
      if (kd == kUnused) {
        kd = sm != 0 && !zero ? kOneSet : kGeneral;
        slot[at] = sm;
      } else if (kd == kOneSet && (zero || sm != slot[at])) {
        kd = kGeneral;
      }
      if (kd == kOneSet) sumOf[at] += n;
    }
  }
  // A one-set vertex whose sum has no direction goes the general way too.
  bool anyOneSet = false, anyGeneral = false;
  for (size_t at = 0; at < size_t(nv); ++at) {
    Point3 unit;
    if (kind[at] == kOneSet && Unit(sumOf[at], &unit)) {
      sumOf[at] = {unit.x, unit.y, unit.z};
      anyOneSet = true;
    } else if (kind[at] != kUnused) {
      kind[at] = kGeneral;
      slot[at] = 0;
      anyGeneral = true;
    }
  }
  if (!anyOneSet) std::vector<Vec>().swap(sumOf);

  // The corners around each general vertex, in face order, the vertices one after another: slot holds where
  // a vertex's run ends, and the previous one's end is where it starts. A trail mostly has none: no pass then.
  const auto general = [&](int f, int k) { return kind[mesh.faces[f].v[k]] == kGeneral; };
  const int generalFaces = anyGeneral ? nf : 0;
  size_t total = 0;
  for (int f = 0; f < generalFaces; ++f)
    for (int k = 0; k < 3; ++k)
      if (general(f, k)) ++slot[mesh.faces[f].v[k]];
  for (size_t at = 0; at < size_t(nv); ++at)
    if (kind[at] == kGeneral) {
      const size_t n = slot[at];
      slot[at] = uint32_t(total);
      total += n;
    }
  std::vector<uint32_t> corners(total);  // face * 3 + corner
  for (int f = 0; f < generalFaces; ++f)
    for (int k = 0; k < 3; ++k)
      if (general(f, k)) corners[slot[mesh.faces[f].v[k]]++] = uint32_t(f) * 3 + uint32_t(k);
  const auto faceN = [&](int f) {
    if (zeroArea[size_t(f)]) return Vec{};
    const DWORD* v = mesh.faces[f].v;
    return AreaNormal(mesh.verts[v[0]], mesh.verts[v[1]], mesh.verts[v[2]]);
  };

  NormalIndex normalIndex(out.normals);
  Sets sets;
  std::vector<Vec> sum, around;
  // Normals are numbered as they first come, vertex by vertex, corner by corner in face order.
  size_t end = 0;
  for (size_t at = 0; at < size_t(nv); ++at) {
    if (kind[at] == kOneSet) {
      const Vec& u = sumOf[at];
      slot[at] = normalIndex.Of(Point3(float(u.x), float(u.y), float(u.z)));
    }
    if (kind[at] != kGeneral) continue;
    const size_t begin = end, n = slot[at] - begin;
    end = slot[at];
    const auto faceAt = [&](size_t i) { return int(corners[begin + i] / 3); };
    Vec all;
    around.resize(n);
    // Join the faces with area that share a bit: each one with the first face seen holding each of its bits,
    // which keeps a vertex with many faces linear in their number.
    sets.parent.resize(n);
    for (size_t i = 0; i < n; ++i) sets.parent[i] = int(i);
    int firstWithBit[32];
    std::fill(std::begin(firstWithBit), std::end(firstWithBit), -1);
    for (size_t i = 0; i < n; ++i) {
      const int f = faceAt(i);
      around[i] = faceN(f);
      all += around[i];
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
    for (size_t i = 0; i < n; ++i) sum[size_t(sets.Find(int(i)))] += around[i];

    Point3 aroundUnit;
    const bool hasAround = Unit(all, &aroundUnit);
    for (size_t i = 0; i < n; ++i) {
      const int f = faceAt(i), k = int(corners[begin + i] % 3);
      const DWORD sm = mesh.faces[f].smGroup;
      Point3 normal(0.0f, 0.0f, 1.0f);
      if (!zeroArea[size_t(f)]) {
        // Flat, or smooth with its set; a set that cancels out leaves the face its own normal.
        if (sm == 0 || !Unit(sum[size_t(sets.Find(int(i)))], &normal)) Unit(around[i], &normal);
      } else {
        bool found = false;
        for (int bit = 0; bit < 32 && !found; ++bit)
          if ((sm & (DWORD(1) << bit)) && firstWithBit[bit] >= 0)
            found = Unit(sum[size_t(sets.Find(firstWithBit[bit]))], &normal);
        if (!found && hasAround) normal = aroundUnit;
      }
      out.cornerNormal[size_t(f)][size_t(k)] = normalIndex.Of(normal);
    }
  }
  std::vector<uint32_t>().swap(corners);
  std::vector<Vec>().swap(sumOf);
  for (int f = 0; f < nf; ++f)
    for (int k = 0; k < 3; ++k) {
      const size_t at = mesh.faces[f].v[k];
      if (kind[at] == kOneSet) out.cornerNormal[size_t(f)][size_t(k)] = slot[at];
    }
  return out;
}
