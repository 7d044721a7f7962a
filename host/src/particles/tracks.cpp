// Keyed tracks of the particle systems: values at any time, held outside the keys.
#include "particles_internal.h"

namespace {

// Index of the first key later than t (Count() when none): t lies between keys index-1 and index.
template <class T>
int FirstKeyAfter(const KeyTable<T>& track, TimeValue t) {
  return int(FirstAfter(size_t(track.Count()), t, [&](size_t i) { return track[int(i)].time; }));
}

// The track's value at t: held outside the keys, mix(a, b, u) between keys a and b, u in [0, 1). The
// fraction is taken in double: keys may lie 2^32 ticks apart.
template <class T, class Mix>
T Interpolate(const KeyTable<T>& track, TimeValue t, const T& fallback, Mix mix) {
  const int n = track.Count();
  if (n == 0) return fallback;
  const int next = FirstKeyAfter(track, t);
  if (next == 0) return track[0].value;
  if (next == n) return track[n - 1].value;
  const auto& a = track[next - 1];
  const auto& b = track[next];
  return mix(a.value, b.value, (double(t) - double(a.time)) / (double(b.time) - double(a.time)));
}

}  // namespace

Point3 TrackValue(const KeyTable<Point3>& track, TimeValue t, const Point3& fallback) {
  return Interpolate(track, t, fallback, [](const Point3& a, const Point3& b, double u) {
    auto lerp = [u](float x, float y) { return float(double(x) + (double(y) - double(x)) * u); };
    return Point3(lerp(a.x, b.x), lerp(a.y, b.y), lerp(a.z, b.z));
  });
}

Quat TrackValue(const KeyTable<Quat>& track, TimeValue t, const Quat& fallback) {
  return Interpolate(track, t, fallback, [](const Quat& a, Quat b, double u) {
    b.MakeClosest(a);
    return Slerp(a, b, float(u));
  });
}

int TrackValue(const KeyTable<int>& track, TimeValue t, int fallback) {
  if (track.Count() == 0) return fallback;
  const int next = FirstKeyAfter(track, t);
  return track[next == 0 ? 0 : next - 1].value;
}
