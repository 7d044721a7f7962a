#pragma once
// Triangle meshes with mapping channels, as the host stores them.
#include <new>
#include <type_traits>
#include <utility>
#include <vector>
#include "bitarray.h"
#include "debug.h"
#include "maxtypes.h"
#include "point3.h"

typedef unsigned short MtlID;
typedef Point3 UVVert;
typedef Point3 VertColor;

// The storage of the mesh's arrays: sizing them constructs nothing, as in the host, because every array is
// written element by element by whoever sized it and a fill would be written twice. Only plain data (copied
// and destroyed trivially) may be kept so.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  UninitializedAllocator() = default;
  template <class U>
  UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
  template <class U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  template <class U>
  void construct(U*) noexcept {}
  template <class U, class... A>
  void construct(U* p, A&&... a) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(a)...);
  }
};
template <class T>
using MeshArray = std::vector<T, UninitializedAllocator<T>>;

// Edge visibility bits in Face::flags (edge A runs v[0]-v[1], B v[1]-v[2], C v[2]-v[0])
#define EDGE_INVIS 0
#define EDGE_VIS 1
#define EDGE_A (1 << 0)
#define EDGE_B (1 << 1)
#define EDGE_C (1 << 2)
#define EDGE_ALL (EDGE_A | EDGE_B | EDGE_C)
// The material id lives in the high 16 bits of Face::flags.
#define FACE_MATID_SHIFT 16
#define FACE_MATID_MASK 0xFFFF

#define MAX_MESHMAPS 100
#define MESHMAP_USED 0x0001

// Every accessor that takes an index reports one out of range through the assertion reporter (assert1);
// when the reporter returns, a setter changes nothing and a getter answers 0 or a scratch element.

class HOSTAPI Face {
 public:
  DWORD v[3] = {0, 0, 0};
  DWORD smGroup = 0;
  DWORD flags = 0;

  void setVerts(DWORD a, DWORD b, DWORD c) {
    v[0] = a;
    v[1] = b;
    v[2] = c;
  }
  void setVerts(const DWORD* vrt) { setVerts(vrt[0], vrt[1], vrt[2]); }
  DWORD getVert(int index) const {
    DbgAssert(index >= 0 && index < 3);
    return index >= 0 && index < 3 ? v[index] : 0;
  }
  DWORD* getAllVerts() { return v; }
  void setSmGroup(DWORD i) { smGroup = i; }
  DWORD getSmGroup() const { return smGroup; }
  void setMatID(MtlID id) {
    flags = (flags & ~(DWORD(FACE_MATID_MASK) << FACE_MATID_SHIFT)) | (DWORD(id) << FACE_MATID_SHIFT);
  }
  MtlID getMatID() const { return MtlID((flags >> FACE_MATID_SHIFT) & FACE_MATID_MASK); }
  // Each argument is EDGE_VIS or EDGE_INVIS for edges A, B, C.
  void setEdgeVisFlags(int va, int vb, int vc) {
    flags = (flags & ~DWORD(EDGE_ALL)) | (va ? EDGE_A : 0) | (vb ? EDGE_B : 0) | (vc ? EDGE_C : 0);
  }
  void setEdgeVis(int edge, int visFlag) {
    DbgAssert(edge >= 0 && edge <= 2);
    if (edge < 0 || edge > 2) return;
    if (visFlag)
      flags |= DWORD(1) << edge;
    else
      flags &= ~(DWORD(1) << edge);
  }
  // Nonzero when edge `edge` (0, 1, 2) is visible.
  DWORD getEdgeVis(int edge) const {
    DbgAssert(edge >= 0 && edge <= 2);
    return edge < 0 || edge > 2 ? 0 : flags & (DWORD(1) << edge);
  }
};

class HOSTAPI TVFace {
 public:
  DWORD t[3] = {0, 0, 0};
  TVFace() = default;
  TVFace(DWORD a, DWORD b, DWORD c) { setTVerts(a, b, c); }
  void setTVerts(DWORD a, DWORD b, DWORD c) {
    t[0] = a;
    t[1] = b;
    t[2] = c;
  }
  void setTVerts(const DWORD* vrt) { setTVerts(vrt[0], vrt[1], vrt[2]); }
  DWORD getTVert(int index) const {
    DbgAssert(index >= 0 && index < 3);
    return index >= 0 && index < 3 ? t[index] : 0;
  }
  DWORD* getAllTVerts() { return t; }
};

// One mapping channel: its own vertices, and one face per mesh face while the channel is in use.
// tv/tf/vnum/fnum mirror the storage and are for reading; resize through the methods.
class HOSTAPI MeshMap {
 public:
  DWORD flags = 0;
  UVVert* tv = nullptr;
  TVFace* tf = nullptr;
  int vnum = 0, fnum = 0;

  MeshMap() = default;
  MeshMap(const MeshMap& o);
  MeshMap(MeshMap&& o) noexcept;
  MeshMap& operator=(const MeshMap& o);
  MeshMap& operator=(MeshMap&& o) noexcept;

  BOOL IsUsed() const { return (flags & MESHMAP_USED) ? TRUE : FALSE; }
  // Negative counts are 0. With keep, leading entries stay; new (or all, without keep) entries are
  // unspecified, to be written by the caller (poisoned in checked builds: all bits set, so a float reads NaN
  // and an index is out of range). Without keep, the same count keeps the storage. FALSE, with nothing
  // changed, if memory ran out.
  BOOL setNumVerts(int n, BOOL keep = FALSE);
  BOOL setNumFaces(int n, BOOL keep = FALSE, int oldCt = 0);
  int getNumVerts() const { return vnum; }
  int getNumFaces() const { return fnum; }
  void Clear();  // no vertices, no faces, not used

