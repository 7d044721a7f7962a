// Derived objects: the modifier stack and its evaluation.
#include <algorithm>

#include "../core/datastream.h"
#include "scene_internal.h"

// ---- ModContext -------------------------------------------------------------

ModContext::ModContext(const ModContext& mc)
    : tm(mc.tm ? new Matrix3(*mc.tm) : nullptr),
      box(mc.box),
      localData(mc.localData ? mc.localData->Clone() : nullptr) {}

ModContext::~ModContext() {
  delete tm;
  delete localData;
}

// ---- DerivedObject ----------------------------------------------------------

IDerivedObject* CreateDerivedObject(Object* obj) {
  auto* d = new DerivedObject();
  if (obj) d->ReferenceObject(obj);
  return d;
}

DerivedObject::~DerivedObject() {
  for (Slot& s : slots_)
    if (s.owned) s.obj->DeleteThis();
  slots_.clear();
  // Drop the references while this object can still answer for its slots.
  DeleteAllRefsFromMe();
  for (ModContext* mc : contexts_) delete mc;
}

Modifier* DerivedObject::GetModifier(int index) {
  return index >= 0 && index < NumModifiers() ? mods_[size_t(index)] : nullptr;
}

ModContext* DerivedObject::GetModContext(int index) {
  return index >= 0 && index < NumModifiers() ? contexts_[size_t(index)] : nullptr;
}

void DerivedObject::AddModifier(Modifier* mod, ModContext* mc, int before) {
  before = std::clamp(before, 0, NumModifiers());
  mods_.insert(mods_.begin() + before, nullptr);
  contexts_.insert(contexts_.begin() + before, mc ? mc : new ModContext(new Matrix3(), nullptr, nullptr));
  ReplaceReference(1 + before, mod);
  Changed();
}

void DerivedObject::DeleteModifier(int index) {
  if (index < 0 || index >= NumModifiers()) return;
  ModContext* mc = contexts_[size_t(index)];
  // Clear the reference while its slot exists; the modifier goes if nothing else holds it.
  ReplaceReference(1 + index, nullptr);
  mods_.erase(mods_.begin() + index);
  contexts_.erase(contexts_.begin() + index);
  delete mc;
  Changed();
}

void DerivedObject::SetModifier(int index, Modifier* mod) {
  if (index < 0 || index >= NumModifiers()) return;
  ReplaceReference(1 + index, mod);
  Changed();
}

RefResult DerivedObject::ReferenceObject(Object* obj) {
  RefResult r = ReplaceReference(0, obj);
  Changed();
  return r;
}

RefTargetHandle DerivedObject::GetReference(int i) {
  if (i == 0) return obj_;
  return GetModifier(i - 1);
}

void DerivedObject::SetReference(int i, RefTargetHandle target) {
  if (i == 0) {
    obj_ = static_cast<Object*>(target);
  } else if (i >= 1 && i <= NumModifiers()) {
    mods_[size_t(i - 1)] = static_cast<Modifier*>(target);
  }
}

RefResult DerivedObject::NotifyRefChanged(const Interval& changeInt, RefTargetHandle hTarget, PartID& partID,
                                          RefMessage message) {
  if (message == REFMSG_CHANGE || message == REFMSG_TARGET_DELETED) {
    InvalidateResults();
    // Everything above the changed entry sees a changed input.
    int above = -1;
    if (hTarget == obj_) {
      above = NumModifiers();
    } else {
      for (int i = 0; i < NumModifiers(); ++i)
        if (mods_[size_t(i)] == hTarget) {
          above = i;
          break;
        }
    }
    if (message == REFMSG_CHANGE)
      for (int i = 0; i < above && i < NumModifiers(); ++i)
        if (mods_[size_t(i)]) mods_[size_t(i)]->NotifyInputChanged(changeInt, partID, message, contexts_[size_t(i)]);
  }
  return REF_SUCCEED;
}

RefTargetHandle DerivedObject::Clone(RemapDir& remap) {
  auto* copy = new DerivedObject();
  copy->ReferenceObject(static_cast<Object*>(remap.CloneRef(obj_)));
  for (int i = 0; i < NumModifiers(); ++i)
    copy->AddModifier(static_cast<Modifier*>(remap.CloneRef(mods_[size_t(i)])), new ModContext(*contexts_[size_t(i)]),
                      i);
  BaseClone(this, copy, remap);
  return copy;
}

IOResult DerivedObject::Save(ISave* isave) {
  return hostio::SaveData(isave, [&](hostio::Writer& w) {
    w.U32(uint32_t(contexts_.size()));
    for (const ModContext* mc : contexts_) {
      w.U8(mc->tm ? 1 : 0);
      if (mc->tm) w.M3(*mc->tm);
    }
  });
}

