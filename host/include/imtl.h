#pragma once
// Materials and maps, as the plug-in sees them. Both are reference targets: a material references the maps in
// its slots and a node references its material, so a map or material lives as long as something holds it and
// goes with the last reference (or at MaybeAutoDelete when nothing ever took it).
#include "ref.h"

#define UVGEN_CLASS_ID 0x00000c20

// Material and map flags
// The map is the one the viewports show for its material (set by Interface::ActivateTexture).
#define MTL_TEX_DISPLAY_ENABLED (1 << 17)

class HOSTAPI Color {
 public:
  float r = 0.0f, g = 0.0f, b = 0.0f;
  Color() = default;
  Color(float r, float g, float b) : r(r), g(g), b(b) {}
  bool operator==(const Color& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Color& o) const { return !(*this == o); }
};

class Texmap;

// What materials, maps and UV generators share: a name, flags and the numbered map slots ("sub-texmaps").
// A slot index outside 0..NumSubTexmaps()-1 is a fault, reported through assert1: GetSubTexmap then gives
// null and SetSubTexmap changes nothing.
class HOSTAPI MtlBase : public ReferenceTarget {
 public:
  void SetName(const char* name) { name_ = name; }
  const TSTR& GetName() const { return name_; }

  void SetMtlFlag(ULONG mask, BOOL on = TRUE) { flags_ = on ? (flags_ | mask) : (flags_ & ~mask); }
  void ClearMtlFlag(ULONG mask) { flags_ &= ~mask; }
  BOOL TestMtlFlag(ULONG mask) const { return (flags_ & mask) ? TRUE : FALSE; }

  virtual int NumSubTexmaps() { return 0; }
  virtual Texmap* GetSubTexmap(int i);
  // Puts m (null: none) into slot i: the slot references it, and the map it held before is deleted when
  // nothing else references it.
  virtual void SetSubTexmap(int i, Texmap* m);

  // Deletes this material or map when nothing references it (it was made and never taken); REF_SUCCEED
  // then, REF_FAIL when it is kept.
  RefResult MaybeAutoDelete();

 protected:
  // Reports a slot index out of range; true when i is valid.
  bool CheckSlot(int i);

 private:
  TSTR name_;
  ULONG flags_ = 0;
};

// A map: a source of colour over a surface (a bitmap, a gradient, ...).
class HOSTAPI Texmap : public MtlBase {
 public:
  SClass_ID SuperClassID() override { return TEXMAP_CLASS_ID; }
};

// How a map's coordinates are made: the base of StdUVGen (stdmat.h).
class HOSTAPI UVGen : public MtlBase {
 public:
  SClass_ID SuperClassID() override { return UVGEN_CLASS_ID; }
};

// A material: maps in its slots, one of them the active one (shown by its editor).
class HOSTAPI Mtl : public MtlBase {
 public:
  SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }

  // The active map must be one of this material's maps (in a slot) or null; another is a fault, reported,
  // and changes nothing. It stops being active when it leaves its last slot.
  void SetActiveTexmap(MtlBase* m);
  MtlBase* GetActiveTexmap() const { return active_; }

 protected:
  // For implementations: call after a slot changed, so that a map that left the material is no longer
  // active.
  void SlotsChanged();

 private:
  bool HoldsMap(const MtlBase* m);
  MtlBase* active_ = nullptr;
};
