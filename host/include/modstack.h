#pragma once
// Modifiers and the modifier stack (derived objects).
#include "object.h"

class INode;
class Box3;

// Data a modifier keeps per application (per node it is applied to), stored in the ModContext.
class HOSTAPI LocalModData : public MaxHeapOperators {
 public:
  virtual ~LocalModData() = default;
  virtual LocalModData* Clone() = 0;
  virtual void* GetInterface(ULONG) { return nullptr; }
};

// One application of a modifier. Owns tm and localData (deleted with the context; a copy clones them).
// box is carried for callers and not owned.
class HOSTAPI ModContext : public MaxHeapOperators {
 public:
  Matrix3* tm = nullptr;
  void* box = nullptr;
  LocalModData* localData = nullptr;

  ModContext() = default;
  ModContext(Matrix3* tm, void* box, LocalModData* localData) : tm(tm), box(box), localData(localData) {}
  ModContext(const ModContext& mc);
  ModContext& operator=(const ModContext&) = delete;
  ~ModContext();
};

class HOSTAPI Modifier : public BaseObject {
 public:
  SClass_ID SuperClassID() override { return OSM_CLASS_ID; }

  // The channels the modifier reads and the ones it changes.
  virtual ChannelMask ChannelsUsed() = 0;
  virtual ChannelMask ChannelsChanged() = 0;
  // The kind of object the modifier expects. The stack does not enforce it: whatever arrives from below
  // is passed on, and a modifier that can't handle it must check and fail by itself.
  virtual Class_ID InputType() = 0;
  // How long the modifier's own effect at t stays the same. The stack narrows the changed channels of
  // its output to this. Default: FOREVER (a modifier whose effect varies in time must say so).
  virtual Interval LocalValidity(TimeValue t) { return FOREVER; }
  // Applies the modifier to os->obj: in place, or by putting another object into os->obj (see the
  // ownership rule in object.h). node is the node that carries the stack, or null.
  virtual void ModifyObject(TimeValue t, ModContext& mc, ObjectState* os, INode* node) = 0;
  // Told by the stack when something below this modifier changed.
  virtual void NotifyInputChanged(const Interval& changeInt, PartID partID, RefMessage message, ModContext* mc) {}
  virtual BOOL DependOnTopology(ModContext& mc) { return FALSE; }

  virtual BOOL HasUVW() { return FALSE; }
  virtual BOOL HasUVW(int mapChannel) { return mapChannel == 1 ? HasUVW() : FALSE; }
  virtual void SetGenUVW(BOOL sw) {}
  virtual void SetGenUVW(int mapChannel, BOOL sw) {
    if (mapChannel == 1) SetGenUVW(sw);
  }

  // A disabled modifier is skipped by the stack.
  void EnableMod() {
    enabled_ = true;
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  }
  void DisableMod() {
    enabled_ = false;
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  }
  BOOL IsEnabled() const { return enabled_ ? TRUE : FALSE; }

 private:
  bool enabled_ = true;
};

// A modifier stack on top of an object. Modifier index 0 is the top of the stack (applied last), the last
// index the bottom (applied first, right on the object). References: 0 the object, 1 + i modifier i; so a
// modifier's dependents are the derived objects it is applied in, and a derived object's dependent is the
// node that carries it.
//
// Evaluation (Eval(t, modIndex)): the object is evaluated at t and, when at least one modifier from the
// bottom up to modIndex is to be applied, copied (MakeCopyAt) so that the object itself is never changed;
// the copy goes through the modifiers from the bottom up to and including modIndex. Objects replaced on
// the way are deleted if the pipeline owns them. The validity of the result is narrowed by each applied
// modifier's LocalValidity (on the channels it changes) and, when a modifier replaces its input, by the
// input's validity (what is made from an input holds no longer than it).
// Lifetime of a result: Eval with no modifier to apply returns the object's own Eval(t). Otherwise the
// result is held in a slot per start index: it stays alive and unchanged until the next Eval with the same
// modIndex that has to recompute (a result still valid at the asked time is returned again), or until the
// derived object is deleted. Results of other start indices are not touched; so a modifier may, inside its
// ModifyObject, evaluate the same derived object at another time from its own index + 1 and read that
// result, while the evaluation that called it goes on unharmed.
// A change message (REFMSG_CHANGE) from the object or a modifier marks all held results stale, tells the
// modifiers above the change (NotifyInputChanged) and goes on to the node.
class HOSTAPI IDerivedObject : public Object {
 public:
  SClass_ID SuperClassID() override { return GEN_DERIVOB_CLASS_ID; }
  Class_ID ClassID() override { return derivObjClassID; }

  virtual int NumModifiers() = 0;
  virtual Modifier* GetModifier(int index) = 0;
  virtual ModContext* GetModContext(int index) = 0;
  // Inserts mod before index `before` (0: on top; NumModifiers() or more: at the bottom). The derived
  // object takes mc (a new context when null).
  virtual void AddModifier(Modifier* mod, ModContext* mc = nullptr, int before = 0) = 0;
  // Removes modifier `index` and its context; the modifier is deleted when nothing else references it.
  virtual void DeleteModifier(int index = 0) = 0;
  virtual void SetModifier(int index, Modifier* mod) = 0;
  virtual Object* GetObjRef() = 0;
  virtual RefResult ReferenceObject(Object* obj) = 0;
// Hides Object::Eval(t) on purpose, as the host's own class does: a derived object evaluates from an index.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Woverloaded-virtual"
#endif
  virtual ObjectState Eval(TimeValue t, int modIndex = 0) = 0;
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
};

// A new derived object on obj (which may be null and set later with ReferenceObject).
HOSTAPI IDerivedObject* CreateDerivedObject(Object* obj = nullptr);
