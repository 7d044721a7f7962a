#pragma once
// Animatables and references: the host's object graph. A ReferenceMaker holds numbered references to
// ReferenceTargets; every target knows its dependents (the makers that reference it) and tells them of its
// changes. A target whose last reference is removed deletes itself, as the host's targets do.
#include "maxtypes.h"
#include "maxheap.h"
#include "strclass.h"
#include <vector>

class ReferenceMaker;
class ReferenceTarget;
class RemapDir;
class IParamBlock2;
class BaseInterface;
class IObjParam;
class ISave;
class ILoad;
typedef ReferenceTarget* RefTargetHandle;
typedef ReferenceMaker* RefMakerHandle;

class HOSTAPI Animatable : public MaxHeapOperators {
 public:
  Animatable() = default;
  Animatable(const Animatable&) = delete;
  Animatable& operator=(const Animatable&) = delete;
  virtual ~Animatable() = default;

  virtual void GetClassName(TSTR& s) { s = "Animatable"; }
  virtual Class_ID ClassID() { return Class_ID(0, 0); }
  virtual SClass_ID SuperClassID() = 0;
  virtual void DeleteThis() { delete this; }

  virtual int NumSubs() { return 0; }
  virtual Animatable* SubAnim(int) { return nullptr; }
  virtual TSTR SubAnimName(int) { return TSTR(); }
  virtual int NumParamBlocks() { return 0; }
  virtual IParamBlock2* GetParamBlock(int) { return nullptr; }
  virtual IParamBlock2* GetParamBlockByID(short) { return nullptr; }

  // Interface queries: by number (old style) and by Interface_ID.
  virtual void* GetInterface(ULONG) { return nullptr; }
  virtual BaseInterface* GetInterface(Interface_ID) { return nullptr; }

  virtual void BeginEditParams(IObjParam*, ULONG, Animatable*) {}
  virtual void EndEditParams(IObjParam*, ULONG, Animatable*) {}

  void SetAFlag(DWORD mask) { aflag_ |= mask; }
  void ClearAFlag(DWORD mask) { aflag_ &= ~mask; }
  BOOL TestAFlag(DWORD mask) const { return (aflag_ & mask) ? TRUE : FALSE; }

 private:
  DWORD aflag_ = 0;
};

class HOSTAPI ReferenceMaker : public Animatable {
 public:
  ~ReferenceMaker() override;

  virtual int NumRefs() { return 0; }
  virtual RefTargetHandle GetReference(int) { return nullptr; }
  // Stores the pointer only; the bookkeeping of dependents is done by ReplaceReference.
  virtual void SetReference(int, RefTargetHandle) {}

  virtual RefResult NotifyRefChanged(const Interval& changeInt, RefTargetHandle hTarget, PartID& partID,
                                     RefMessage message) = 0;

  // Makes reference `which` point to newTarget (null clears it), registering this maker as a dependent
  // of the new target and removing it from the old one, which deletes itself when nothing references it
  // any more (when delOld).
  RefResult ReplaceReference(int which, RefTargetHandle newTarget, BOOL delOld = TRUE);
  RefResult DeleteReference(int which);
  RefResult DeleteAllRefsFromMe();
  // Drops every reference this maker holds and every reference to it (if a target), then deletes it.
  void DeleteMe();

  virtual IOResult Save(ISave*) { return IO_OK; }
  virtual IOResult Load(ILoad*) { return IO_OK; }

  virtual BOOL IsRefTarget() { return FALSE; }
  virtual BOOL IsRefMaker() { return TRUE; }

 private:
  friend class ReferenceTarget;
  // The targets this maker is registered with, one entry per reference held. Kept by the base because a
  // destructor can no longer ask the derived class for its references.
  std::vector<ReferenceTarget*> heldRefs_;
  void detachFromHeldTargets(bool deleteOrphans);
};

// Answers DEP_ENUM_CONTINUE to go on, DEP_ENUM_SKIP to not descend into this dependent's dependents,
// DEP_ENUM_HALT to stop.
#define DEP_ENUM_CONTINUE 0
#define DEP_ENUM_HALT 1
#define DEP_ENUM_SKIP 2
class DependentEnumProc {
 public:
  virtual ~DependentEnumProc() = default;
  virtual int proc(ReferenceMaker* rmaker) = 0;
};

class HOSTAPI ReferenceTarget : public ReferenceMaker {
 public:
  ~ReferenceTarget() override;
  BOOL IsRefTarget() override { return TRUE; }

  // Copy of this target; references are copied through remap so that shared targets stay shared.
  virtual RefTargetHandle Clone(RemapDir& remap);
  virtual void BaseClone(ReferenceTarget* from, ReferenceTarget* to, RemapDir& remap) {}

  // Sends message to every dependent (of super class sclass, or all with NOTIFY_ALL); when propagate, a
  // dependent that did not answer REF_STOP passes the message on to its own dependents. A maker holding
  // several references to this target hears the message once. A target that is already passing a message
  // on is not asked to pass it on again, so cycles end.
  // Deleting a target (DeleteMe) sends REFMSG_TARGET_DELETED to its direct dependents only; a target that
  // is simply destroyed while referenced clears its dependents' slots without a message.
  RefResult NotifyDependents(const Interval& changeInt, PartID partID, RefMessage message,
                             SClass_ID sclass = NOTIFY_ALL, BOOL propagate = TRUE, RefTargetHandle hTarg = nullptr);
  // Calls dep->proc for every dependent (not for this target itself), depth first, each maker once;
  // returns 1 when halted.
  int DoEnumDependents(DependentEnumProc* dep);

  int NumDependents() const { return int(dependents_.size()); }
  ReferenceMaker* Dependent(int i) const { return dependents_[size_t(i)]; }

 private:
  friend class ReferenceMaker;
  friend class DependentIterator;
  void addDependent(ReferenceMaker* m);
  void removeDependent(ReferenceMaker* m);  // one entry per reference held
  int enumDependents(DependentEnumProc* dep);
  int enumDependents(DependentEnumProc* dep, std::vector<ReferenceMaker*>& seen);
  // Clears every reference m holds to this target and forgets m as a dependent.
  void detachDependent(ReferenceMaker* m, bool clearSlots);
  bool hasDependent(const ReferenceMaker* m) const;
  std::vector<ReferenceMaker*> dependents_;
  int notifyDepth_ = 0;
  bool beingDeleted_ = false;  // no auto-delete while DeleteMe or the destructor runs
};

// Walks the direct dependents of a target, each maker once even when it holds several references.
class HOSTAPI DependentIterator {
 public:
  explicit DependentIterator(ReferenceTarget* target) : target_(target) {}
  ReferenceMaker* Next();
  void Reset() { next_ = 0; }

 private:
  ReferenceTarget* target_;
  int next_ = 0;
};

// Map of originals to copies during a clone.
class HOSTAPI RemapDir {
 public:
  virtual ~RemapDir() = default;
  virtual RefTargetHandle FindMapping(RefTargetHandle from) = 0;
  virtual void AddEntry(RefTargetHandle from, RefTargetHandle to) = 0;
  // The copy of oldTarget: the mapped one when it was cloned already, else a new clone (recorded).
  virtual RefTargetHandle CloneRef(RefTargetHandle oldTarget);
  virtual void DeleteThis() { delete this; }
};
HOSTAPI RemapDir* NewRemapDir();
HOSTAPI RefTargetHandle CloneRefHierarchy(RefTargetHandle target);
