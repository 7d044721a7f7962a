#include "mesh.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Elements nobody has written yet. Checked builds set every bit, so that an element a builder forgot reads
// as NaN or as an index out of range wherever it is used, instead of as a plausible zero.
template <class T>
void MarkUnwritten(T* first, size_t count) {
#ifdef HOST_POISON_UNWRITTEN
  if (count > 0) std::memset(static_cast<void*>(first), 0xFF, count * sizeof(T));
#else
  (void)first;
  (void)count;
#endif
}

// Resized copy of v: with keep the leading elements survive, the others are unwritten. Built aside so that
// a failed allocation leaves v untouched.
template <class T>
bool Resized(const MeshArray<T>& v, int n, bool keep, MeshArray<T>& out) {
  if (n < 0) n = 0;
  try {
    out.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const size_t kept = keep ? std::min(v.size(), size_t(n)) : 0;
  std::copy_n(v.begin(), kept, out.begin());
  MarkUnwritten(out.data() + kept, out.size() - kept);
  return true;
}

// Without keep, an array already of the asked size is reused rather than allocated again.
template <class T>
bool ResizeInPlace(MeshArray<T>& v, int n, bool keep) {
  if (keep || n < 0 || size_t(n) != v.size()) return false;
  MarkUnwritten(v.data(), v.size());
  return true;
}

// The selection resized to n, built aside like the arrays.
bool ResizedSelection(const BitArray& sel, int n, bool keep, BitArray& out) {
  try {
    if (keep) out = sel;
    out.SetSize(n, keep);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// Answered for an element that does not exist, after the reporter has had its say.
template <class T>
T& Scratch() {
  static thread_local T scratch;
  scratch = T();
  return scratch;
}

}  // namespace

// ---- MeshMap ----

MeshMap::MeshMap(const MeshMap& o) : flags(o.flags), verts_(o.verts_), faces_(o.faces_) { Sync(); }

MeshMap::MeshMap(MeshMap&& o) noexcept : flags(o.flags), verts_(std::move(o.verts_)), faces_(std::move(o.faces_)) {
  Sync();
  o.Clear();
}

MeshMap& MeshMap::operator=(const MeshMap& o) {
  if (this != &o) {
    flags = o.flags;
    verts_ = o.verts_;
    faces_ = o.faces_;
    Sync();
  }
  return *this;
}

MeshMap& MeshMap::operator=(MeshMap&& o) noexcept {
  if (this != &o) {
    flags = o.flags;
    verts_ = std::move(o.verts_);
    faces_ = std::move(o.faces_);
    Sync();
    o.Clear();
  }
  return *this;
}

void MeshMap::Sync() {
  vnum = int(verts_.size());
  fnum = int(faces_.size());
  tv = verts_.empty() ? nullptr : verts_.data();
  tf = faces_.empty() ? nullptr : faces_.data();
}

BOOL MeshMap::setNumVerts(int n, BOOL keep) {
  if (ResizeInPlace(verts_, n, keep)) return TRUE;
  MeshArray<UVVert> v;
  if (!Resized(verts_, n, keep, v)) return FALSE;
  verts_.swap(v);
  Sync();
  return TRUE;
}

// We always know the old count, so oldCt is only accepted for callers written against the host.
BOOL MeshMap::setNumFaces(int n, BOOL keep, int) {
  if (ResizeInPlace(faces_, n, keep)) return TRUE;
  MeshArray<TVFace> f;
  if (!Resized(faces_, n, keep, f)) return FALSE;
  faces_.swap(f);
  Sync();
  return TRUE;
}

void MeshMap::Clear() {
  flags = 0;
  verts_.clear();
  verts_.shrink_to_fit();
  faces_.clear();
  faces_.shrink_to_fit();
  Sync();
}

// ---- Mesh ----

Mesh::Mesh() { FreeAll(); }

Mesh::Mesh(const Mesh& o) : vertSel(o.vertSel), faceSel(o.faceSel), verts_(o.verts_), faces_(o.faces_), maps_(o.maps_) {
  Sync();
}

Mesh& Mesh::operator=(const Mesh& o) {
  if (this != &o) {
    // Copy aside first: a failed allocation then leaves this mesh as it was.
    MeshArray<Point3> v(o.verts_);
    MeshArray<Face> f(o.faces_);
    std::vector<MeshMap> m(o.maps_);
    verts_.swap(v);
    faces_.swap(f);
    maps_.swap(m);
    vertSel = o.vertSel;
    faceSel = o.faceSel;
    Sync();
  }
  return *this;
}

void Mesh::Sync() {
  numVerts = int(verts_.size());
  numFaces = int(faces_.size());
  verts = verts_.empty() ? nullptr : verts_.data();
  faces = faces_.empty() ? nullptr : faces_.data();
  maps = maps_.empty() ? nullptr : maps_.data();
  for (MeshMap& m : maps_) m.Sync();
  vertCol = ValidMap(0) ? maps_[0].tv : nullptr;
  vcFace = ValidMap(0) ? maps_[0].tf : nullptr;
  tVerts = ValidMap(1) ? maps_[1].tv : nullptr;
  tvFace = ValidMap(1) ? maps_[1].tf : nullptr;
}

void Mesh::FreeAll() {
  verts_.clear();
  faces_.clear();
  maps_.clear();
  maps_.resize(2);
  vertSel.SetSize(0);
  faceSel.SetSize(0);
  Sync();
}

BOOL Mesh::setNumVerts(int n, BOOL keep, BOOL synchSel) {
  MeshArray<Point3> v;
  BitArray sel;
  if (!Resized(verts_, n, keep, v) || (synchSel && !ResizedSelection(vertSel, int(v.size()), keep, sel))) return FALSE;
  verts_.swap(v);
  if (synchSel) vertSel = std::move(sel);
  Sync();
  return TRUE;
}

BOOL Mesh::setNumFaces(int n, BOOL keep, BOOL synchSel) {
  // Everything is resized aside and committed together, so the channels never disagree with the faces.
  MeshArray<Face> f;
  if (!Resized(faces_, n, keep, f)) return FALSE;
  std::vector<MeshArray<TVFace>> mf(maps_.size());
  for (size_t mp = 0; mp < maps_.size(); ++mp)
    if (maps_[mp].IsUsed() && !Resized(maps_[mp].faces_, n, keep, mf[mp])) return FALSE;
  BitArray sel;
  if (synchSel && !ResizedSelection(faceSel, int(f.size()), keep, sel)) return FALSE;
  faces_.swap(f);
  for (size_t mp = 0; mp < maps_.size(); ++mp)
    if (maps_[mp].IsUsed()) maps_[mp].faces_.swap(mf[mp]);
  if (synchSel) faceSel = std::move(sel);
  Sync();
  return TRUE;
}

BOOL Mesh::setNumMaps(int ct, BOOL keep) {
  ct = std::clamp(ct, 0, MAX_MESHMAPS);
  try {
    if (keep) {
      maps_.resize(size_t(ct));
    } else {
      std::vector<MeshMap> fresh(static_cast<size_t>(ct));
      maps_.swap(fresh);
    }
  } catch (const std::bad_alloc&) {
    Sync();
    return FALSE;
  }
  Sync();
  return TRUE;
}

BOOL Mesh::mapSupport(int mp) const { return ValidMap(mp) && maps_[size_t(mp)].IsUsed() ? TRUE : FALSE; }

Point3& Mesh::getVert(int i) {
  DbgAssert(i >= 0 && i < numVerts);
  return i >= 0 && i < numVerts ? verts_[size_t(i)] : Scratch<Point3>();
}

UVVert& Mesh::getTVert(int i) {
  DbgAssert(i >= 0 && i < getNumTVerts());
  return i >= 0 && i < getNumTVerts() ? maps_[1].verts_[size_t(i)] : Scratch<UVVert>();
}

MeshMap& Mesh::Map(int mp) {
  DbgAssert(mp >= 0 && mp < getNumMaps());
  return ValidMap(mp) ? maps_[size_t(mp)] : Scratch<MeshMap>();
}

void Mesh::setMapSupport(int mp, BOOL support) {
  DbgAssert(mp >= 0 && mp < MAX_MESHMAPS);
  if (mp < 0 || mp >= MAX_MESHMAPS) return;
  if (!support) {
    if (ValidMap(mp)) maps_[size_t(mp)].Clear();
    Sync();
    return;
  }
  if (mp >= getNumMaps() && !setNumMaps(mp + 1, TRUE)) return;
  MeshMap& m = maps_[size_t(mp)];
  if (m.IsUsed()) return;
  MeshArray<TVFace> f;
  if (!Resized(m.faces_, numFaces, false, f)) return;
  m.faces_.swap(f);
  m.verts_.clear();
  m.flags |= MESHMAP_USED;
  Sync();
}

BOOL Mesh::setNumMapVerts(int mp, int n, BOOL keep) {
  if (mp < 0 || mp >= MAX_MESHMAPS) return FALSE;
  if (n > 0 && !mapSupport(mp)) {
    setMapSupport(mp, TRUE);
    if (!mapSupport(mp)) return FALSE;
  }
  if (!ValidMap(mp)) return TRUE;  // zero vertices on a channel that does not exist: nothing to do
  BOOL ok = maps_[size_t(mp)].setNumVerts(n, keep);
  Sync();
  return ok;
}

int Mesh::getNumMapVerts(int mp) const { return ValidMap(mp) ? maps_[size_t(mp)].vnum : 0; }

BOOL Mesh::setNumMapFaces(int mp, int n, BOOL keep, int oldCt) {
  if (mp < 0 || mp >= MAX_MESHMAPS) return FALSE;
  if (n > 0 && !mapSupport(mp)) {
    setMapSupport(mp, TRUE);
    if (!mapSupport(mp)) return FALSE;
  }
  if (!ValidMap(mp)) return TRUE;
  BOOL ok = maps_[size_t(mp)].setNumFaces(n, keep, oldCt);
  Sync();
  return ok;
}

int Mesh::getNumMapFaces(int mp) const { return ValidMap(mp) ? maps_[size_t(mp)].fnum : 0; }

UVVert* Mesh::mapVerts(int mp) const { return ValidMap(mp) ? maps_[size_t(mp)].tv : nullptr; }

TVFace* Mesh::mapFaces(int mp) const { return ValidMap(mp) ? maps_[size_t(mp)].tf : nullptr; }
