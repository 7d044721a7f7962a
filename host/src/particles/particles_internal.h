#pragma once
// Helpers shared by the particle systems.
#include "particles.h"

// born <= t < dies, where dies == TIME_PosInfinity means the particle never dies (alive at every later time,
// the end of time included).
inline bool AliveAt(TimeValue born, TimeValue dies, TimeValue t) {
  return born <= t && (t < dies || dies == TIME_PosInfinity);
}

// The first of n time-ordered entries later than t (n when none); timeOf(i) is entry i's time.
template <class TimeOf>
size_t FirstAfter(size_t n, TimeValue t, TimeOf timeOf) {
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (timeOf(mid) <= t)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}
