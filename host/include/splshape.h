#pragma once
// The editable spline object: a Bezier shape, optionally keyed over time.
#include <vector>
#include "object.h"
#include "shape.h"

#define SPLINESHAPE_NAME "Line"

class HOSTAPI SplineShape : public ShapeObject {
 public:
  // The static shape. While the object has shape keys, evaluation reads the keys and ignores it.
  BezierShape shape;

  SplineShape() = default;
  ~SplineShape() override;

  Class_ID ClassID() override { return splineShapeClassID; }
  void GetClassName(TSTR& s) override { s = "SplineShape"; }
  const char* GetObjectName() override { return SPLINESHAPE_NAME; }
  int CanConvertToType(Class_ID obtype) override {
    return obtype == splineShapeClassID || ShapeObject::CanConvertToType(obtype);
  }
  RefTargetHandle Clone(RemapDir& remap) override;
  // The static shape and the keys, every knot as it is held; Load replaces both (IO_ERROR, with the
  // object unchanged, for damaged data: keys out of order or of differing structure, unknown knot types,
  // values that are not finite).
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  BezierShape& GetShape() { return shape; }

  // Keyed shapes (a stand-in extension for animated splines). Every key must have the same splines with
  // the same knot counts and closed flags; between keys each coordinate of every knot point and handle is
  // interpolated linearly, before the first key the first holds and after the last the last. Keys are
  // kept sorted by time; a key at an existing time replaces it. FALSE (nothing changed) when the
  // structure does not match the keys already there.
  BOOL AddShapeKey(TimeValue t, const BezierShape& keyShape);
  void ClearShapeKeys();
  int NumShapeKeys() const { return int(keys_.size()); }
  TimeValue GetShapeKeyTime(int i) const { return keys_[size_t(i)].time; }
  BOOL IsKeyed() const { return keys_.empty() ? FALSE : TRUE; }
  // The Bezier shape at t: the interpolated keys, or the static shape.
  void GetShapeAt(TimeValue t, BezierShape& out) const;

  // Geometry is valid FOREVER unless keyed; keyed, for as long as the keys hold it: before the first key
  // and after the last the shape stands still (a single key holds forever), between keys only the instant
  // t. The copies made at t carry the same.
  Interval ChannelValidity(TimeValue t, int nchan) override;
  void MakePolyShape(TimeValue t, PolyShape& pshape, int steps = PSHAPE_BUILTIN_STEPS, BOOL optimize = FALSE) override;
  int NumberOfCurves(TimeValue t) override;

  // A full copy, keys included.
  Object* MakeShallowCopy(ChannelMask channels) override;
  // An unkeyed SplineShape holding the shape at t, valid only at t when this one is keyed.
  Object* MakeCopyAt(TimeValue t) override;

 private:
  Interval KeyedValidity(TimeValue t) const;
  struct Key {
    TimeValue time;
    BezierShape shape;
  };
  std::vector<Key> keys_;
};

// A new empty spline object (locked, like every new object).
inline SplineShape* NewSplineShape() { return new SplineShape(); }
