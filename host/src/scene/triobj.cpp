// TriObject: the triangle-mesh object.
#include "triobj.h"

#include <climits>

#include "../core/datastream.h"

namespace {

constexpr uint32_t kFaceBytes = 4 * 5;
constexpr uint32_t kMapFaceBytes = 4 * 3;
constexpr uint32_t kMapBytes = 4 * 3;

bool Within(const DWORD* v, DWORD n) { return v[0] < n && v[1] < n && v[2] < n; }

}  // namespace

TriObject::~TriObject() = default;

RefTargetHandle TriObject::Clone(RemapDir& remap) {
  auto* copy = static_cast<TriObject*>(MakeShallowCopy(ALL_CHANNELS));
  BaseClone(this, copy, remap);
  return copy;
}

Object* TriObject::MakeShallowCopy(ChannelMask) {
  auto* copy = new TriObject();
  copy->mesh = mesh;
  copy->CopyValidity(*this);
  return copy;
}

IOResult TriObject::Save(ISave* isave) {
  return hostio::SaveData(isave, [&](hostio::Writer& w) {
    w.U32(uint32_t(mesh.getNumVerts()));
    for (int i = 0; i < mesh.getNumVerts(); ++i) w.P3(mesh.verts[i]);
    w.U32(uint32_t(mesh.getNumFaces()));
    for (int i = 0; i < mesh.getNumFaces(); ++i) {
      const Face& f = mesh.faces[i];
      for (DWORD v : f.v) w.U32(v);
      w.U32(f.smGroup);
      w.U32(f.flags);
    }
    w.U32(uint32_t(mesh.getNumMaps()));
    for (int mp = 0; mp < mesh.getNumMaps(); ++mp) {
      const MeshMap& m = mesh.Map(mp);
      w.U32(m.flags);
      w.U32(uint32_t(m.getNumVerts()));
      for (int i = 0; i < m.getNumVerts(); ++i) w.P3(m.tv[i]);
      w.U32(uint32_t(m.getNumFaces()));
      for (int i = 0; i < m.getNumFaces(); ++i)
        for (DWORD t : m.tf[i].t) w.U32(t);
    }
  });
}

IOResult TriObject::Load(ILoad* iload) {
  Mesh loaded;
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    uint32_t nv = 0, nf = 0, maps = 0;
    if (!in.Count(nv, 12) || nv > INT_MAX || !loaded.setNumVerts(int(nv))) return in.Fail();
    for (uint32_t i = 0; i < nv; ++i)
      if (!in.P3(loaded.verts[i])) return false;
    if (!in.Count(nf, kFaceBytes) || nf > INT_MAX || !loaded.setNumFaces(int(nf))) return in.Fail();
    for (uint32_t i = 0; i < nf; ++i) {
      Face& f = loaded.faces[i];
      if (!in.U32(f.v[0]) || !in.U32(f.v[1]) || !in.U32(f.v[2]) || !in.U32(f.smGroup) || !in.U32(f.flags)) return false;
      if (!Within(f.v, nv)) return in.Fail();
    }
    if (!in.Count(maps, kMapBytes) || maps > MAX_MESHMAPS || !loaded.setNumMaps(int(maps))) return in.Fail();
    for (uint32_t mp = 0; mp < maps; ++mp) {
      uint32_t flags = 0, mv = 0, mf = 0;
      if (!in.U32(flags) || !in.Count(mv, 12)) return false;
      const bool used = flags & MESHMAP_USED;
      if (used) loaded.setMapSupport(int(mp), TRUE);
      // An unused channel holds nothing.
      if ((!used && mv > 0) || mv > INT_MAX || !loaded.setNumMapVerts(int(mp), int(mv))) return in.Fail();
      UVVert* tv = loaded.mapVerts(int(mp));
      for (uint32_t i = 0; i < mv; ++i)
        if (!in.P3(tv[i])) return false;
      if (!in.Count(mf, kMapFaceBytes) || (!used && mf > 0) || mf > INT_MAX || !loaded.setNumMapFaces(int(mp), int(mf)))
        return in.Fail();
      TVFace* tf = loaded.mapFaces(int(mp));
      for (uint32_t i = 0; i < mf; ++i) {
        if (!in.U32(tf[i].t[0]) || !in.U32(tf[i].t[1]) || !in.U32(tf[i].t[2])) return false;
        if (!Within(tf[i].t, mv)) return in.Fail();
      }
      loaded.Map(int(mp)).flags = flags;
    }
    return true;
  });
  if (r != IO_OK) return IO_ERROR;
  mesh = loaded;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  return IO_OK;
}

TriObject* CreateNewTriObject() { return new (std::nothrow) TriObject(); }
