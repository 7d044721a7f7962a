// References between animatables: who references whom, change messages, auto-delete, cloning.
#include "ref.h"

#include <algorithm>
#include <map>

namespace {

// Deeper nested notifications than this are dropped: a handler that keeps re-notifying would otherwise
// recurse until the stack runs out.
constexpr int kMaxNotifyDepth = 32;

template <class T>
bool eraseOne(std::vector<T*>& v, const T* p) {
  auto it = std::find(v.begin(), v.end(), p);
  if (it == v.end()) return false;
  v.erase(it);
  return true;
}

template <class T>
void eraseAll(std::vector<T*>& v, const T* p) {
  v.erase(std::remove(v.begin(), v.end(), p), v.end());
}

template <class T>
std::vector<T*> distinct(const std::vector<T*>& v) {
  std::vector<T*> out;
  out.reserve(v.size());
  for (T* p : v)
    if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
  return out;
}

}  // namespace

// ---- ReferenceMaker ---------------------------------------------------------

ReferenceMaker::~ReferenceMaker() {
  // The derived part is gone: SetReference can't be called, only the dependents lists are fixed up.
  detachFromHeldTargets(true);
}

void ReferenceMaker::detachFromHeldTargets(bool deleteOrphans) {
  std::vector<ReferenceTarget*> held;
  held.swap(heldRefs_);
  for (ReferenceTarget* t : held) eraseOne(t->dependents_, this);
  if (!deleteOrphans) return;
  // Collect first, then delete: deleting one orphan may cascade, but never into another orphan (an orphan
  // has no dependents, so no target's destruction can touch it).
  std::vector<ReferenceTarget*> orphans;
  for (ReferenceTarget* t : distinct(held))
    if (t->dependents_.empty() && !t->beingDeleted_) orphans.push_back(t);
  for (ReferenceTarget* t : orphans) t->DeleteThis();
}

RefResult ReferenceMaker::ReplaceReference(int which, RefTargetHandle newTarget, BOOL delOld) {
  if (which < 0 || which >= NumRefs()) return REF_FAIL;
  RefTargetHandle oldTarget = GetReference(which);
  bool oldTracked = oldTarget && std::find(heldRefs_.begin(), heldRefs_.end(), oldTarget) != heldRefs_.end();
  if (oldTarget == newTarget && (oldTarget == nullptr || oldTracked)) return REF_SUCCEED;

  SetReference(which, newTarget);
  // Register with the new target before letting go of the old one: the new target may be held only by
  // the old, and must not be deleted along with it.
  if (newTarget) {
    newTarget->dependents_.push_back(this);
    heldRefs_.push_back(newTarget);
  }
  if (oldTarget && oldTracked) {
    eraseOne(heldRefs_, oldTarget);
    eraseOne(oldTarget->dependents_, this);
    if (delOld && oldTarget->dependents_.empty() && !oldTarget->beingDeleted_) oldTarget->DeleteThis();
  }
  return REF_SUCCEED;
}

RefResult ReferenceMaker::DeleteReference(int which) { return ReplaceReference(which, nullptr, TRUE); }

RefResult ReferenceMaker::DeleteAllRefsFromMe() {
  // Slots are read afresh each time: deleting one target may clear another slot (a cascade ending in a
  // destructor clears its dependents' slots).
  for (int i = 0; i < NumRefs(); ++i)
    if (GetReference(i)) DeleteReference(i);
  return REF_SUCCEED;
}

void ReferenceMaker::DeleteMe() {
  if (IsRefTarget()) {
    auto* self = static_cast<ReferenceTarget*>(this);
    self->beingDeleted_ = true;
    for (ReferenceMaker* dep : distinct(self->dependents_)) {
      // An earlier dependent's answer may have dropped (or deleted) this one.
      if (!self->hasDependent(dep)) continue;
      PartID part = PART_ALL;
      dep->NotifyRefChanged(FOREVER, self, part, REFMSG_TARGET_DELETED);
      if (self->hasDependent(dep)) self->detachDependent(dep, true);
    }
  }
  DeleteAllRefsFromMe();
  DeleteThis();
}

// ---- ReferenceTarget --------------------------------------------------------

ReferenceTarget::~ReferenceTarget() {
  beingDeleted_ = true;
  // Makers still pointing here would dangle: clear their slots. No message: this object is half destroyed
  // and must not be looked at by the handlers.
  for (ReferenceMaker* dep : distinct(dependents_)) detachDependent(dep, true);
  dependents_.clear();
}

void ReferenceTarget::addDependent(ReferenceMaker* m) {
  dependents_.push_back(m);
  m->heldRefs_.push_back(this);
}

