// Keyed linear controllers: float, position, rotation, scale.
#include "control.h"

#include "../core/trackio.h"

namespace {

// Per value type: interpolation between two keys and how relative gets and sets combine values.
struct FloatOps {
  using T = float;
  static T Lerp(const T& a, const T& b, float u) { return a + (b - a) * u; }
  static T Combine(const T& base, const T& v) { return base + v; }
  static T Tidy(const T& v) { return v; }
};

struct PositionOps {
  using T = Point3;
  static T Lerp(const T& a, const T& b, float u) { return a + (b - a) * u; }
  static T Combine(const T& base, const T& v) { return base + v; }
  static T Tidy(const T& v) { return v; }
};

struct ScaleOps {
  using T = Point3;
  static T Lerp(const T& a, const T& b, float u) { return a + (b - a) * u; }
  static T Combine(const T& base, const T& v) { return base * v; }
  static T Tidy(const T& v) { return v; }
};

struct RotationOps {
  using T = Quat;
  static T Lerp(const T& a, const T& b, float u) {
    Quat to = b;
    to.MakeClosest(a);  // the short way round
    return Slerp(a, to, u);
  }
  // base first, then v.
  static T Combine(const T& base, const T& v) { return Tidy(base * v); }
  static T Tidy(const T& v) {
    Quat q = v;
    return q.Normalize();
  }
};

// Value of a key table at t, with the span of times around t over which that value holds.
template <class Ops>
typename Ops::T Evaluate(const KeyTable<typename Ops::T>& keys, const typename Ops::T& constant, TimeValue t,
                         Interval& span) {
  int n = keys.Count();
  if (n == 0) {
    span = FOREVER;
    return constant;
  }
  if (n == 1) {
    span = FOREVER;
    return keys[0].value;
  }
  if (t <= keys[0].time) {
    span = Interval(TIME_NegInfinity, keys[0].time);
    return keys[0].value;
  }
  if (t >= keys[n - 1].time) {
    span = Interval(keys[n - 1].time, TIME_PosInfinity);
    return keys[n - 1].value;
  }
  // The first key after t, found by halving (the keys are kept in ascending time); it exists since t is
  // before the last key.
  int hi = 1;
  for (int last = n - 1; hi < last;) {
    const int mid = hi + (last - hi) / 2;
    if (keys[mid].time <= t)
      hi = mid + 1;
    else
      last = mid;
  }
  const auto& a = keys[hi - 1];
  const auto& b = keys[hi];
  if (a.value == b.value) {
    span = Interval(a.time, b.time);
    return a.value;
  }
  span.SetInstant(t);
  if (t == a.time) return a.value;
  float u = float((double(t) - a.time) / (double(b.time) - a.time));  // keys far apart differ by more than an int
  return Ops::Lerp(a.value, b.value, u);
}

// Shared by the four controllers, which differ only in value type and arithmetic.
template <class Ops>
struct Track {
  using T = typename Ops::T;
  KeyTable<T>& keys;
  T& constant;
  ReferenceTarget* owner;

  T ValueAt(TimeValue t) const {
    Interval span;
    return Evaluate<Ops>(keys, constant, t, span);
  }

  void Get(TimeValue t, void* val, Interval& valid, GetSetMethod method) const {
    if (!val) return;
    Interval span;
    T v = Evaluate<Ops>(keys, constant, t, span);
    T& out = *static_cast<T*>(val);
    out = method == CTRL_RELATIVE ? Ops::Combine(out, v) : v;
    valid &= span;
  }

  void Set(TimeValue t, void* val, GetSetMethod method) {
    if (!val) return;
    const T& in = *static_cast<const T*>(val);
    T v = Ops::Tidy(method == CTRL_RELATIVE ? Ops::Combine(ValueAt(t), in) : in);
    if (keys.Count() == 0)
      constant = v;
    else
      keys.Set(t, v);
    Changed();
  }

  void AddKey(TimeValue t, const T& v) {
    keys.Set(t, Ops::Tidy(v));
    Changed();
  }

  void AddNewKey(TimeValue t) {
    if (keys.Find(t) >= 0) return;
    keys.Set(t, ValueAt(t));
    Changed();
  }

