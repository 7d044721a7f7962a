// What every material and map shares: map slots, auto-deletion and the material's active map.
#include "debug.h"
#include "imtl.h"

bool MtlBase::CheckSlot(int i) {
  if (i >= 0 && i < NumSubTexmaps()) return true;
  assert1(__LINE__, __FILE__, "map slot index within 0..NumSubTexmaps()-1");
  return false;
}

// Only reached for an index out of range: a class with slots answers for them itself.
Texmap* MtlBase::GetSubTexmap(int i) {
  CheckSlot(i);
  return nullptr;
}

void MtlBase::SetSubTexmap(int i, Texmap*) { CheckSlot(i); }

RefResult MtlBase::MaybeAutoDelete() {
  if (NumDependents() > 0) return REF_FAIL;
  DeleteMe();
  return REF_SUCCEED;
}

bool Mtl::HoldsMap(const MtlBase* m) {
  for (int i = 0; i < NumSubTexmaps(); ++i)
    if (GetSubTexmap(i) == m) return true;
  return false;
}

void Mtl::SetActiveTexmap(MtlBase* m) {
  if (m && !HoldsMap(m)) {
    DbgAssert(!"the active map is one of the material's maps");
    return;
  }
  active_ = m;
}

void Mtl::SlotsChanged() {
  // A map that left the material may be freed soon: it must not stay behind as the active one.
  if (active_ && !HoldsMap(active_)) active_ = nullptr;
}
