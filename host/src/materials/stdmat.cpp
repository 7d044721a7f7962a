// The Standard material: twelve map slots, each a reference of the material.
#include <atomic>

#include "stdmat.h"

namespace {

std::atomic<bool> g_stdMatFails{false};

class StandardMaterial : public StdMat2 {
 public:
  ~StandardMaterial() override {
    // Drop the maps while this material can still answer for its slots.
    DeleteAllRefsFromMe();
  }

  void GetClassName(TSTR& s) override { s = "Standard"; }
  Class_ID ClassID() override { return Class_ID(DMTL_CLASS_ID, 0); }

  int NumSubTexmaps() override { return STD2_NMAX_TEXMAPS; }
  Texmap* GetSubTexmap(int i) override { return CheckSlot(i) ? maps_[i] : nullptr; }
  void SetSubTexmap(int i, Texmap* m) override {
    if (!CheckSlot(i)) return;
    ReplaceReference(i, m);
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  }

  int NumRefs() override { return STD2_NMAX_TEXMAPS; }
  RefTargetHandle GetReference(int i) override { return i >= 0 && i < STD2_NMAX_TEXMAPS ? maps_[i] : nullptr; }
  void SetReference(int i, RefTargetHandle target) override {
    if (i < 0 || i >= STD2_NMAX_TEXMAPS) return;
    maps_[i] = static_cast<Texmap*>(target);
    SlotsChanged();
  }
  // A changed map is a changed material: the message goes on to the material's users.
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }

 private:
  Texmap* maps_[STD2_NMAX_TEXMAPS] = {};
};

}  // namespace

StdMat2* NewDefaultStdMat() {
  if (g_stdMatFails.exchange(false)) return nullptr;
  return new StandardMaterial();
}

void SetNextNewDefaultStdMatFails(BOOL fails) { g_stdMatFails = fails != FALSE; }
