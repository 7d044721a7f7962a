#pragma once
// Controllers: animatables that give a value at any time. The keyed controllers here interpolate linearly
// between keys (rotations spherically, the short way round).
//
// Value types: float controllers take float*, position controllers Point3*, rotation controllers Quat*,
// scale controllers Point3* (scale factors per axis). The real host passes a Matrix3 to relative gets of
// position, rotation and scale; this stand-in does not: both methods work on the value types above.
//   CTRL_ABSOLUTE get: *val = value.          CTRL_ABSOLUTE set: the value becomes *val.
//   CTRL_RELATIVE get: float and position add the value to *val, rotation composes *val then the value,
//                      scale multiplies *val by it per axis.
//   CTRL_RELATIVE set: the same combination of the current value at t with *val.
// GetValue intersects valid with the span over which the value stays the same.
//
// Setting a value: with no keys SetValue changes the controller's constant value (it stays unanimated);
// with keys it sets the key at t, creating one there when there is none. This stand-in has no animate
// button: keys come from AddNewKey, the typed AddKey calls, or SetValue on an animated controller.
// The commit argument is accepted and ignored (values are always committed).
//
// The linear controllers save their constant value and their keys, exactly as they hold them, and Load
// replaces both (IO_ERROR, with the controller unchanged, for damaged data: keys out of time order,
// values that are not finite).
#include "maxtypes.h"
#include "point3.h"
#include "quat.h"
#include "ref.h"
#include <algorithm>
#include <vector>

enum GetSetMethod { CTRL_RELATIVE, CTRL_ABSOLUTE };

#define LININTERP_FLOAT_CLASS_ID 0x2007
#define LININTERP_POSITION_CLASS_ID 0x2002
#define LININTERP_ROTATION_CLASS_ID 0x2003
#define LININTERP_SCALE_CLASS_ID 0x2004

class HOSTAPI Control : public ReferenceTarget {
 public:
  virtual void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) = 0;
  virtual void SetValue(TimeValue t, void* val, int commit = 1, GetSetMethod method = CTRL_ABSOLUTE) = 0;
  virtual int NumKeys() { return 0; }
  // Time of key i (keys are in ascending time order); 0 when there is no such key.
  virtual TimeValue GetKeyTime(int) { return 0; }
  virtual BOOL IsAnimated() { return NumKeys() > 0 ? TRUE : FALSE; }
  // Adds a key at t holding the value the controller has at t (nothing when a key is there already).
  virtual void AddNewKey(TimeValue, DWORD /*flags*/) {}
  virtual void DeleteKeyAtTime(TimeValue) {}
  virtual void DeleteKeyByIndex(int) {}

  // Controllers hold no references.
  RefResult NotifyRefChanged(const Interval&, RefTargetHandle, PartID&, RefMessage) override { return REF_SUCCEED; }
};

// Keys sorted by time, at most one per time.
template <class T>
class KeyTable {
 public:
  struct Key {
    TimeValue time;
    T value;
  };
  int Count() const { return int(keys_.size()); }
  const Key& operator[](int i) const { return keys_[size_t(i)]; }
  // Inserts a key, or replaces the value of the key already at t. Returns its index.
  int Set(TimeValue t, const T& v) {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), t, [](const Key& k, TimeValue tt) { return k.time < tt; });
    if (it != keys_.end() && it->time == t) {
      it->value = v;
    } else {
      it = keys_.insert(it, Key{t, v});
    }
    return int(it - keys_.begin());
  }
  // Index of the key at exactly t, -1 when none.
  int Find(TimeValue t) const {
    for (int i = 0; i < Count(); ++i)
      if (keys_[size_t(i)].time == t) return i;
    return -1;
  }
  void Delete(int i) {
    if (i >= 0 && i < Count()) keys_.erase(keys_.begin() + i);
  }
  void Clear() { keys_.clear(); }

 private:
  std::vector<Key> keys_;
};

// Linear float controller.
class HOSTAPI LinearFloatControl : public Control {
 public:
  explicit LinearFloatControl(float value = 0.0f) : value_(value) {}
  SClass_ID SuperClassID() override { return CTRL_FLOAT_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(LININTERP_FLOAT_CLASS_ID, 0); }
  void GetClassName(TSTR& s) override { s = "Linear Float"; }
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) override;
  void SetValue(TimeValue t, void* val, int commit = 1, GetSetMethod method = CTRL_ABSOLUTE) override;
  int NumKeys() override { return keys_.Count(); }
  TimeValue GetKeyTime(int i) override;
  void AddNewKey(TimeValue t, DWORD flags) override;
  void DeleteKeyAtTime(TimeValue t) override;
  void DeleteKeyByIndex(int i) override;
  RefTargetHandle Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  float ValueAt(TimeValue t);
  void AddKey(TimeValue t, float v);  // replaces a key at t
  float GetKeyValue(int i) const { return keys_[i].value; }

 private:
  KeyTable<float> keys_;
  float value_;
};

