#pragma once
// Saved form of keyed tracks (controllers' keys, particle tracks): the key count, then the time and the
// value of each key.
#include "control.h"
#include "datastream.h"

namespace hostio {

void PutTrack(Writer& w, const KeyTable<float>& track);
void PutTrack(Writer& w, const KeyTable<Point3>& track);
void PutTrack(Writer& w, const KeyTable<Quat>& track);
void PutTrack(Writer& w, const KeyTable<int>& track);
// Reads a track whose times ascend strictly into `track`; false (the reader failed, track unchanged)
// otherwise.
bool GetTrack(Reader& in, KeyTable<float>& track);
bool GetTrack(Reader& in, KeyTable<Point3>& track);
bool GetTrack(Reader& in, KeyTable<Quat>& track);
bool GetTrack(Reader& in, KeyTable<int>& track);
// The fewest bytes a saved track takes (an empty one).
constexpr uint32_t kTrackBytes = 4;

inline void PutValue(Writer& w, float v) { w.F32(v); }
inline void PutValue(Writer& w, const Point3& v) { w.P3(v); }
inline void PutValue(Writer& w, const Quat& v) { w.Q(v); }
inline void PutValue(Writer& w, int v) { w.I32(v); }
inline bool GetValue(Reader& in, float& v) { return in.F32(v); }
inline bool GetValue(Reader& in, Point3& v) { return in.P3(v); }
inline bool GetValue(Reader& in, Quat& v) { return in.Q(v); }
inline bool GetValue(Reader& in, int& v) { return in.I32(v); }

}  // namespace hostio