IOResult DerivedObject::Load(ILoad* iload) {
  if (!mods_.empty()) return IO_ERROR;
  std::vector<Matrix3> tms;
  std::vector<bool> hasTM;
  const IOResult r = hostio::LoadData(iload, [&](hostio::Reader& in) {
    uint32_t n = 0;
    if (!in.Count(n, 1)) return false;
    for (uint32_t i = 0; i < n; ++i) {
      bool has = false;
      Matrix3 tm;
      if (!in.Bool(has) || (has && !in.M3(tm))) return false;
      hasTM.push_back(has);
      tms.push_back(tm);
    }
    return true;
  });
  if (r != IO_OK) return IO_ERROR;
  for (size_t i = 0; i < tms.size(); ++i) {
    mods_.push_back(nullptr);
    contexts_.push_back(new ModContext(hasTM[i] ? new Matrix3(tms[i]) : nullptr, nullptr, nullptr));
  }
  Changed();
  return IO_OK;
}

void DerivedObject::InvalidateResults() {
  ++changes_;
  for (Slot& s : slots_) s.fresh = false;
}

unsigned DerivedObject::ResultStamp(int modIndex) const {
  return modIndex >= 0 && modIndex < int(slots_.size()) ? slots_[size_t(modIndex)].stamp : 0;
}

INode* DerivedObject::FindNode() {
  DependentIterator it(this);
  while (ReferenceMaker* m = it.Next()) {
    if (m->SuperClassID() == BASENODE_CLASS_ID) return static_cast<INode*>(m);
    if (m->SuperClassID() == GEN_DERIVOB_CLASS_ID) {
      if (auto* outer = dynamic_cast<DerivedObject*>(m))
        if (INode* n = outer->FindNode()) return n;
    }
  }
  return nullptr;
}

void DerivedObject::Changed() {
  InvalidateResults();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

// Deletes obj if the pipeline owns it: unlocked and not the object being kept.
void DerivedObject::ReleaseResult(Object* obj, Object* keep) {
  if (obj && obj != keep && !obj->IsObjectLocked()) obj->DeleteThis();
}

ObjectState DerivedObject::Eval(TimeValue t, int modIndex) {
  if (modIndex < 0) modIndex = 0;
  if (!obj_) return ObjectState();

  bool anyToApply = false;
  for (int i = modIndex; i < NumModifiers(); ++i)
    if (mods_[size_t(i)] && mods_[size_t(i)]->IsEnabled()) anyToApply = true;
  if (!anyToApply) return obj_->Eval(t);

  if (modIndex < int(slots_.size())) {
    const Slot& s = slots_[size_t(modIndex)];
    if (s.fresh && s.obj && s.valid.InInterval(t)) return ObjectState(s.obj);
  }

  unsigned changesAtStart = changes_;
  ObjectState base = obj_->Eval(t);
  if (!base.obj) return base;
  Interval valid = base.obj->ObjectValidity(t);
  // The modifiers work on a copy: the object below is never changed. An object that can't be copied is
  // handed on as it is (and is never deleted by the pipeline: it is not ours).
  ObjectState os(base.obj->MakeCopyAt(t));
  if (!os.obj) os.obj = base.obj;
  INode* node = FindNode();

  Object* input = nullptr;  // the current modifier's input, while it is still ours to free
  try {
    // Bottom to top. The lists are read afresh each step: a modifier may evaluate this stack meanwhile.
    for (int i = NumModifiers() - 1; i >= modIndex; --i) {
      if (i >= NumModifiers()) continue;
      Modifier* mod = mods_[size_t(i)];
      if (!mod || !mod->IsEnabled()) continue;
      input = os.obj;
      mod->ModifyObject(t, *contexts_[size_t(i)], &os, node);
      if (!os.obj) {
        os.obj = input;  // a modifier that leaves nothing behind leaves its input
      } else if (os.obj != input) {
        // What was made from the input holds no longer than the input did.
        Interval inputValid = input->ObjectValidity(t);
        for (int c = 0; c < NUM_OBJ_CHANS; ++c) os.obj->UpdateValidity(c, inputValid);
        ReleaseResult(input, base.obj);
      }
      input = nullptr;
      Interval local = mod->LocalValidity(t);
      valid &= local;
      ChannelMask changed = mod->ChannelsChanged();
      for (int c = 0; c < NUM_OBJ_CHANS; ++c)
        if (changed & (ChannelMask(1) << c)) os.obj->UpdateValidity(c, local);
    }
  } catch (...) {
    // A failed modifier may have replaced its input already: free both.
    if (input && input != os.obj) ReleaseResult(input, base.obj);
    ReleaseResult(os.obj, base.obj);
    throw;
  }
  valid &= os.obj->ObjectValidity(t);

  if (modIndex >= int(slots_.size())) slots_.resize(size_t(modIndex) + 1);
  Slot& slot = slots_[size_t(modIndex)];
  Object* old = slot.owned ? slot.obj : nullptr;
  slot.obj = os.obj;
  slot.owned = os.obj != base.obj && !os.obj->IsObjectLocked();
  slot.valid = valid;
  slot.fresh = changes_ == changesAtStart;
  slot.stamp = ++nextStamp_;
  if (old && old != os.obj) old->DeleteThis();
  return os;
}
