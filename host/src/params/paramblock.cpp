// The parameter block: one instance's values, their controllers and referenced targets, clamping,
// validation, notification, cloning and saving.
#include "paramkind.h"
#include "iparamb2.h"
#include "control.h"
#include "debug.h"
#include "hold.h"
#include "inode.h"
#include "ioapi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using paramkind::Controllable;
using paramkind::HoldsRefs;
using paramkind::Kind;
using paramkind::KindOf;

int ClampInt(const ParamDef& d, int v) {
  if (!d.has_range) return v;
  return std::max(d.range_low.i, std::min(d.range_high.i, v));
}

float ClampFloat(const ParamDef& d, float v) {
  if (!d.has_range) return v;
  if (std::isnan(v)) return d.range_low.f;
  return std::max(d.range_low.f, std::min(d.range_high.f, v));
}

// Chunks of a saved block.
constexpr USHORT kHeaderChunk = 0x0001;  // BlockID (int16), version (int32), parameter count (int32)
constexpr USHORT kParamChunk = 0x0010;   // ParamID (int16), type (int32), count (int32), then the entries
constexpr ULONG kParamHeaderBytes = 2 + 4 + 4;

// Smallest number of bytes one saved entry of a kind takes; bounds what a count may claim.
ULONG MinEntryBytes(Kind k) {
  switch (k) {
    case Kind::Int:
    case Kind::Float:
      return 4;
    case Kind::Point:
      return 12;
    case Kind::String:
      return 4;
    case Kind::Ref:
      return 1;
    default:
      return 1;
  }
}

// Holds references to the targets an undo record may put back into a block (nodes, controllers), so that
// one taken out of the block does not delete itself while the change can still be undone or redone. A
// target deleted all the same (a node the person deletes) leaves its place empty.
class TargetKeeper : public ReferenceMaker {
 public:
  explicit TargetKeeper(const std::vector<ReferenceTarget*>& targets) : targets_(targets.size(), nullptr) {
    for (size_t k = 0; k < targets.size(); ++k)
      if (targets[k]) ReplaceReference(int(k), targets[k]);
  }
  SClass_ID SuperClassID() override { return kRefMakerClassID; }
  int NumRefs() override { return int(targets_.size()); }
  RefTargetHandle GetReference(int i) override { return targets_[size_t(i)]; }
  void SetReference(int i, RefTargetHandle t) override { targets_[size_t(i)] = t; }
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
  const std::vector<ReferenceTarget*>& Targets() const { return targets_; }

 private:
  static constexpr SClass_ID kRefMakerClassID = 0x00000100;  // a plain maker, of no class a dependent looks for
  std::vector<ReferenceTarget*> targets_;
};

}  // namespace

