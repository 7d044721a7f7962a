// The Standard material: twelve map slots, each a reference of the material.
#include <atomic>

#include "../core/datastream.h"
#include "materials_internal.h"

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

  // The name; the maps are its references.
  IOResult Save(ISave* isave) override {
    return hostio::SaveData(isave, [&](hostio::Writer& w) { w.Str(GetName().str()); });
  }
  IOResult Load(ILoad* iload) override {
    std::string name;
    if (hostio::LoadData(iload, [&](hostio::Reader& in) { return ReadName(in, name); }) != IO_OK) return IO_ERROR;
    SetName(name.c_str());
    return IO_OK;
  }

 private:
  Texmap* maps_[STD2_NMAX_TEXMAPS] = {};
};

}  // namespace

bool ReadName(hostio::Reader& in, std::string& name) {
  return in.Str(name) && (name.find('\0') == std::string::npos || in.Fail());
}

StdMat2* MakeStandardMaterial() { return new StandardMaterial(); }

StdMat2* NewDefaultStdMat() {
  if (g_stdMatFails.exchange(false)) return nullptr;
  return MakeStandardMaterial();
}

void SetNextNewDefaultStdMatFails(BOOL fails) { g_stdMatFails = fails != FALSE; }