  void DeleteIndex(int i) {
    if (i < 0 || i >= keys.Count()) return;
    // The last key's value stays as the constant, so removing it does not make the value jump.
    if (keys.Count() == 1) constant = keys[0].value;
    keys.Delete(i);
    Changed();
  }

  TimeValue KeyTime(int i) const { return i >= 0 && i < keys.Count() ? keys[i].time : 0; }

  // The constant, then the keys.
  IOResult Save(ISave* isave) const {
    return hostio::SaveData(isave, [&](hostio::Writer& w) {
      hostio::PutValue(w, constant);
      hostio::PutTrack(w, keys);
    });
  }

  // Values are taken as saved (a rotation is not normalised again), so a controller loads back bit for bit.
  IOResult Load(ILoad* iload) {
    T value{};
    KeyTable<T> loaded;
    const IOResult r = hostio::LoadData(
        iload, [&](hostio::Reader& in) { return hostio::GetValue(in, value) && hostio::GetTrack(in, loaded); });
    if (r != IO_OK) return IO_ERROR;
    constant = value;
    keys = loaded;
    Changed();
    return IO_OK;
  }

  void Changed() { owner->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE); }
};

}  // namespace

// The four controllers share every body; only the value type and its arithmetic differ.
#define WW_LINEAR_CONTROL_BODIES(Class, Ops, ValueType, KeyArg)                                            \
  void Class::GetValue(TimeValue t, void* val, Interval& valid, GetSetMethod method) {                     \
    Track<Ops>{keys_, value_, this}.Get(t, val, valid, method);                                            \
  }                                                                                                        \
  void Class::SetValue(TimeValue t, void* val, int, GetSetMethod method) {                                 \
    Track<Ops>{keys_, value_, this}.Set(t, val, method);                                                   \
  }                                                                                                        \
  TimeValue Class::GetKeyTime(int i) { return Track<Ops>{keys_, value_, this}.KeyTime(i); }                \
  void Class::AddNewKey(TimeValue t, DWORD) { Track<Ops>{keys_, value_, this}.AddNewKey(t); }              \
  void Class::DeleteKeyAtTime(TimeValue t) { Track<Ops>{keys_, value_, this}.DeleteIndex(keys_.Find(t)); } \
  void Class::DeleteKeyByIndex(int i) { Track<Ops>{keys_, value_, this}.DeleteIndex(i); }                  \
  ValueType Class::ValueAt(TimeValue t) { return Track<Ops>{keys_, value_, this}.ValueAt(t); }             \
  void Class::AddKey(TimeValue t, KeyArg v) { Track<Ops>{keys_, value_, this}.AddKey(t, v); }              \
  IOResult Class::Save(ISave* isave) { return Track<Ops>{keys_, value_, this}.Save(isave); }               \
  IOResult Class::Load(ILoad* iload) { return Track<Ops>{keys_, value_, this}.Load(iload); }               \
  RefTargetHandle Class::Clone(RemapDir& remap) {                                                          \
    auto* c = new Class(value_);                                                                           \
    c->keys_ = keys_;                                                                                      \
    BaseClone(this, c, remap);                                                                             \
    return c;                                                                                              \
  }

WW_LINEAR_CONTROL_BODIES(LinearFloatControl, FloatOps, float, float)
WW_LINEAR_CONTROL_BODIES(LinearPositionControl, PositionOps, Point3, const Point3&)
WW_LINEAR_CONTROL_BODIES(LinearRotationControl, RotationOps, Quat, const Quat&)
WW_LINEAR_CONTROL_BODIES(LinearScaleControl, ScaleOps, Point3, const Point3&)
#undef WW_LINEAR_CONTROL_BODIES

Control* NewDefaultFloatController() { return new LinearFloatControl(0.0f); }
Control* NewDefaultPositionController() { return new LinearPositionControl(Point3(0.0f, 0.0f, 0.0f)); }
Control* NewDefaultRotationController() { return new LinearRotationControl(Quat()); }
Control* NewDefaultScaleController() { return new LinearScaleControl(Point3(1.0f, 1.0f, 1.0f)); }