class ParamBlock2 : public IParamBlock2 {
 public:
  ParamBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner) : desc_(desc), owner_(owner) {
    params_.resize(desc->paramdefs.size());
    for (size_t pi = 0; pi < params_.size(); ++pi) params_[pi] = defaultSlots(int(pi));
  }

  ~ParamBlock2() override {
    *self_ = nullptr;  // undo records of this block have nothing left to change
    if (desc_) desc_->blockDeleted(this);
    // The references themselves are let go by the ReferenceMaker base.
  }

  // ---- identity ----
  BlockID ID() override { return desc_->ID; }
  ParamBlockDesc2* GetDesc() override { return desc_; }
  ReferenceMaker* GetOwner() override {
    // The owner is a dependent once installed; a clone learns its owner from the one who references it.
    if (owner_) {
      if (NumDependents() == 0) return owner_;
      for (int i = 0; i < NumDependents(); ++i)
        if (Dependent(i) == owner_) return owner_;
    }
    return NumDependents() > 0 ? Dependent(0) : nullptr;
  }
  void SetOwner(ReferenceMaker* owner) override { owner_ = owner; }
  int NumParams() override { return int(params_.size()); }
  int IDtoIndex(ParamID id) override { return desc_->IDtoIndex(id); }
  ParamID IndextoID(int index) override { return desc_->IndextoID(index); }
  int GetParameterType(ParamID id) override {
    int pi = desc_->IDtoIndex(id);
    return pi < 0 ? -1 : def(pi).type;
  }
  ParamID LastNotifyParamID() override { return lastNotify_; }

  // ---- reads ----
  BOOL GetValue(ParamID id, TimeValue t, float& v, Interval& ivalid, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Float);
    if (!s) return FALSE;
    float f = s->f;
    if (Control* c = controllerOf(id, *s)) c->GetValue(t, &f, ivalid, CTRL_ABSOLUTE);
    PB2Value pv;
    pv.f = f;
    accessGet(id, tabIndex, t, ivalid, pv);
    v = pv.f;
    return TRUE;
  }

  BOOL GetValue(ParamID id, TimeValue t, int& v, Interval& ivalid, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Int);
    if (!s) return FALSE;
    int i = s->i;
    if (Control* c = controllerOf(id, *s)) {
      float f = 0.0f;
      c->GetValue(t, &f, ivalid, CTRL_ABSOLUTE);
      i = int(std::lround(f));
    }
    PB2Value pv;
    pv.i = i;
    accessGet(id, tabIndex, t, ivalid, pv);
    v = pv.i;
    return TRUE;
  }

  BOOL GetValue(ParamID id, TimeValue t, Point3& v, Interval& ivalid, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Point);
    if (!s) return FALSE;
    Point3 p = s->p;
    PB2Value pv;
    pv.p = &p;
    accessGet(id, tabIndex, t, ivalid, pv);
    v = p;
    return TRUE;
  }

  BOOL GetValue(ParamID id, TimeValue t, const char*& v, Interval& ivalid, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::String);
    if (!s) return FALSE;
    PB2Value pv;
    pv.s = s->s.c_str();
    accessGet(id, tabIndex, t, ivalid, pv);
    v = pv.s;
    return TRUE;
  }

  BOOL GetValue(ParamID id, TimeValue t, INode*& v, Interval& ivalid, int tabIndex) override {
    int pi = desc_->IDtoIndex(id);
    if (pi < 0 || base_type(def(pi).type) != TYPE_INODE) return FALSE;
    Slot* s = slot(id, tabIndex, Kind::Ref);
    if (!s) return FALSE;
    PB2Value pv;
    pv.r = s->ref;
    accessGet(id, tabIndex, t, ivalid, pv);
    v = static_cast<INode*>(pv.r);
    return TRUE;
  }

  BOOL GetValue(ParamID id, TimeValue t, ReferenceTarget*& v, Interval& ivalid, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Ref);
    if (!s) return FALSE;
    PB2Value pv;
    pv.r = s->ref;
    accessGet(id, tabIndex, t, ivalid, pv);
    v = pv.r;
    return TRUE;
  }

  // ---- writes ----
  BOOL SetValue(ParamID id, TimeValue t, float v, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Float);
    if (!s) return FALSE;
    const ParamDef& d = defOf(id);
    PB2Value pv;
    pv.f = ClampFloat(d, v);
    if (!admit(d, tabIndex, t, pv)) return FALSE;
    if (Control* c = controllerOf(id, *s))
      setThroughController(id, c, t, pv.f);
    else
      storeEntry(id, tabIndex, [&](Slot& e) { e.f = pv.f; });
    return TRUE;
  }

  BOOL SetValue(ParamID id, TimeValue t, int v, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Int);
    if (!s) return FALSE;
    const ParamDef& d = defOf(id);
    PB2Value pv;
    pv.i = ClampInt(d, v);
    if (!admit(d, tabIndex, t, pv)) return FALSE;
    if (Control* c = controllerOf(id, *s))
      setThroughController(id, c, t, float(pv.i));
    else
      storeEntry(id, tabIndex, [&](Slot& e) { e.i = pv.i; });
    return TRUE;
  }

  BOOL SetValue(ParamID id, TimeValue t, const Point3& v, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::Point);
    if (!s) return FALSE;
    const ParamDef& d = defOf(id);
    Point3 p(ClampFloat(d, v.x), ClampFloat(d, v.y), ClampFloat(d, v.z));
    PB2Value pv;
    pv.p = &p;
    if (!admit(d, tabIndex, t, pv)) return FALSE;
    storeEntry(id, tabIndex, [&](Slot& e) { e.p = p; });
    return TRUE;
  }

  BOOL SetValue(ParamID id, TimeValue t, const char* v, int tabIndex) override {
    Slot* s = slot(id, tabIndex, Kind::String);
    if (!s) return FALSE;
    const ParamDef& d = defOf(id);
    std::string copy = v ? v : "";
    PB2Value pv;
    pv.s = copy.c_str();
    if (!admit(d, tabIndex, t, pv)) return FALSE;
    storeEntry(id, tabIndex, [&](Slot& e) { e.s = pv.s ? pv.s : ""; });
    return TRUE;
  }

  BOOL SetValue(ParamID id, TimeValue t, INode* v, int tabIndex) override {
    return setRef(id, t, static_cast<ReferenceTarget*>(v), tabIndex);
  }

  BOOL SetValue(ParamID id, TimeValue t, ReferenceTarget* v, int tabIndex) override {
    return setRef(id, t, v, tabIndex);
  }

  // ---- controllers ----
  Control* GetController(ParamID id, int tabIndex) override {
    int pi = desc_->IDtoIndex(id);
    if (pi < 0 || !Controllable(def(pi)) || !validIndex(pi, tabIndex)) return nullptr;
    return static_cast<Control*>(params_[size_t(pi)][size_t(tabIndex)].ref);
  }

  BOOL SetController(ParamID id, int tabIndex, Control* c) override {
    int pi = desc_->IDtoIndex(id);
    if (pi < 0 || !Controllable(def(pi)) || !validIndex(pi, tabIndex)) return FALSE;
    if (c && c->SuperClassID() != CTRL_FLOAT_CLASS_ID) return FALSE;
    return replaceRef(pi, tabIndex, c);
  }

  // ---- tables ----
  int Count(ParamID id) override {
    int pi = desc_->IDtoIndex(id);
    return pi < 0 ? 0 : int(params_[size_t(pi)].size());
  }

  void ZeroCount(ParamID id) override { SetCount(id, 0); }

  void SetCount(ParamID id, int n) override {
    int pi = tabIndexOf(id);
    if (pi < 0 || n < 0) return;
    const int count = int(params_[size_t(pi)].size());
    auto rec = recordEntries(pi, std::min(n, count), std::max(0, count - n));
    resizeTab(pi, n);
    commitEntries(std::move(rec), std::max(0, n - count));
    changed(id);
  }

  int Delete(ParamID id, int start, int num) override {
    int pi = tabIndexOf(id);
    if (pi < 0) return 0;
    auto& slots = params_[size_t(pi)];
    int count = int(slots.size());
    if (start < 0 || num <= 0 || start >= count) return count;
    int stop = std::min(count, start + num);
    auto rec = recordEntries(pi, start, stop - start);
    releaseRefs(pi, start, stop);
    slots.erase(slots.begin() + start, slots.begin() + stop);
    commitEntries(std::move(rec), 0);
    changed(id);
    return int(slots.size());
  }

  int Resize(ParamID id, int num) override {
    int pi = tabIndexOf(id);
    if (pi < 0) return 0;
    if (num > 0) params_[size_t(pi)].reserve(size_t(num));
    return int(params_[size_t(pi)].size());
  }

  int Append(ParamID id, int num, INode** el, int) override {
    int pi = tabIndexOf(id);
    if (pi < 0 || base_type(def(pi).type) != TYPE_INODE || num < 0 || (num > 0 && !el)) return -1;
    std::vector<ReferenceTarget*> targets(el, el + num);
    return insertRefs(pi, int(params_[size_t(pi)].size()), targets);
  }

  int Append(ParamID id, int num, ReferenceTarget** el, int) override {
    int pi = tabIndexOf(id);
    if (pi < 0 || KindOf(def(pi).type) != Kind::Ref || num < 0 || (num > 0 && !el)) return -1;
    std::vector<ReferenceTarget*> targets(el, el + num);
    for (ReferenceTarget* r : targets)
      if (!fitsRef(def(pi), r)) return -1;
    return insertRefs(pi, int(params_[size_t(pi)].size()), targets);
  }

  int Append(ParamID id, int num, int* el, int) override {
    int pi = tabIndexOf(id);
    if (pi < 0 || KindOf(def(pi).type) != Kind::Int || num < 0 || (num > 0 && !el)) return -1;
    auto& slots = params_[size_t(pi)];
    int at = int(slots.size());
    auto rec = recordEntries(pi, at, 0);
    for (int k = 0; k < num; ++k) {
      Slot s = defaultSlot(def(pi));
      s.i = ClampInt(def(pi), el[k]);
      slots.push_back(s);
    }
    commitEntries(std::move(rec), num);
    changed(id);
    return at;
  }

  int Append(ParamID id, int num, float* el, int) override {
    int pi = tabIndexOf(id);
    if (pi < 0 || KindOf(def(pi).type) != Kind::Float || num < 0 || (num > 0 && !el)) return -1;
    auto& slots = params_[size_t(pi)];
    int at = int(slots.size());
    auto rec = recordEntries(pi, at, 0);
    for (int k = 0; k < num; ++k) {
      Slot s = defaultSlot(def(pi));
      s.f = ClampFloat(def(pi), el[k]);
      slots.push_back(s);
    }
    commitEntries(std::move(rec), num);
    changed(id);
    return at;
  }

  int Insert(ParamID id, int start, int num, INode** el) override {
    int pi = tabIndexOf(id);
    if (pi < 0 || base_type(def(pi).type) != TYPE_INODE || num < 0 || (num > 0 && !el)) return -1;
    int count = int(params_[size_t(pi)].size());
    start = std::max(0, std::min(start, count));
    std::vector<ReferenceTarget*> targets(el, el + num);
    return insertRefs(pi, start, targets);
  }

  void ResetAll() override {
    for (size_t pi = 0; pi < params_.size(); ++pi) {
      auto rec = recordEntries(int(pi), 0, int(params_[pi].size()));
      resetParam(int(pi));
      commitEntries(std::move(rec), int(params_[pi].size()));
    }
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    desc_->blockChanged(this, -1);
  }

  IParamMap2* GetMap(MapID map_id) override {
    IParamMap2* map = desc_->GetMap(map_id);
    return map && map->GetParamBlock() == this ? map : nullptr;
  }

  // ---- references ----
  int NumRefs() override {
    int n = 0;
    for (size_t pi = 0; pi < params_.size(); ++pi)
      if (HoldsRefs(def(int(pi)))) n += int(params_[pi].size());
    return n;
  }

  RefTargetHandle GetReference(int i) override {
    Slot* s = refSlot(i);
    return s ? s->ref : nullptr;
  }

  void SetReference(int i, RefTargetHandle target) override {
    if (Slot* s = refSlot(i)) s->ref = target;
  }

  RefResult NotifyRefChanged(const Interval&, RefTargetHandle hTarget, PartID&, RefMessage message) override {
    int pi = -1;
    for (size_t p = 0; p < params_.size() && pi < 0; ++p)
      for (const Slot& s : params_[p])
        if (s.ref && s.ref == hTarget) {
          pi = int(p);
          break;
        }
    if (pi < 0) return REF_SUCCEED;
    const ParamID id = def(pi).ID;
    if (message == REFMSG_TARGET_DELETED) {
      // Clear every slot holding the dying target (a table entry stays, empty), then tell the owner.
      for (size_t p = 0; p < params_.size(); ++p) {
        if (!HoldsRefs(def(int(p)))) continue;
        for (size_t k = 0; k < params_[p].size(); ++k)
          if (params_[p][k].ref == hTarget) ReplaceReference(refIndex(int(p), int(k)), nullptr, FALSE);
      }
      changed(id);
      return REF_SUCCEED;
    }
    // Anything else passes on to the owner with this block as its source.
    lastNotify_ = id;
    if (message == REFMSG_CHANGE && hTarget == settingThrough_) settingNotified_ = true;
    if (message == REFMSG_CHANGE) desc_->blockChanged(this, id);
    return REF_SUCCEED;
  }

  // ---- cloning ----
  RefTargetHandle Clone(RemapDir& remap) override {
    auto* copy = new ParamBlock2(desc_, nullptr);
    for (size_t pi = 0; pi < params_.size(); ++pi) {
      const ParamDef& d = def(int(pi));
      auto& dst = copy->params_[pi];
      dst = params_[pi];
      for (Slot& s : dst) s.ref = nullptr;
      for (size_t k = 0; k < params_[pi].size(); ++k) {
        ReferenceTarget* r = params_[pi][k].ref;
        if (!r) continue;
        // Nodes belong to the scene: the copy points at the same ones. Controllers and other targets are
        // the block's own and are copied (shared ones stay shared through remap).
        ReferenceTarget* target = base_type(d.type) == TYPE_INODE ? r : remap.CloneRef(r);
        if (target) copy->ReplaceReference(copy->refIndex(int(pi), int(k)), target);
      }
    }
    BaseClone(this, copy, remap);
    return copy;
  }

  // ---- saving ----
  // Values only: the references (nodes, controllers) are saved and restored by the scene saver through
  // NumRefs/GetReference/SetReference, which Load keeps consistent by restoring every table's length.
  IOResult Save(ISave* isave) override {
    if (!isave) return IO_ERROR;
    isave->BeginChunk(kHeaderChunk);
    bool ok = put<int16_t>(isave, desc_->ID) && put<int32_t>(isave, desc_->version) &&
              put<int32_t>(isave, int32_t(params_.size()));
    isave->EndChunk();
    if (!ok) return IO_ERROR;
    for (size_t pi = 0; pi < params_.size(); ++pi) {
      const ParamDef& d = def(int(pi));
      if (d.flags & P_TRANSIENT) continue;
      isave->BeginChunk(kParamChunk);
      ok = put<int16_t>(isave, d.ID) && put<int32_t>(isave, d.type) && put<int32_t>(isave, int32_t(params_[pi].size()));
      for (const Slot& s : params_[pi]) {
        if (!ok) break;
        switch (KindOf(d.type)) {
          case Kind::Int:
            ok = put<int32_t>(isave, s.i);
            break;
          case Kind::Float:
            ok = put<float>(isave, s.f);
            break;
          case Kind::Point:
            ok = put<float>(isave, s.p.x) && put<float>(isave, s.p.y) && put<float>(isave, s.p.z);
            break;
          case Kind::String:
            ok = put<uint32_t>(isave, uint32_t(s.s.size())) &&
                 (s.s.empty() || write(isave, s.s.data(), ULONG(s.s.size())));
            break;
          case Kind::Ref:
            ok = put<uint8_t>(isave, s.ref ? 1 : 0);
            break;
          case Kind::Unsupported:
            break;
        }
      }
      isave->EndChunk();
      if (!ok) return IO_ERROR;
    }
    return IO_OK;
  }

  IOResult Load(ILoad* iload) override {
    if (!iload) return IO_ERROR;
    // Everything is read and checked first; the block changes only when the whole data is sound.
    struct Pending {
      int pi;
      std::vector<Slot> slots;
    };
    std::vector<Pending> pending;
    bool sawHeader = false;
    for (;;) {
      IOResult r = iload->OpenChunk();
      if (r == IO_END) break;
      if (r != IO_OK) return IO_ERROR;
      const USHORT cid = iload->CurChunkID();
      ULONG left = iload->CurChunkLength();
      if (cid == kHeaderChunk) {
        int16_t bid;
        int32_t ver, count;
        if (sawHeader || left != 10 || !get(iload, bid, left) || !get(iload, ver, left) || !get(iload, count, left))
          return IO_ERROR;
        if (bid != desc_->ID) return IO_ERROR;
        sawHeader = true;
      } else if (cid == kParamChunk) {
        int16_t pid;
        int32_t type, count;
        if (left < kParamHeaderBytes || !get(iload, pid, left) || !get(iload, type, left) || !get(iload, count, left))
          return IO_ERROR;
        const int pi = desc_->IDtoIndex(pid);
        if (pi < 0) {
          // A parameter this version no longer has: its data is skipped.
          if (iload->CloseChunk() != IO_OK) return IO_ERROR;
          continue;
        }
        const ParamDef& d = def(pi);
        const Kind kind = KindOf(d.type);
        if (type != d.type || count < 0 || (!is_tab(d.type) && count != 1)) return IO_ERROR;
        if (ULONG(count) > left / MinEntryBytes(kind)) return IO_ERROR;
        for (const Pending& p : pending)
          if (p.pi == pi) return IO_ERROR;
        Pending p{pi, {}};
        p.slots.reserve(size_t(count));
        for (int32_t k = 0; k < count; ++k) {
          Slot s = defaultSlot(d);
          bool ok = true;
          switch (kind) {
            case Kind::Int: {
              int32_t v;
              ok = get(iload, v, left);
              s.i = ClampInt(d, v);
              break;
            }
            case Kind::Float: {
              float v;
              ok = get(iload, v, left);
              s.f = ClampFloat(d, v);
              break;
            }
            case Kind::Point: {
              float x = 0, y = 0, z = 0;
              ok = get(iload, x, left) && get(iload, y, left) && get(iload, z, left);
              s.p = Point3(ClampFloat(d, x), ClampFloat(d, y), ClampFloat(d, z));
              break;
            }
            case Kind::String: {
              uint32_t n;
              ok = get(iload, n, left) && n <= left;
              if (ok && n > 0) {
                s.s.resize(n);
                ok = read(iload, s.s.data(), n, left);
              }
              break;
            }
            case Kind::Ref: {
              uint8_t held;
              ok = get(iload, held, left) && held <= 1;
              break;
            }
            case Kind::Unsupported:
              ok = false;
              break;
          }
          if (!ok) return IO_ERROR;
          p.slots.push_back(std::move(s));
        }
        if (left != 0) return IO_ERROR;
        if (!(d.flags & P_TRANSIENT)) pending.push_back(std::move(p));
      } else {
        return IO_ERROR;
      }
      if (iload->CloseChunk() != IO_OK) return IO_ERROR;
    }
    if (!sawHeader) return IO_ERROR;

    // Transient values describe no saved state: they start from their defaults.
    for (size_t pi = 0; pi < params_.size(); ++pi)
      if (def(int(pi)).flags & P_TRANSIENT) resetParam(int(pi));
    for (Pending& p : pending) {
      resizeTab(p.pi, int(p.slots.size()));
      auto& slots = params_[size_t(p.pi)];
      for (size_t k = 0; k < slots.size(); ++k) {
        ReferenceTarget* keep = slots[k].ref;  // restored separately by the scene loader
        slots[k] = std::move(p.slots[k]);
        slots[k].ref = keep;
      }
    }
    return IO_OK;
  }

 private:
  struct Slot {
    int i = 0;
    float f = 0.0f;
    Point3 p;
    std::string s;
    ReferenceTarget* ref = nullptr;  // controller or referenced target
  };

  const ParamDef& def(int pi) const { return desc_->paramdefs[size_t(pi)]; }
  const ParamDef& defOf(ParamID id) const { return def(desc_->IDtoIndex(id)); }

  static Slot defaultSlot(const ParamDef& d) {
    Slot s;
    s.i = d.def.i;
    s.f = d.def.f;
    s.p = d.def_p3;
    s.s = d.def_str.str();
    return s;
  }

  std::vector<Slot> defaultSlots(int pi) const {
    const ParamDef& d = def(pi);
    return std::vector<Slot>(is_tab(d.type) ? size_t(d.tab_size) : 1, defaultSlot(d));
  }

  bool validIndex(int pi, int tabIndex) const { return tabIndex >= 0 && tabIndex < int(params_[size_t(pi)].size()); }

  // The slot of id's entry when the parameter is of the kind asked for.
  Slot* slot(ParamID id, int tabIndex, Kind kind) {
    int pi = desc_->IDtoIndex(id);
    if (pi < 0 || KindOf(def(pi).type) != kind || !validIndex(pi, tabIndex)) return nullptr;
    return &params_[size_t(pi)][size_t(tabIndex)];
  }

  Control* controllerOf(ParamID id, const Slot& s) {
    return Controllable(defOf(id)) && s.ref ? static_cast<Control*>(s.ref) : nullptr;
  }

  int tabIndexOf(ParamID id) const {
    int pi = desc_->IDtoIndex(id);
    return pi >= 0 && is_tab(def(pi).type) ? pi : -1;
  }

  // References are numbered through the parameters in order, one per entry of each parameter that holds
  // references.
  int refIndex(int pi, int tabIndex) const {
    int n = 0;
    for (int p = 0; p < pi; ++p)
      if (HoldsRefs(def(p))) n += int(params_[size_t(p)].size());
    return n + tabIndex;
  }

  Slot* refSlot(int i) {
    if (i < 0) return nullptr;
    for (size_t pi = 0; pi < params_.size(); ++pi) {
      if (!HoldsRefs(def(int(pi)))) continue;
      int n = int(params_[pi].size());
      if (i < n) return &params_[pi][size_t(i)];
      i -= n;
    }
    return nullptr;
  }

  static bool fitsRef(const ParamDef& d, ReferenceTarget* r) {
    if (!r) return true;
    if (base_type(d.type) == TYPE_INODE) return r->SuperClassID() == BASENODE_CLASS_ID;
    if (base_type(d.type) == TYPE_PBLOCK2) return r->SuperClassID() == PARAMETER_BLOCK2_CLASS_ID;
    return true;
  }

  // Validator first, then the accessor's Set; FALSE when the validator refuses.
  bool admit(const ParamDef& d, int tabIndex, TimeValue t, PB2Value& pv) {
    if (d.validator && !d.validator->Validate(pv, GetOwner(), d.ID, tabIndex)) return false;
    if (d.accessor) d.accessor->Set(pv, GetOwner(), d.ID, tabIndex, t);
    return true;
  }

  void accessGet(ParamID id, int tabIndex, TimeValue t, Interval& valid, PB2Value& pv) {
    const ParamDef& d = defOf(id);
    if (d.accessor) d.accessor->Get(pv, GetOwner(), id, tabIndex, t, valid);
  }

  BOOL setRef(ParamID id, TimeValue t, ReferenceTarget* v, int tabIndex) {
    Slot* s = slot(id, tabIndex, Kind::Ref);
    if (!s) return FALSE;
    const int pi = desc_->IDtoIndex(id);
    const ParamDef& d = def(pi);
    if (!fitsRef(d, v)) return FALSE;
    PB2Value pv;
    pv.r = v;
    if (!admit(d, tabIndex, t, pv)) return FALSE;
    return replaceRef(pi, tabIndex, pv.r);
  }

  // Points entry tabIndex of parameter pi at target, recorded for undo, and notifies.
  BOOL replaceRef(int pi, int tabIndex, ReferenceTarget* target) {
    auto rec = recordEntries(pi, tabIndex, 1);
    if (ReplaceReference(refIndex(pi, tabIndex), target) != REF_SUCCEED) return FALSE;
    commitEntries(std::move(rec), 1);
    changed(def(pi).ID);
    return TRUE;
  }

  int insertRefs(int pi, int at, const std::vector<ReferenceTarget*>& targets) {
    auto rec = recordEntries(pi, at, 0);
    auto& slots = params_[size_t(pi)];
    slots.insert(slots.begin() + at, targets.size(), defaultSlot(def(pi)));
    for (size_t k = 0; k < targets.size(); ++k)
      if (targets[k]) ReplaceReference(refIndex(pi, at + int(k)), targets[k]);
    commitEntries(std::move(rec), int(targets.size()));
    changed(def(pi).ID);
    return at;
  }

  // Drops the references of entries [start, stop) of a parameter.
  void releaseRefs(int pi, int start, int stop) {
    if (!HoldsRefs(def(pi))) return;
    for (int k = stop - 1; k >= start; --k)
      if (params_[size_t(pi)][size_t(k)].ref) ReplaceReference(refIndex(pi, k), nullptr);
  }

  void resizeTab(int pi, int n) {
    auto& slots = params_[size_t(pi)];
    int count = int(slots.size());
    if (n < count) {
      releaseRefs(pi, n, count);
      slots.resize(size_t(n));
    } else if (n > count) {
      slots.resize(size_t(n), defaultSlot(def(pi)));
    }
  }

  void resetParam(int pi) {
    releaseRefs(pi, 0, int(params_[size_t(pi)].size()));
    params_[size_t(pi)] = defaultSlots(pi);
  }

  // A controller that reports its own change reaches the owner through NotifyRefChanged; the block
  // notifies only when it did not, so the owner hears of one write once.
  void setThroughController(ParamID id, Control* c, TimeValue t, float f) {
    if (theHold.Holding()) theHold.Put(new KeyRestore(this, id, c, t, f));
    throughController(id, c, [&] { c->SetValue(t, &f, 1, CTRL_ABSOLUTE); });
  }

  template <class Write>
  void throughController(ParamID id, Control* c, Write&& write) {
    settingThrough_ = c;
    settingNotified_ = false;
    lastNotify_ = id;
    write();
    settingThrough_ = nullptr;
    if (!settingNotified_) changed(id);
  }

  // ---- undo ----
  // Entries [start, start + before.size()) of one parameter were replaced by `after`. Undo puts `before`
  // back and redo `after`, references included, notifying as the change itself did.
  class EntriesRestore : public RestoreObj {
   public:
    EntriesRestore(ParamBlock2* pb, int pi, int start, std::vector<Slot> before)
        : block_(pb->self_), pi_(pi), start_(start), before_(std::move(before)), keptBefore_(RefsOf(before_)) {}
    void SetAfter(std::vector<Slot> after) {
      after_ = std::move(after);
      keptAfter_.reset(new TargetKeeper(RefsOf(after_)));
    }
    bool Empty() const { return before_.empty() && after_.empty(); }
    int Param() const { return pi_; }
    int Start() const { return start_; }
    void Restore(int) override { apply(after_.size(), before_, keptBefore_); }
    void Redo() override {
      if (keptAfter_) apply(before_.size(), after_, *keptAfter_);
    }
    TSTR Description() override { return TSTR("parameter"); }

   private:
    static std::vector<ReferenceTarget*> RefsOf(const std::vector<Slot>& slots) {
      std::vector<ReferenceTarget*> refs;
      for (const Slot& s : slots) refs.push_back(s.ref);
      return refs;
    }
    void apply(size_t replaced, const std::vector<Slot>& put, const TargetKeeper& kept) {
      if (ParamBlock2* pb = *block_) pb->replaceEntries(pi_, start_, int(replaced), put, kept.Targets());
    }
    std::shared_ptr<ParamBlock2*> block_;
    int pi_, start_;
    std::vector<Slot> before_, after_;  // their refs are read from the keepers, which see targets die
    TargetKeeper keptBefore_;
    std::unique_ptr<TargetKeeper> keptAfter_;
  };

  // A value set through a controller: at a time with no key of an animated controller the set made one,
  // which undo deletes; otherwise undo sets the old value (a key's or the constant) back.
  class KeyRestore : public RestoreObj {
   public:
    KeyRestore(ParamBlock2* pb, ParamID id, Control* c, TimeValue t, float after)
        : block_(pb->self_), id_(id), t_(t), after_(after), kept_({c}) {
      Interval valid = FOREVER;
      c->GetValue(t, &before_, valid, CTRL_ABSOLUTE);
      bool keyAtT = false;
      for (int k = 0; k < c->NumKeys(); ++k) keyAtT = keyAtT || c->GetKeyTime(k) == t;
      addedKey_ = c->NumKeys() > 0 && !keyAtT;
    }
    void Restore(int) override {
      write([this](Control* c) {
        if (addedKey_) {
          c->DeleteKeyAtTime(t_);
        } else {
          float v = before_;
          c->SetValue(t_, &v, 1, CTRL_ABSOLUTE);
        }
      });
    }
    void Redo() override {
      write([this](Control* c) {
        float v = after_;
        c->SetValue(t_, &v, 1, CTRL_ABSOLUTE);
      });
    }
    TSTR Description() override { return TSTR("parameter key"); }

   private:
    template <class F>
    void write(F&& f) {
      ParamBlock2* pb = *block_;
      auto* c = static_cast<Control*>(kept_.Targets()[0]);
      if (pb && c) pb->throughController(id_, c, [&] { f(c); });
    }
    std::shared_ptr<ParamBlock2*> block_;
    ParamID id_;
    TimeValue t_;
    float before_ = 0.0f, after_;
    bool addedKey_ = false;
    TargetKeeper kept_;
  };

  // The start of the undo record of a change to entries [start, start + n) of parameter pi; null while
  // the hold does not record.
  std::unique_ptr<EntriesRestore> recordEntries(int pi, int start, int n) {
    if (!theHold.Holding()) return nullptr;
    const auto& slots = params_[size_t(pi)];
    return std::unique_ptr<EntriesRestore>(
        new EntriesRestore(this, pi, start, std::vector<Slot>(slots.begin() + start, slots.begin() + start + n)));
  }

  // Completes a record with the n entries now in the changed place and gives it to the hold.
  void commitEntries(std::unique_ptr<EntriesRestore> rec, int n) {
    if (!rec) return;
    const auto& slots = params_[size_t(rec->Param())];
    const auto first = slots.begin() + rec->Start();
    rec->SetAfter(std::vector<Slot>(first, first + n));
    if (!rec->Empty()) theHold.Put(rec.release());
  }

  // A stored (unanimated) value of one entry, recorded for undo, then notified.
  template <class Store>
  void storeEntry(ParamID id, int tabIndex, Store&& store) {
    const int pi = desc_->IDtoIndex(id);
    auto rec = recordEntries(pi, tabIndex, 1);
    store(params_[size_t(pi)][size_t(tabIndex)]);
    commitEntries(std::move(rec), 1);
    changed(id);
  }

  // Puts `put` in place of entries [start, start + replaced) of parameter pi, with refs as their
  // references, and notifies as the change did: how undo records play a change back or forth.
  void replaceEntries(int pi, int start, int replaced, const std::vector<Slot>& put,
                      const std::vector<ReferenceTarget*>& refs) {
    auto& slots = params_[size_t(pi)];
    if (start < 0 || replaced < 0 || start + replaced > int(slots.size())) {
      assert1(__LINE__, __FILE__, "an undo record finds the entries its change left");
      return;
    }
    releaseRefs(pi, start, start + replaced);
    slots.erase(slots.begin() + start, slots.begin() + start + replaced);
    slots.insert(slots.begin() + start, put.begin(), put.end());
    for (size_t k = 0; k < put.size(); ++k) {
      Slot& e = slots[size_t(start) + k];
      e.ref = nullptr;
      if (HoldsRefs(def(pi)) && refs[k]) ReplaceReference(refIndex(pi, start + int(k)), refs[k]);
    }
    changed(def(pi).ID);
  }

  void changed(ParamID id) {
    lastNotify_ = id;
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    desc_->blockChanged(this, id);
  }

  template <class T>
  static bool put(ISave* isave, T v) {
    return write(isave, &v, sizeof v);
  }
  static bool write(ISave* isave, const void* p, ULONG n) {
    ULONG written = 0;
    return isave->Write(p, n, &written) == IO_OK && written == n;
  }
  template <class T>
  static bool get(ILoad* iload, T& v, ULONG& left) {
    return read(iload, &v, sizeof v, left);
  }
  static bool read(ILoad* iload, void* p, ULONG n, ULONG& left) {
    if (n > left) return false;
    ULONG got = 0;
    if (iload->Read(p, n, &got) != IO_OK || got != n) return false;
    left -= n;
    return true;
  }

  ParamBlockDesc2* desc_;
  ReferenceMaker* owner_;
  std::vector<std::vector<Slot>> params_;  // per parameter, in descriptor order; one entry for a plain one
  ParamID lastNotify_ = -1;
  Control* settingThrough_ = nullptr;  // controller being written by SetValue
  bool settingNotified_ = false;
  // Lets this block's undo records find it while it lives; they change nothing once it is gone.
  std::shared_ptr<ParamBlock2*> self_ = std::make_shared<ParamBlock2*>(this);
};