void ReferenceTarget::removeDependent(ReferenceMaker* m) {
  if (eraseOne(dependents_, m)) eraseOne(m->heldRefs_, this);
}

bool ReferenceTarget::hasDependent(const ReferenceMaker* m) const {
  return std::find(dependents_.begin(), dependents_.end(), m) != dependents_.end();
}

void ReferenceTarget::detachDependent(ReferenceMaker* m, bool clearSlots) {
  if (clearSlots) {
    // A maker in its own destruction answers NumRefs with the base's 0: nothing to clear then.
    for (int i = 0; i < m->NumRefs(); ++i)
      if (m->GetReference(i) == this) m->SetReference(i, nullptr);
  }
  eraseAll(dependents_, m);
  eraseAll(m->heldRefs_, static_cast<ReferenceTarget*>(this));
}

RefTargetHandle ReferenceTarget::Clone(RemapDir&) { return nullptr; }

RefResult ReferenceTarget::NotifyDependents(const Interval& changeInt, PartID partID, RefMessage message,
                                            SClass_ID sclass, BOOL propagate, RefTargetHandle hTarg) {
  if (notifyDepth_ >= kMaxNotifyDepth) return REF_SUCCEED;
  ++notifyDepth_;
  RefTargetHandle from = hTarg ? hTarg : this;
  // Handlers may add or drop references: walk a snapshot and skip makers that left meanwhile.
  for (ReferenceMaker* dep : distinct(dependents_)) {
    if (!hasDependent(dep)) continue;
    if (sclass != NOTIFY_ALL && dep->SuperClassID() != sclass) continue;
    PartID part = partID;
    RefResult r = dep->NotifyRefChanged(changeInt, from, part, message);
    if (r == REF_STOP || !propagate || !dep->IsRefTarget()) continue;
    auto* next = static_cast<ReferenceTarget*>(dep);
    // A target already passing a message on is part of a cycle back to here: stop the loop.
    if (next->notifyDepth_ > 0) continue;
    next->NotifyDependents(changeInt, part, message, sclass, propagate, next);
  }
  --notifyDepth_;
  return REF_SUCCEED;
}

int ReferenceTarget::DoEnumDependents(DependentEnumProc* dep) { return enumDependents(dep); }

int ReferenceTarget::enumDependents(DependentEnumProc* dep) {
  std::vector<ReferenceMaker*> seen;
  return enumDependents(dep, seen);
}

int ReferenceTarget::enumDependents(DependentEnumProc* dep, std::vector<ReferenceMaker*>& seen) {
  for (ReferenceMaker* m : distinct(dependents_)) {
    if (std::find(seen.begin(), seen.end(), m) != seen.end()) continue;
    seen.push_back(m);
    int r = dep->proc(m);
    if (r == DEP_ENUM_HALT) return 1;
    if (r == DEP_ENUM_SKIP || !m->IsRefTarget()) continue;
    if (static_cast<ReferenceTarget*>(m)->enumDependents(dep, seen)) return 1;
  }
  return 0;
}

// ---- DependentIterator ------------------------------------------------------

ReferenceMaker* DependentIterator::Next() {
  if (!target_) return nullptr;
  const auto& deps = target_->dependents_;
  while (next_ < int(deps.size())) {
    ReferenceMaker* m = deps[size_t(next_)];
    auto end = deps.begin() + next_;
    ++next_;
    if (std::find(deps.begin(), end, m) == end) return m;
  }
  return nullptr;
}

// ---- Cloning ----------------------------------------------------------------

RefTargetHandle RemapDir::CloneRef(RefTargetHandle oldTarget) {
  if (!oldTarget) return nullptr;
  if (RefTargetHandle done = FindMapping(oldTarget)) return done;
  RefTargetHandle copy = oldTarget->Clone(*this);
  if (copy) AddEntry(oldTarget, copy);
  return copy;
}

namespace {

class MapRemapDir : public RemapDir {
 public:
  RefTargetHandle FindMapping(RefTargetHandle from) override {
    auto it = map_.find(from);
    return it == map_.end() ? nullptr : it->second;
  }
  void AddEntry(RefTargetHandle from, RefTargetHandle to) override { map_[from] = to; }

 private:
  std::map<RefTargetHandle, RefTargetHandle> map_;
};

}  // namespace

RemapDir* NewRemapDir() { return new MapRemapDir(); }

RefTargetHandle CloneRefHierarchy(RefTargetHandle target) {
  RemapDir* remap = NewRemapDir();
  RefTargetHandle copy = remap->CloneRef(target);
  remap->DeleteThis();
  return copy;
}
