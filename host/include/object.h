#pragma once
// Objects of the host's geometry pipeline: what a node carries and what flows up a modifier stack.
//
// Ownership in the pipeline: objects are created locked. A locked object belongs to whoever made it (a
// base object belongs to the references that hold it); the pipeline never deletes it. An object that is
// unlocked (UnlockObject) belongs to the pipeline, which deletes it once a modifier has replaced it or
// when the result slot holding it is refilled. So a modifier that puts a new object into os->obj
// unlocks it, unless it keeps the object itself.
#include "maxtypes.h"
#include "matrix3.h"
#include "ref.h"

class Object;
class PolyShape;
class INode;
class CreateMouseCallBack;

// Channel numbers (bit n of a ChannelMask is channel number n).
#define MTL_CHAN_NUM 3
#define SELECT_CHAN_NUM 4
#define SUBSEL_TYPE_CHAN_NUM 5
#define DISP_ATTRIB_CHAN_NUM 6
#define VERT_COLOR_CHAN_NUM 7
#define GFX_DATA_CHAN_NUM 8
#define DISP_APPROX_CHAN_NUM 9
#define TM_CHAN_NUM 10
#define EXTENSION_CHAN_NUM 13

// Step counts for ShapeObject::MakePolyShape: the shape's own interpolation steps. Adaptive
// interpolation is not modelled: it uses the shape's own steps too.
#define PSHAPE_BUILTIN_STEPS -2
#define PSHAPE_ADAPTIVE_STEPS -1

// Anything that can sit in a node's pipeline: objects and modifiers.
class HOSTAPI BaseObject : public ReferenceTarget {
 public:
  // Interactive creation is not modelled: no mouse callback.
  virtual CreateMouseCallBack* GetCreateMouseCallBack() { return nullptr; }
  // The name shown in the modifier stack.
  virtual const char* GetObjectName() { return ""; }
  // Objects and modifiers without references of their own need not answer messages.
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
};

// The state of a pipeline at one time: the object and, for world-space results, a transform.
struct HOSTAPI ObjectState {
  Object* obj = nullptr;
  Matrix3* tm = nullptr;  // null: identity (object space)
  Interval tmValid = FOREVER;

  ObjectState() = default;
  explicit ObjectState(Object* o) : obj(o) {}
  // Validity of the object (and of the transform when there is one) at t; NEVER without an object.
  Interval Validity(TimeValue t) const;
  BOOL TMIsIdentity() const { return tm == nullptr ? TRUE : FALSE; }
  Matrix3* GetTM() const { return tm; }
};

class HOSTAPI Object : public BaseObject {
 public:
  Object();
  ~Object() override;

  // The object's state at t. A base object returns itself (its channels describe it at t); a derived
  // object evaluates its modifier stack.
  virtual ObjectState Eval(TimeValue t) { return ObjectState(this); }

  // Per-channel validity (channel numbers 0 .. NUM_OBJ_CHANS-1; others read as NEVER and are ignored).
  virtual Interval ChannelValidity(TimeValue t, int nchan);
  virtual void SetChannelValidity(int nchan, Interval v);
  // Narrows a channel's validity to its intersection with v (what a modifier does to its output).
  virtual void UpdateValidity(int nchan, Interval v);
  // Sets every channel in the mask to NEVER.
  virtual void InvalidateChannels(ChannelMask channels);
  // Intersection of all channels' validities at t.
  virtual Interval ObjectValidity(TimeValue t);

  // See the ownership rule at the top of this file.
  void LockObject() { locked_ = true; }
  void UnlockObject() { locked_ = false; }
  BOOL IsObjectLocked() const { return locked_ ? TRUE : FALSE; }

  // Conversion: by default an object converts only to its own class, returning itself. A conversion that
  // returns another object hands it to the caller (delete it when it is not the object asked).
  virtual int CanConvertToType(Class_ID obtype) { return obtype == ClassID() ? 1 : 0; }
  virtual Object* ConvertToType(TimeValue t, Class_ID obtype) { return CanConvertToType(obtype) ? this : nullptr; }
  virtual BOOL IsShapeObject() { return FALSE; }
  virtual BOOL IsParticleSystem() { return FALSE; }

  // A new, independent copy of this object. Default: a clone through the reference system (Clone).
  virtual Object* MakeShallowCopy(ChannelMask channels);
  // The copy the pipeline works on: this object as it is at t, new and unlocked, free to modify. Default:
  // MakeShallowCopy(ALL_CHANNELS), unlocked. Null when the object can't be copied.
  virtual Object* MakeCopyAt(TimeValue t);

 protected:
  // Copies the channel validities (used by copies).
  void CopyValidity(const Object& from);

 private:
  Interval valid_[NUM_OBJ_CHANS];
  bool locked_ = true;
};

class HOSTAPI GeomObject : public Object {
 public:
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
};

class HOSTAPI ShapeObject : public GeomObject {
 public:
  SClass_ID SuperClassID() override { return SHAPE_CLASS_ID; }
  BOOL IsShapeObject() override { return TRUE; }
  int CanConvertToType(Class_ID obtype) override {
    return obtype == genericShapeClassID || GeomObject::CanConvertToType(obtype);
  }
  // The shape at t as polylines, `steps` points interpolated inside every segment (PSHAPE_BUILTIN_STEPS:
  // the shape's own step count). The shape is replaced.
  virtual void MakePolyShape(TimeValue t, PolyShape& shape, int steps = PSHAPE_BUILTIN_STEPS,
                             BOOL optimize = FALSE) = 0;
  virtual int NumberOfCurves(TimeValue t) { return 0; }
};