 private:
  friend class Mesh;
  void Sync();
  MeshArray<UVVert> verts_;
  MeshArray<TVFace> faces_;
};

// verts/faces/numVerts/numFaces, tVerts/tvFace (channel 1), vertCol/vcFace (channel 0) and maps mirror
// the storage and are for reading and for writing existing elements; resize through the methods.
// Every resizing method treats a negative count as 0 and returns FALSE, with nothing changed, if memory
// ran out. Elements it adds are unspecified, as MeshMap's are: the caller writes each one whole.
class HOSTAPI Mesh {
 public:
  int numVerts = 0;
  int numFaces = 0;
  Point3* verts = nullptr;
  Face* faces = nullptr;
  UVVert* tVerts = nullptr;      // channel 1
  TVFace* tvFace = nullptr;      // channel 1
  VertColor* vertCol = nullptr;  // channel 0
  TVFace* vcFace = nullptr;      // channel 0
  MeshMap* maps = nullptr;
  BitArray vertSel, faceSel;

  Mesh();
  Mesh(const Mesh& o);
  Mesh& operator=(const Mesh& o);

  void FreeAll();  // no vertices, faces or channel data; two unused channels

  // synchSel resizes the matching selection to the new count.
  BOOL setNumVerts(int n, BOOL keep = FALSE, BOOL synchSel = TRUE);
  int getNumVerts() const { return numVerts; }
  void setVert(int i, const Point3& p) {
    DbgAssert(i >= 0 && i < numVerts);
    if (i >= 0 && i < numVerts) verts[i] = p;
  }
  void setVert(int i, float x, float y, float z) { setVert(i, Point3(x, y, z)); }
  Point3& getVert(int i);
  const Point3& getVert(int i) const { return const_cast<Mesh*>(this)->getVert(i); }

  // Every used channel's face count follows, with the same keep.
  BOOL setNumFaces(int n, BOOL keep = FALSE, BOOL synchSel = TRUE);
  int getNumFaces() const { return numFaces; }

  // Channel 1 under its older names.
  BOOL setNumTVerts(int n, BOOL keep = FALSE) { return setNumMapVerts(1, n, keep); }
  int getNumTVerts() const { return getNumMapVerts(1); }
  void setTVert(int i, const UVVert& p) { setMapVert(1, i, p); }
  void setTVert(int i, float u, float v, float w) { setMapVert(1, i, UVVert(u, v, w)); }
  UVVert& getTVert(int i);
  BOOL setNumTVFaces(int n, BOOL keep = FALSE, int oldCt = 0) { return setNumMapFaces(1, n, keep, oldCt); }
  int getNumTVFaces() const { return getNumMapFaces(1); }
  // Channel 0 (vertex colours) under its older names.
  BOOL setNumVertCol(int n, BOOL keep = FALSE) { return setNumMapVerts(0, n, keep); }
  int getNumVertCol() const { return getNumMapVerts(0); }
  BOOL setNumVCFaces(int n, BOOL keep = FALSE, int oldCt = 0) { return setNumMapFaces(0, n, keep, oldCt); }

  // Channels 0 .. getNumMaps()-1 exist; a new mesh has 2 (0 vertex colour, 1 texture), both unused.
  // The count is clamped to [0, MAX_MESHMAPS]; without keep every channel is reset to unused.
  BOOL setNumMaps(int ct, BOOL keep = FALSE);
  int getNumMaps() const { return int(maps_.size()); }
  BOOL mapSupport(int mp) const;
  // Turning a channel on gives it one map face per mesh face (unspecified, as above) and no map vertices (a channel
  // that is already on is left as it is), adding channels up to mp if needed; turning it off frees its data. A channel
  // outside [0, MAX_MESHMAPS) is reported and changes nothing.
  void setMapSupport(int mp, BOOL support = TRUE);
  // A positive count on an unused channel turns the channel on first.
  BOOL setNumMapVerts(int mp, int n, BOOL keep = FALSE);
  int getNumMapVerts(int mp) const;
  BOOL setNumMapFaces(int mp, int n, BOOL keep = FALSE, int oldCt = 0);
  int getNumMapFaces(int mp) const;
  UVVert* mapVerts(int mp) const;  // null for a channel without vertices or out of range
  TVFace* mapFaces(int mp) const;  // null for a channel without faces or out of range
  // An out-of-range channel or index is reported and nothing is written. Inline: builders set every
  // texture vertex through it.
  void setMapVert(int mp, int i, const UVVert& p) {
    DbgAssert(ValidMap(mp) && i >= 0 && i < maps_[size_t(mp)].vnum);
    if (ValidMap(mp) && i >= 0 && i < maps_[size_t(mp)].vnum) maps_[size_t(mp)].tv[i] = p;
  }
  // Resize a channel through the Mesh methods above so that tVerts/vertCol follow; Map is for flags and
  // element access.
  MeshMap& Map(int mp);

  // Nothing is cached yet; kept so callers can invalidate as they would in the host.
  void InvalidateGeomCache() {}
  void InvalidateTopologyCache() {}

 private:
  bool ValidMap(int mp) const { return mp >= 0 && mp < getNumMaps(); }
  void Sync();
  MeshArray<Point3> verts_;
  MeshArray<Face> faces_;
  std::vector<MeshMap> maps_;
};