// Linear position controller (Point3 per component).
class HOSTAPI LinearPositionControl : public Control {
 public:
  explicit LinearPositionControl(const Point3& value = Point3(0.0f, 0.0f, 0.0f)) : value_(value) {}
  SClass_ID SuperClassID() override { return CTRL_POSITION_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(LININTERP_POSITION_CLASS_ID, 0); }
  void GetClassName(TSTR& s) override { s = "Linear Position"; }
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) override;
  void SetValue(TimeValue t, void* val, int commit = 1, GetSetMethod method = CTRL_ABSOLUTE) override;
  int NumKeys() override { return keys_.Count(); }
  TimeValue GetKeyTime(int i) override;
  void AddNewKey(TimeValue t, DWORD flags) override;
  void DeleteKeyAtTime(TimeValue t) override;
  void DeleteKeyByIndex(int i) override;
  RefTargetHandle Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  Point3 ValueAt(TimeValue t);
  void AddKey(TimeValue t, const Point3& v);
  Point3 GetKeyValue(int i) const { return keys_[i].value; }

 private:
  KeyTable<Point3> keys_;
  Point3 value_;
};

// Linear rotation controller: spherical linear interpolation the short way between unit quaternions.
class HOSTAPI LinearRotationControl : public Control {
 public:
  explicit LinearRotationControl(const Quat& value = Quat()) : value_(value) { value_.Normalize(); }
  SClass_ID SuperClassID() override { return CTRL_ROTATION_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(LININTERP_ROTATION_CLASS_ID, 0); }
  void GetClassName(TSTR& s) override { s = "Linear Rotation"; }
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) override;
  void SetValue(TimeValue t, void* val, int commit = 1, GetSetMethod method = CTRL_ABSOLUTE) override;
  int NumKeys() override { return keys_.Count(); }
  TimeValue GetKeyTime(int i) override;
  void AddNewKey(TimeValue t, DWORD flags) override;
  void DeleteKeyAtTime(TimeValue t) override;
  void DeleteKeyByIndex(int i) override;
  RefTargetHandle Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  Quat ValueAt(TimeValue t);
  void AddKey(TimeValue t, const Quat& v);  // stored normalised
  Quat GetKeyValue(int i) const { return keys_[i].value; }

 private:
  KeyTable<Quat> keys_;
  Quat value_;
};

// Linear scale controller (scale factors per axis, interpolated per component).
class HOSTAPI LinearScaleControl : public Control {
 public:
  explicit LinearScaleControl(const Point3& value = Point3(1.0f, 1.0f, 1.0f)) : value_(value) {}
  SClass_ID SuperClassID() override { return CTRL_SCALE_CLASS_ID; }
  Class_ID ClassID() override { return Class_ID(LININTERP_SCALE_CLASS_ID, 0); }
  void GetClassName(TSTR& s) override { s = "Linear Scale"; }
  void GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method = CTRL_ABSOLUTE) override;
  void SetValue(TimeValue t, void* val, int commit = 1, GetSetMethod method = CTRL_ABSOLUTE) override;
  int NumKeys() override { return keys_.Count(); }
  TimeValue GetKeyTime(int i) override;
  void AddNewKey(TimeValue t, DWORD flags) override;
  void DeleteKeyAtTime(TimeValue t) override;
  void DeleteKeyByIndex(int i) override;
  RefTargetHandle Clone(RemapDir& remap) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  Point3 ValueAt(TimeValue t);
  void AddKey(TimeValue t, const Point3& v);
  Point3 GetKeyValue(int i) const { return keys_[i].value; }

 private:
  KeyTable<Point3> keys_;
  Point3 value_;
};

// New unanimated controllers: float 0, position origin, identity rotation, scale (1, 1, 1).
HOSTAPI Control* NewDefaultFloatController();
HOSTAPI Control* NewDefaultPositionController();
HOSTAPI Control* NewDefaultRotationController();
HOSTAPI Control* NewDefaultScaleController();
