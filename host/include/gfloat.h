#pragma once
// Angle constants and conversions, as the host's geometry library has them.

#ifndef PI
#define PI ((float)3.14159265358979323846)
#endif
#ifndef TWOPI
#define TWOPI ((float)6.28318530717958647692)
#endif
#ifndef HALFPI
#define HALFPI ((float)1.57079632679489661923)
#endif

inline constexpr float DegToRad(float deg) { return deg * (PI / 180.0f); }
inline constexpr float RadToDeg(float rad) { return rad * (180.0f / PI); }
