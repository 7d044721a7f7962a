// Saved form of keyed tracks.
#include "trackio.h"

#include <utility>

namespace hostio {
namespace {

template <class T>
void Put(Writer& w, const KeyTable<T>& track) {
  w.U32(uint32_t(track.Count()));
  for (int i = 0; i < track.Count(); ++i) {
    w.I32(track[i].time);
    PutValue(w, track[i].value);
  }
}

template <class T>
bool Get(Reader& in, KeyTable<T>& track) {
  uint32_t n = 0;
  if (!in.Count(n, uint32_t(4 + sizeof(T)))) return false;
  KeyTable<T> out;
  for (uint32_t i = 0; i < n; ++i) {
    TimeValue t;
    T v{};
    if (!in.I32(t) || !GetValue(in, v)) return false;
    if (i > 0 && t <= out[int(i) - 1].time) return in.Fail();
    out.Set(t, v);
  }
  track = std::move(out);
  return true;
}

}  // namespace

void PutTrack(Writer& w, const KeyTable<float>& track) { Put(w, track); }
void PutTrack(Writer& w, const KeyTable<Point3>& track) { Put(w, track); }
void PutTrack(Writer& w, const KeyTable<Quat>& track) { Put(w, track); }
void PutTrack(Writer& w, const KeyTable<int>& track) { Put(w, track); }
bool GetTrack(Reader& in, KeyTable<float>& track) { return Get(in, track); }
bool GetTrack(Reader& in, KeyTable<Point3>& track) { return Get(in, track); }
bool GetTrack(Reader& in, KeyTable<Quat>& track) { return Get(in, track); }
bool GetTrack(Reader& in, KeyTable<int>& track) { return Get(in, track); }

}  // namespace hostio