IParamBlock2* CreateParameterBlock2(ParamBlockDesc2* pdesc, ReferenceMaker* owner) {
  if (!pdesc) return nullptr;
  return new ParamBlock2(pdesc, owner);
}

// ---- convenience reads ------------------------------------------------------

int IParamBlock2::GetInt(ParamID id, TimeValue t, int tabIndex) {
  int v = 0;
  Interval valid = FOREVER;
  GetValue(id, t, v, valid, tabIndex);
  return v;
}

float IParamBlock2::GetFloat(ParamID id, TimeValue t, int tabIndex) {
  float v = 0.0f;
  Interval valid = FOREVER;
  GetValue(id, t, v, valid, tabIndex);
  return v;
}

Point3 IParamBlock2::GetPoint3(ParamID id, TimeValue t, int tabIndex) {
  Point3 v;
  Interval valid = FOREVER;
  GetValue(id, t, v, valid, tabIndex);
  return v;
}

const char* IParamBlock2::GetStr(ParamID id, TimeValue t, int tabIndex) {
  const char* v = nullptr;
  Interval valid = FOREVER;
  GetValue(id, t, v, valid, tabIndex);
  return v;
}

INode* IParamBlock2::GetINode(ParamID id, TimeValue t, int tabIndex) {
  INode* v = nullptr;
  Interval valid = FOREVER;
  GetValue(id, t, v, valid, tabIndex);
  return v;
}

ReferenceTarget* IParamBlock2::GetReferenceTarget(ParamID id, TimeValue t, int tabIndex) {
  ReferenceTarget* v = nullptr;
  Interval valid = FOREVER;
  GetValue(id, t, v, valid, tabIndex);
  return v;
}
